#include "vcl_sysutils.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <cmath>

namespace {

constexpr double kMsecsPerDay = 86400000.0;

QTime TimeOfDay(const TDateTime& value) {
    double fraction = value.Val - std::floor(value.Val);
    int msecs = static_cast<int>(std::lround(fraction * kMsecsPerDay));
    if (msecs >= 86400000)
        msecs = 86400000 - 1;
    return QTime::fromMSecsSinceStartOfDay(msecs);
}

// The locale's short time format with any seconds taken out: "t" is hours and minutes,
// while some locales (C among them) put seconds into their short format.
QString HoursAndMinutesFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[.:,]?\\s*s{1,2}(\\.z+)?"));
    format.remove(seconds);
    return format.trimmed();
}

} // namespace

TDateTime Time() {
    return TDateTime{QTime::currentTime().msecsSinceStartOfDay() / kMsecsPerDay};
}

AnsiString FormatDateTime(const AnsiString& format, const TDateTime& value) {
    // The default locale is the user's unless the program sets another (it never does).
    const QLocale locale;
    QString pattern;
    if (format == "t")
        pattern = HoursAndMinutesFormat(locale);
    else if (format == "tt")
        pattern = locale.timeFormat(QLocale::LongFormat);
    else
        throw Exception("FormatDateTime: unsupported format \"" + format + "\"");
    return AnsiString(locale.toString(TimeOfDay(value), pattern).toStdString());
}
