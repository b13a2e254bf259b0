#include "zmm_utils.h"

#include <QLocale>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <locale.h>

#include "tally_version.h"

namespace {

constexpr qint64 kMsPerDay = 86400000;

qint64 DayZero()
{
    static const qint64 zero = QDate(1899, 12, 30).toJulianDay();
    return zero;
}

std::optional<ZEMRegionalSettings> &RegionalOverride()
{
    static std::optional<ZEMRegionalSettings> value;
    return value;
}

// The value as whole milliseconds since the day zero, rounded to the nearest millisecond.
qint64 ToMilliseconds(double value) { return std::llround(value * static_cast<double>(kMsPerDay)); }

QString Pad(int value, int width) { return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')); }

QString Fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    const QChar separator = RegionalSettings().decimalSeparator;
    if (separator != u'.')
        text.replace(u'.', separator);
    return text;
}

} // namespace

double EncodeDate(const QDate &date) { return static_cast<double>(date.toJulianDay() - DayZero()); }

double EncodeDateTime(const QDateTime &moment)
{
    return EncodeDate(moment.date())
           + static_cast<double>(moment.time().msecsSinceStartOfDay()) / static_cast<double>(kMsPerDay);
}

QDateTime DecodeDateTime(double value)
{
    const qint64 ms = ToMilliseconds(value);
    qint64 days = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    return QDateTime(QDate::fromJulianDay(DayZero() + days),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(rest)));
}

QDate DecodeDate(double value) { return DecodeDateTime(value).date(); }

int DayOfWeek(double value)
{
    // Qt counts Monday 1 ... Sunday 7; the client counts Sunday 1 ... Saturday 7.
    return DecodeDate(value).dayOfWeek() % 7 + 1;
}

ZEMRegionalSettings SystemRegionalSettings()
{
    const QLocale locale = QLocale::system();
    ZEMRegionalSettings settings;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    for (const QChar c : format) {
        if (!c.isLetter() && c != u'\'' && !c.isSpace()) {
            settings.dateSeparator = c;
            break;
        }
    }
    const QString point = locale.decimalPoint();
    if (!point.isEmpty())
        settings.decimalSeparator = point.front();
    return settings;
}

ZEMRegionalSettings RegionalSettings()
{
    if (RegionalOverride())
        return *RegionalOverride();
    static const ZEMRegionalSettings system = SystemRegionalSettings();
    return system;
}

QString ShortDateFormat()
{
    if (RegionalOverride()) {
        const QString separator(RegionalOverride()->dateSeparator);
        return QStringLiteral("dd") + separator + QStringLiteral("MM") + separator + QStringLiteral("yyyy");
    }
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    // Periods run to 2221: a two-digit year would be ambiguous, so years keep their four digits.
    QString widened;
    for (qsizetype i = 0; i < format.size();) {
        qsizetype run = 0;
        while (i + run < format.size() && format[i + run] == QLatin1Char('y'))
            ++run;
        if (run == 0) {
            widened += format[i++];
            continue;
        }
        widened += run == 2 ? QStringLiteral("yyyy") : format.mid(i, run);
        i += run;
    }
    return widened;
}

void SetRegionalSettingsOverride(std::optional<ZEMRegionalSettings> settings)
{
    RegionalOverride() = settings;
}

qint64 ParseByteCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    // Read as the C library reads a number, independent of the process's locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const QByteArray bytes = text.toLatin1();
    const double value = strtod_l(bytes.constData(), nullptr, cLocale);
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (value <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value); // truncation toward zero
}

std::optional<qint64> CheckedByteCount(const QString &text, bool mayBeNegative)
{
    if (text.isEmpty())
        return 0;
    const QByteArray bytes = text.toLatin1();
    // A plain integer is read exactly: through a double, 9223372036854775807 would round up past the
    // largest count and 27 digits would pass as a number.
    qsizetype start = 0;
    while (start < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[start])))
        ++start;
    qsizetype end = start;
    if (end < bytes.size() && (bytes[end] == '+' || bytes[end] == '-'))
        ++end;
    const qsizetype digits = end;
    while (end < bytes.size() && bytes[end] >= '0' && bytes[end] <= '9')
        ++end;
    const bool plain = end > digits && (end == bytes.size() || !std::strchr(".eExX", bytes[end]));
    if (plain) {
        const char *first = bytes.constData() + digits;
        qint64 value = 0;
        const auto [at, error] = std::from_chars(first, bytes.constData() + end, value);
        if (error != std::errc() || at != bytes.constData() + end)
            return std::nullopt; // too many digits for a signed 64-bit count
        if (bytes[start] == '-')
            value = -value;
        if (value < 0 && !mayBeNegative)
            return std::nullopt;
        return value;
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const double value = strtod_l(bytes.constData(), nullptr, cLocale);
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0 || value < -9223372036854775808.0 || (value < 0 && !mayBeNegative))
        return std::nullopt;
    return static_cast<qint64>(value);
}

bool ParseDate8(const QString &text, double &value)
{
    if (text.size() < 8)
        return false;
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        digits[i] = c - u'0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    value = date >= QDate(2222, 1, 1) ? InfiniteDate : EncodeDate(date);
    return true;
}

QString FormatDate8(double value)
{
    if (value >= InfiniteDate)
        return QStringLiteral("22220101");
    const QDate date = DecodeDate(value);
    return Pad(date.year(), 4) + Pad(date.month(), 2) + Pad(date.day(), 2);
}

QString FormatStamp14(double value)
{
    if (value >= InfiniteDate)
        return QStringLiteral("22220101000000");
    const QDateTime moment = DecodeDateTime(value);
    const QTime time = moment.time();
    return FormatDate8(value) + Pad(time.hour(), 2) + Pad(time.minute(), 2) + Pad(time.second(), 2);
}

QString FormatStamp17(double value)
{
    if (value >= InfiniteDate)
        return FormatStamp14(value) + QStringLiteral("000");
    return FormatStamp14(value) + Pad(DecodeDateTime(value).time().msec(), 3);
}

QString FormatDisplayDate(double value)
{
    if (value <= 0)
        return QStringLiteral("-");
    if (value >= InfiniteDate)
        return QStringLiteral("...");
    const QDate date = DecodeDate(value);
    const QChar separator = RegionalSettings().dateSeparator;
    return Pad(date.day(), 2) + separator + Pad(date.month(), 2) + separator + Pad(date.year(), 4);
}

QString FormatShortDate(double value)
{
    if (value <= 0)
        return QStringLiteral("-");
    if (value >= InfiniteDate)
        return QStringLiteral("...");
    return QLocale().toString(DecodeDate(value), ShortDateFormat());
}

namespace {

const char *const kUnits[] = {"Kb", "MB", "GB", "TB"};
constexpr int kLastUnit = 3;

// Divides k (the count in Kb) by 1024 until it lies strictly within (-limit, limit) or the unit is TB.
int ScaleToUnit(double &v, double limit)
{
    int unit = 0;
    while (!(v > -limit && v < limit) && unit < kLastUnit) {
        v /= 1024.0;
        ++unit;
    }
    return unit;
}

} // namespace

QString FormatBytes(qint64 bytes)
{
    double v = static_cast<double>(bytes) / 1024.0;
    if (v > -1 && v < 1)
        return QString::number(bytes);
    const int unit = ScaleToUnit(v, 1024.0);
    return Fixed(v, 2) + QLatin1String(kUnits[unit]);
}

ZEMShortBytes FormatBytesShort(qint64 bytes)
{
    double v = static_cast<double>(bytes) / 1024.0;
    if (v > -1 && v < 1)
        return {QString::number(bytes), QStringLiteral("byte")};
    const int unit = ScaleToUnit(v, 100.0);
    // One decimal and at most three significant digits, rounded once: below 100 the decimal is the
    // limit (rounding first to three digits and then to one decimal would turn 1.245 into 1.3); from 100
    // on (only in TB) the digits are.
    if (v != 0) {
        const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
        if (magnitude >= 3) {
            const double scale = std::pow(10.0, magnitude - 3);
            v = std::round(v / scale) * scale;
        }
    }
    return {Fixed(v, 1), QLatin1String(kUnits[unit])};
}

QString FormatVersion()
{
#if defined(TALLY_VERSION_MAJOR) && defined(TALLY_VERSION_MINOR) && defined(TALLY_VERSION_PATCH)             \
    && defined(TALLY_VERSION_BUILD)
    return QStringLiteral("%1.%2.%3.%4")
        .arg(TALLY_VERSION_MAJOR)
        .arg(TALLY_VERSION_MINOR)
        .arg(TALLY_VERSION_PATCH)
        .arg(TALLY_VERSION_BUILD);
#else
    return QStringLiteral("0.0.0.0");
#endif
}

QString FormatArgs(const QString &format, const QStringList &args)
{
    QString out;
    out.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            const QChar k = format[i + 1];
            if (k == u'%') {
                out += u'%';
                ++i;
                continue;
            }
            if ((k == u's' || k == u'd') && next < args.size()) {
                out += args[next++];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

namespace {

// The first `limit` characters, not splitting a surrogate pair.
QString Head(const QString &text, qsizetype limit)
{
    if (limit > 0 && limit < text.size() && text[limit - 1].isHighSurrogate())
        --limit;
    return text.left(limit);
}

} // namespace

QString DisplayText(const QString &text, int limit)
{
    if (text.size() <= limit)
        return text;
    const QString head = Head(text, limit);
    return head + QStringLiteral(" [... %1 more characters cut]").arg(text.size() - head.size());
}

QString DisplayLine(const QString &text, int limit)
{
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\n' || text[i] == u'\r') {
            end = i;
            break;
        }
    if (end == text.size() && text.size() <= limit)
        return text;
    const QString head = Head(text, std::min<qsizetype>(end, limit));
    return head + QStringLiteral(" [... %1 more characters cut]").arg(text.size() - head.size());
}
