#include "frames.h"

#include <cstring>

namespace {

// Builds a request the way the module's firmware expects it: appended byte by byte
// into a zeroed work area, then summed into position 13, which starts at zero.
Frame BuildFrame(std::uint8_t command, const std::uint8_t (&params)[5]) {
    std::uint8_t work[32];
    std::memset(work, 0, sizeof work);
    std::uint8_t pos = 0;

    static constexpr std::uint8_t header[] = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80};
    for (std::uint8_t b : header)
        work[pos++] = b;
    work[pos++] = command;
    work[pos++] = 0x05;
    for (std::uint8_t p : params)
        work[pos++] = p;

    for (int i = 0; i < 13; ++i)
        work[13] = static_cast<std::uint8_t>(work[13] + work[i]);
    pos = 14;
    work[pos++] = 0x0D;
    work[pos++] = 0x0A;

    Frame frame;
    std::memcpy(frame.data(), work, frame.size());
    return frame;
}

} // namespace

Frame BuildWriteFrame(const ModuleParams& p) {
    const std::uint8_t params[5] = {p.WorkMode, p.RadioChannel, p.SerialRate, p.SerialParity,
                                    p.SleepTime};
    return BuildFrame(CMD_WRITE_CONFIG, params);
}

Frame BuildReadFrame() {
    const std::uint8_t params[5] = {0, 0, 0, 0, 0};
    return BuildFrame(CMD_READ_CONFIG, params);
}

AnswerKind ClassifyAnswer(std::uint8_t commandByte) {
    switch (commandByte) {
    case CMD_WRITE_CONFIG:
        return AnswerKind::WriteAcknowledged;
    case CMD_READ_CONFIG:
        return AnswerKind::ReadAnswered;
    default:
        return AnswerKind::Failure;
    }
}

ModuleParams ParamsFromAnswer(const std::uint8_t* answer) {
    const std::uint8_t* p = answer + ANSWER_PARAMS_POS;
    return ModuleParams{p[0], p[1], p[2], p[3], p[4]};
}
