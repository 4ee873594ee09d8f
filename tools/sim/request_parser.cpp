#include "request_parser.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kFixed[] = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80};
constexpr std::size_t kCommandPos = 6;
constexpr std::size_t kCountPos = 7;
constexpr std::size_t kChecksumPos = 13;

bool ByteFits(const std::uint8_t* bytes, std::size_t pos) {
    const std::uint8_t b = bytes[pos];
    if (pos < sizeof kFixed)
        return b == kFixed[pos];
    if (pos == kCommandPos)
        return b == CMD_WRITE_CONFIG || b == CMD_READ_CONFIG;
    if (pos == kCountPos)
        return b == 0x05;
    if (pos == kChecksumPos) {
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < kChecksumPos; ++i)
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        return b == sum;
    }
    if (pos == 14)
        return b == 0x0D;
    if (pos == 15)
        return b == 0x0A;
    return true; // the five parameter indices take any value
}

} // namespace

bool IsRequestPrefix(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t pos = 0; pos < length; ++pos)
        if (!ByteFits(bytes, pos))
            return false;
    return true;
}

std::optional<Request> RequestParser::Feed(std::uint8_t byte) {
    held_[length_++] = byte;
    // Everything before the new byte already fitted, so only the new byte can spoil the
    // held run; once it does, every later start position has to be checked afresh.
    if (!ByteFits(held_.data(), length_ - 1)) {
        do {
            skipped_.push_back(held_[0]);
            std::copy(held_.begin() + 1, held_.begin() + length_, held_.begin());
            --length_;
        } while (length_ > 0 && !IsRequestPrefix(held_.data(), length_));
    }
    if (length_ < FRAME_LENGTH)
        return std::nullopt;

    Request request;
    request.Bytes = held_;
    request.Command = held_[kCommandPos];
    request.Params = ParamsFromAnswer(held_.data());
    length_ = 0;
    return request;
}

std::vector<std::uint8_t> RequestParser::TakeSkipped() {
    std::vector<std::uint8_t> out;
    out.swap(skipped_);
    return out;
}
