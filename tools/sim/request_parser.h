// Recognises configuration requests in a stream of bytes, the way the module does.
//
// A request is accepted only as a whole 16-byte frame: AF AF 00 00 AF 80, command 01 or
// 02, count 05, five parameter indices, the 8-bit sum of the thirteen bytes before it,
// then 0D 0A. Bytes that cannot belong to such a frame are given up one at a time from
// the front, so a request that follows garbage, a truncated frame or a frame with a bad
// checksum is still found, and no valid request is ever skipped.
#pragma once

#include "frames.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct Request {
    std::uint8_t Command = 0; // CMD_WRITE_CONFIG or CMD_READ_CONFIG
    ModuleParams Params;      // positions 8 to 12 as received
    Frame Bytes{};            // the whole frame as received
};

// True when `bytes[0 .. length)` can be the start of a valid request; with length 16,
// true exactly when it is one. `length` must not exceed FRAME_LENGTH.
bool IsRequestPrefix(const std::uint8_t* bytes, std::size_t length);

class RequestParser {
public:
    // Takes one byte. Returns the request that this byte completes, if any.
    std::optional<Request> Feed(std::uint8_t byte);

    // The bytes given up since the last call, in arrival order. The caller takes them
    // after each block it feeds; they are kept until then.
    std::vector<std::uint8_t> TakeSkipped();

    // Bytes held as the possible start of a request (0 to 15).
    std::size_t Pending() const { return length_; }

private:
    Frame held_{};
    std::size_t length_ = 0;
    std::vector<std::uint8_t> skipped_;
};
