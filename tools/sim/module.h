// The simulated radio module: the five parameters it holds and what it sends back for
// each request, including the deliberate faults used to test the configuration tool.
#pragma once

#include "frames.h"
#include "request_parser.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

enum class AnswerFault {
    None,       // answers in the request layout, command 01 or 02, the held parameters
    Silent,     // never answers
    Fail,       // answers with command 03; a write is not applied
    Short,      // answers with the first 6 bytes of the proper answer only
    Garbage,    // answers with 16 random bytes whose command position is never 01 or 02
    OutOfRange, // answers properly, but with each index one past the end of its list
};

std::string_view FaultName(AnswerFault fault);

// A well-formed answer: the request layout with `command` and `params`, checksum included.
Frame BuildAnswer(std::uint8_t command, const ModuleParams& params);

// The indices one past the last entry of each parameter's list.
ModuleParams OutOfRangeParams();

class SimulatedModule {
public:
    SimulatedModule(const ModuleParams& start, AnswerFault fault, std::uint32_t seed);

    // Applies `request` (a write stores its parameters, except under AnswerFault::Fail)
    // and returns the bytes to send back; empty when the module stays silent.
    std::vector<std::uint8_t> Handle(const Request& request);

    const ModuleParams& Params() const { return params_; }

private:
    ModuleParams params_;
    AnswerFault fault_;
    std::mt19937 random_;
};

// One piece of an answer on its way out: `bytes` go out `wait` after the previous piece
// (the first piece: after the request was received).
struct AnswerPiece {
    std::chrono::milliseconds wait;
    std::vector<std::uint8_t> bytes;
};

// Cuts an answer into what goes on the line: one piece after `delay`, or, with a split
// (splitGap >= 0), its first half after `delay` and the rest `splitGap` later. An empty
// answer gives no piece.
std::vector<AnswerPiece> PlanAnswer(const std::vector<std::uint8_t>& answer,
                                    std::chrono::milliseconds delay,
                                    std::chrono::milliseconds splitGap);
