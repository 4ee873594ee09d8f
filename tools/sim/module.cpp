#include "module.h"

#include "value_lists.h"

std::string_view FaultName(AnswerFault fault) {
    switch (fault) {
    case AnswerFault::None:
        return "none";
    case AnswerFault::Silent:
        return "silent";
    case AnswerFault::Fail:
        return "fail";
    case AnswerFault::Short:
        return "short";
    case AnswerFault::Garbage:
        return "garbage";
    case AnswerFault::OutOfRange:
        return "out-of-range";
    }
    return "?";
}

Frame BuildAnswer(std::uint8_t command, const ModuleParams& params) {
    // The write request already has the answer's layout; only the command differs, and
    // the checksum is summed again over positions 0 to 12 as the builder does.
    Frame frame = BuildWriteFrame(params);
    frame[ANSWER_COMMAND_POS] = command;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 13; ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame[13] = sum;
    return frame;
}

ModuleParams OutOfRangeParams() {
    auto past = [](const ValueList& list) { return static_cast<std::uint8_t>(list.Items.size()); };
    return ModuleParams{past(WorkModeList), past(RadioChannelList), past(SerialRateList),
                        past(SerialParityList), past(SleepTimeList)};
}

SimulatedModule::SimulatedModule(const ModuleParams& start, AnswerFault fault, std::uint32_t seed)
    : params_(start), fault_(fault), random_(seed) {}

std::vector<std::uint8_t> SimulatedModule::Handle(const Request& request) {
    if (request.Command == CMD_WRITE_CONFIG && fault_ != AnswerFault::Fail)
        params_ = request.Params;

    Frame answer;
    switch (fault_) {
    case AnswerFault::Silent:
        return {};
    case AnswerFault::Fail:
        answer = BuildAnswer(0x03, params_);
        break;
    case AnswerFault::OutOfRange:
        answer = BuildAnswer(request.Command, OutOfRangeParams());
        break;
    case AnswerFault::Garbage: {
        std::uniform_int_distribution<int> byte(0, 255);
        for (auto& b : answer)
            b = static_cast<std::uint8_t>(byte(random_));
        while (answer[ANSWER_COMMAND_POS] == CMD_WRITE_CONFIG ||
               answer[ANSWER_COMMAND_POS] == CMD_READ_CONFIG)
            answer[ANSWER_COMMAND_POS] = static_cast<std::uint8_t>(byte(random_));
        break;
    }
    case AnswerFault::None:
    case AnswerFault::Short:
        answer = BuildAnswer(request.Command, params_);
        break;
    }
    const std::size_t length = fault_ == AnswerFault::Short ? 6 : answer.size();
    return std::vector<std::uint8_t>(answer.begin(), answer.begin() + length);
}

std::vector<AnswerPiece> PlanAnswer(const std::vector<std::uint8_t>& answer,
                                    std::chrono::milliseconds delay,
                                    std::chrono::milliseconds splitGap) {
    if (answer.empty())
        return {};
    if (splitGap.count() < 0 || answer.size() < 2)
        return {AnswerPiece{delay, answer}};
    const auto half = answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2);
    return {AnswerPiece{delay, std::vector<std::uint8_t>(answer.begin(), half)},
            AnswerPiece{splitGap, std::vector<std::uint8_t>(half, answer.end())}};
}
