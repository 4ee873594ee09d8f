// Configuration frames exchanged with the radio module.
//
// A request is always 16 bytes: AF AF 00 00 AF 80, the command byte, the parameter
// count 05, five parameter indices, an 8-bit sum of the thirteen bytes before it,
// and 0D 0A. An answer is read only at position 6 (command byte) and positions 8 to
// 12 (the five indices, in ModuleParams order).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The five module parameters, each the zero-based index of the entry selected in its
// list (0xFF when nothing is selected). This order is the order on the wire.
struct ModuleParams {
    std::uint8_t WorkMode = 0;
    std::uint8_t RadioChannel = 0;
    std::uint8_t SerialRate = 0;
    std::uint8_t SerialParity = 0;
    std::uint8_t SleepTime = 0;
};

inline constexpr std::uint8_t CMD_WRITE_CONFIG = 0x01;
inline constexpr std::uint8_t CMD_READ_CONFIG = 0x02;

inline constexpr std::size_t FRAME_LENGTH = 16;
using Frame = std::array<std::uint8_t, FRAME_LENGTH>;

// Positions of an answer, counted from its first byte.
inline constexpr std::size_t ANSWER_COMMAND_POS = 6;
inline constexpr std::size_t ANSWER_PARAMS_POS = 8;
// The shortest answer that holds the command byte and all five indices.
inline constexpr std::size_t ANSWER_MIN_LENGTH = ANSWER_PARAMS_POS + 5;

// The write-configuration request carrying `params`.
Frame BuildWriteFrame(const ModuleParams& params);
// The read-configuration request: always AF AF 00 00 AF 80 02 05 00 00 00 00 00 94 0D 0A.
Frame BuildReadFrame();

enum class AnswerKind {
    WriteAcknowledged, // command byte 0x01
    ReadAnswered,      // command byte 0x02
    Failure,           // any other command byte
};

// Classifies an answer by its command byte alone; both acknowledgements count as success.
AnswerKind ClassifyAnswer(std::uint8_t commandByte);
inline bool IsSuccess(AnswerKind kind) { return kind != AnswerKind::Failure; }

// The five indices at positions 8 to 12 of an answer. `answer` must hold at least
// ANSWER_MIN_LENGTH bytes.
ModuleParams ParamsFromAnswer(const std::uint8_t* answer);
