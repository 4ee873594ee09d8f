// Fuzz target: the simulated module's request recognition, fed an arbitrary byte stream in
// arbitrary pieces, compared with a plain scan of the whole stream; every request found is
// then handled by the simulated module and its answer checked.
//
// Input: byte 0 picks the module's fault mode (modulo 6); byte 1 the size of the pieces the
// stream is fed in (1 to 32 bytes, TakeSkipped after each); the rest is the stream.
//
// The reference scan: at each position, a valid 16-byte request there is taken whole and
// the scan goes on after it; otherwise the byte there is given up. Checked: the parser finds
// exactly those requests, gives up exactly those bytes in order, holds the rest (a possible
// request start, fewer than 16 bytes), and loses or duplicates nothing.
#include "module.h"
#include "request_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "request parser broken: %s\n", what);
    std::abort();
}

bool IsRequest(const std::uint8_t* b) {
    static constexpr std::uint8_t head[] = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80};
    if (std::memcmp(b, head, sizeof head) != 0)
        return false;
    if ((b[6] != CMD_WRITE_CONFIG && b[6] != CMD_READ_CONFIG) || b[7] != 0x05)
        return false;
    std::uint8_t sum = 0;
    for (int i = 0; i < 13; ++i)
        sum = static_cast<std::uint8_t>(sum + b[i]);
    return b[13] == sum && b[14] == 0x0D && b[15] == 0x0A;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const auto fault = static_cast<AnswerFault>(data[0] % 6);
    const std::size_t piece = data[1] % 32 + 1;
    const std::uint8_t* stream = data + 2;
    const std::size_t length = size - 2;

    // Reference: requests and given-up bytes of a left-to-right scan. The tail that could
    // still become a request is held, not given up.
    std::vector<std::size_t> expectedStarts;
    std::vector<std::uint8_t> expectedSkipped;
    std::size_t pos = 0;
    while (pos < length) {
        if (length - pos >= FRAME_LENGTH && IsRequest(stream + pos)) {
            expectedStarts.push_back(pos);
            pos += FRAME_LENGTH;
        } else if (length - pos < FRAME_LENGTH && IsRequestPrefix(stream + pos, length - pos)) {
            break;
        } else {
            expectedSkipped.push_back(stream[pos++]);
        }
    }
    const std::size_t expectedHeld = length - pos;

    RequestParser parser;
    SimulatedModule module(ModuleParams{0, 0, 3, 0, 0}, fault, 1);
    std::vector<std::uint8_t> skipped;
    std::size_t found = 0;
    for (std::size_t start = 0; start < length; start += piece) {
        const std::size_t end = start + piece < length ? start + piece : length;
        for (std::size_t k = start; k < end; ++k) {
            const std::optional<Request> request = parser.Feed(stream[k]);
            if (parser.Pending() >= FRAME_LENGTH)
                Fail("holds a whole frame");
            if (!request)
                continue;
            if (found >= expectedStarts.size() || expectedStarts[found] + FRAME_LENGTH != k + 1)
                Fail("a request where the scan finds none");
            const std::uint8_t* frame = stream + expectedStarts[found];
            ++found;
            if (std::memcmp(request->Bytes.data(), frame, FRAME_LENGTH) != 0 ||
                request->Command != frame[6] || request->Params.WorkMode != frame[8] ||
                request->Params.RadioChannel != frame[9] ||
                request->Params.SerialRate != frame[10] ||
                request->Params.SerialParity != frame[11] || request->Params.SleepTime != frame[12])
                Fail("the request differs from its bytes");

            // The module's answer to it.
            const ModuleParams held = module.Params();
            const std::vector<std::uint8_t> answer = module.Handle(*request);
            if (answer.size() > FRAME_LENGTH)
                Fail("an answer longer than a frame");
            if (fault == AnswerFault::None) {
                if (answer.size() != FRAME_LENGTH || !IsRequest(answer.data()) ||
                    answer[6] != request->Command)
                    Fail("a proper answer is not in the request layout");
                const ModuleParams now = module.Params();
                const ModuleParams expected =
                    request->Command == CMD_WRITE_CONFIG ? request->Params : held;
                if (std::memcmp(&now, &expected, sizeof now) != 0 ||
                    std::memcmp(answer.data() + 8, &now, 5) != 0)
                    Fail("the module holds or answers the wrong parameters");
            } else if (fault == AnswerFault::Fail || fault == AnswerFault::Garbage) {
                if (answer.size() != FRAME_LENGTH || answer[6] == CMD_WRITE_CONFIG ||
                    answer[6] == CMD_READ_CONFIG)
                    Fail("a failing answer carries a success command byte");
            } else if (fault == AnswerFault::Silent && !answer.empty()) {
                Fail("a silent module answered");
            }
        }
        const std::vector<std::uint8_t> taken = parser.TakeSkipped();
        skipped.insert(skipped.end(), taken.begin(), taken.end());
    }

    if (found != expectedStarts.size())
        Fail("a valid request was skipped");
    if (skipped != expectedSkipped)
        Fail("the bytes given up differ from the scan's");
    if (parser.Pending() != expectedHeld)
        Fail("holds a different tail");
    if (skipped.size() + found * FRAME_LENGTH + parser.Pending() != length)
        Fail("bytes lost or duplicated");
    return 0;
}
