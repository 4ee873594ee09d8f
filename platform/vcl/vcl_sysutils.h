// Run-time library basics: the exception class the platform shows in its error box, and
// the time of day with its formatting.
#pragma once

#include "vcl_string.h"

#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(const AnsiString& message) : Message(message) {}
    const char* what() const noexcept override { return Message.c_str(); }

    AnsiString Message;
};

// A point in time as days since 30 December 1899 (the fraction is the time of day).
struct TDateTime {
    double Val = 0.0;
};

// The current local time of day (date part 0).
TDateTime Time();

// Formats `value` by `format`. Supported formats: "t" (the user's short time format, hours
// and minutes) and "tt" (the user's long time format); both follow the system locale.
// Any other format throws Exception.
AnsiString FormatDateTime(const AnsiString& format, const TDateTime& value);
