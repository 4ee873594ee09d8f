#include "vcl_sysutils.h"

#include <QLocale>
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

} // namespace

TDateTime Time() {
    return TDateTime{QTime::currentTime().msecsSinceStartOfDay() / kMsecsPerDay};
}

AnsiString FormatDateTime(const AnsiString& format, const TDateTime& value) {
    const QLocale locale = QLocale::system();
    QLocale::FormatType type;
    if (format == "t")
        type = QLocale::ShortFormat;
    else if (format == "tt")
        type = QLocale::LongFormat;
    else
        throw Exception("FormatDateTime: unsupported format \"" + format + "\"");
    return AnsiString(locale.toString(TimeOfDay(value), type).toStdString());
}
