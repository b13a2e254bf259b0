#pragma once
// Value formats shared by the exchange with the server and the displays: byte counts, the server's
// compact date stamps, display dates, the version text; plus the date-time value type.
//
// A date-time value is a double counting days since 30 December 1899, the fraction being the time of
// day. Conversions to and from calendar values round to the millisecond.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// A period without end; written with the year 2222 in server texts.
inline constexpr double InfiniteDate = 1000000.0;

// Date-time values.
double EncodeDate(const QDate &date);           // midnight of the date
double EncodeDateTime(const QDateTime &moment); // local date and time, milliseconds kept
QDateTime DecodeDateTime(double value);         // local date and time (value must be >= 0)
QDate DecodeDate(double value);
int DayOfWeek(double value); // 1 = Sunday ... 7 = Saturday

// The user's regional separators. By default they come from the system locale; tests (or a user
// choice) may override them for the process.
struct ZEMRegionalSettings {
    QChar dateSeparator = u'/';
    QChar decimalSeparator = u'.';
};
ZEMRegionalSettings RegionalSettings();
// The short date format of the default locale (QLocale()), with four-digit years; while an override
// of the regional settings is set, "dd", "MM" and "yyyy" joined by its date separator.
QString ShortDateFormat();
ZEMRegionalSettings SystemRegionalSettings();
void SetRegionalSettingsOverride(std::optional<ZEMRegionalSettings> settings);

// Parsing of server texts.
qint64 ParseByteCount(const QString &text); // strtod-like prefix, truncated; bad text gives 0
// A byte count of a reply, read as ParseByteCount reads it, or nothing when it is negative (unless
// `mayBeNegative`, as for a remainder past its limit) or does not fit a signed 64-bit count. Empty text
// and text that is not a number read as 0, as with ParseByteCount.
std::optional<qint64> CheckedByteCount(const QString &text, bool mayBeNegative = false);
bool ParseDate8(const QString &text, double &value); // yyyymmdd; on/after 2222-01-01 gives InfiniteDate

// Server texts.
QString FormatDate8(double value);   // "yyyymmdd"; InfiniteDate and beyond give "22220101"
QString FormatStamp14(double value); // "yyyymmddhhnnss", milliseconds dropped
QString FormatStamp17(double value); // FormatStamp14 + three digits of milliseconds

// Displays.
QString FormatDisplayDate(double value); // "-" for <= 0, "..." from InfiniteDate, else dd/mm/yyyy
QString FormatShortDate(double value);   // as FormatDisplayDate, the date in ShortDateFormat()
QString FormatBytes(qint64 bytes);       // 512, 1.50Kb, 5.00MB ... (two decimals, up to TB)
struct ZEMShortBytes {
    QString number;
    QString unit; // "byte", "Kb", "MB", "GB" or "TB"
};
ZEMShortBytes FormatBytesShort(qint64 bytes); // for the 16 x 16 tray picture
QString FormatVersion();                      // "major.minor.release.build" of this build

// Texts for a person to read. A server may send texts of megabytes; shown whole they would freeze the
// window. DisplayText keeps the first `limit` characters of a longer text and adds a mark saying how
// many were left out; DisplayLine keeps the first line only (marked when more followed) for one-line
// places such as the status bar. Texts within the bounds come back unchanged.
inline constexpr int kDisplayTextMax = 1000;
inline constexpr int kDisplayLineMax = 200;
QString DisplayText(const QString &text, int limit = kDisplayTextMax);
QString DisplayLine(const QString &text, int limit = kDisplayLineMax);

// Fills a printf-like format whose only conversions are %s and %d (and %% for a percent sign) with
// the given texts, in order. A conversion without an argument is left as it stands.
QString FormatArgs(const QString &format, const QStringList &args);
