// Value formats: byte counts, server date stamps, display dates, the version text.

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <optional>
#include <tuple>

#include "tally_version.h"
#include "zem_envelope.h"
#include "zem_simplexml.h"
#include "zem_statsreply.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

namespace {

double At(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0)
{
    return EncodeDateTime(QDateTime(QDate(y, m, d), QTime(h, n, s, ms)));
}

class Formats : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalSettingsOverride(ZEMRegionalSettings{u'/', u'.'}); }
    void TearDown() override { SetRegionalSettingsOverride(std::nullopt); }
};

TEST_F(Formats, DateValuesCountDaysSinceTheDayZero)
{
    EXPECT_EQ(EncodeDate(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(EncodeDate(QDate(2004, 3, 1)), 38047.0);
    EXPECT_DOUBLE_EQ(At(2004, 3, 1, 12), 38047.5);
    EXPECT_EQ(DecodeDateTime(At(2004, 3, 1, 23, 59, 59, 568)),
              QDateTime(QDate(2004, 3, 1), QTime(23, 59, 59, 568)));
    EXPECT_EQ(DayOfWeek(EncodeDate(QDate(2004, 3, 14))), 1); // a Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(QDate(2004, 3, 20))), 7); // a Saturday
}

TEST_F(Formats, ParseByteCountReadsANumberPrefix)
{
    const std::pair<const char *, qint64> cases[] = {
        {"", 0},
        {"1536", 1536},
        {"1536.9", 1536},
        {"12abc", 12},
        {"abc", 0},
        {"  -42.7", -42},
        {"+7", 7},
        {"1e3", 1000},
        {"-0.5", 0},
        {"9223372036854775807", 9223372036854775807LL},
        {"1e300", std::numeric_limits<qint64>::max()},
        {"-1e300", std::numeric_limits<qint64>::min()},
        {"nan", 0},
        {"4294967296", 4294967296LL},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(ParseByteCount(QString::fromLatin1(text)), expected) << text;
}

TEST_F(Formats, ReplyByteCountsThatAreNegativeOrDoNotFitAreRefused)
{
    // {text, may be negative, count (nothing: refused)}
    const std::tuple<const char *, bool, std::optional<qint64>> cases[] = {
        {"", false, 0},
        {"abc", false, 0},
        {"1536.9", false, 1536},
        {"12abc", false, 12},
        {"1e3", false, 1000},
        {"9223372036854775807", false, 9223372036854775807LL},
        {"9223372036854775808", false, std::nullopt},
        {"100000000000000000000000000", false, std::nullopt},
        {"9.3e18", false, std::nullopt},
        {"1e300", false, std::nullopt},
        {"inf", false, std::nullopt},
        {"-1", false, std::nullopt},
        {"-0.5", false, std::nullopt},
        {"  -42", false, std::nullopt},
        {"-0", false, 0},
        {"-2048", true, -2048},
        {"-9223372036854775807", true, -9223372036854775807LL},
        {"-1e300", true, std::nullopt},
    };
    for (const auto &[text, mayBeNegative, expected] : cases)
        EXPECT_EQ(CheckedByteCount(QString::fromLatin1(text), mayBeNegative), expected) << text;

    // The statistics reply takes none of its values when one count is bad.
    ZEMCurrentStats stats;
    stats.SENT = 7;
    for (const char *bad : {"SENT=\"-15\"", "TOTAL=\"123456789012345678901234567\"", "LIMIT=\"1e300\""}) {
        ZEMXMLItem report;
        ReadRootElement(QStringLiteral("<REPORT RECEIVED=\"9\" %1/>").arg(QLatin1String(bad)), "REPORT",
                        report);
        EXPECT_THROW(ReadStatsReply(report, stats), ZEMReplyError) << bad;
        EXPECT_EQ(stats.SENT, 7);
        EXPECT_EQ(stats.RECEIVED, 0);
    }
    ZEMXMLItem over;
    ReadRootElement("<REPORT SENT=\"1\" LIMIT=\"10\" REMAINDER=\"-5\"/>", "REPORT", over);
    ReadStatsReply(over, stats);
    EXPECT_EQ(stats.REMAINDER, -5);
}

TEST_F(Formats, ParseByteCountIgnoresTheProcessLocale)
{
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may not exist; then this is the plain case again
    EXPECT_EQ(ParseByteCount("1536.9"), 1536);
    std::setlocale(LC_NUMERIC, "C");
}

TEST_F(Formats, ParseDate8)
{
    double v = -1;
    EXPECT_TRUE(ParseDate8("22221231", v));
    EXPECT_EQ(v, InfiniteDate);
    v = -1;
    EXPECT_TRUE(ParseDate8("22220101", v));
    EXPECT_EQ(v, InfiniteDate);
    EXPECT_TRUE(ParseDate8("22211231", v));
    EXPECT_EQ(v, EncodeDate(QDate(2221, 12, 31)));
    EXPECT_TRUE(ParseDate8("20040301120000", v));
    EXPECT_EQ(v, EncodeDate(QDate(2004, 3, 1)));
    for (const char *bad : {"20040230", "2004", "2004030", "20041301", "00000101", "2004ab01", "200:0101"}) {
        v = 123;
        EXPECT_FALSE(ParseDate8(QString::fromLatin1(bad), v)) << bad;
        EXPECT_EQ(v, 123) << bad;
    }
}

TEST_F(Formats, ServerStamps)
{
    EXPECT_EQ(FormatDate8(At(2004, 3, 15)), "20040315");
    EXPECT_EQ(FormatDate8(InfiniteDate), "22220101");
    EXPECT_EQ(FormatDate8(InfiniteDate + 5), "22220101");
    EXPECT_EQ(FormatStamp14(InfiniteDate), "22220101000000");
    EXPECT_EQ(FormatStamp14(At(2004, 3, 1, 23, 59, 59, 568)), "20040301235959");
    EXPECT_EQ(FormatStamp14(At(2004, 3, 1, 0, 0, 0, 999)), "20040301000000");
    EXPECT_EQ(FormatStamp17(At(2004, 3, 15, 14, 23, 5, 7)), "20040315142305007");
    // The end of a day as the week bounds compute it reads 23:59:59.
    EXPECT_EQ(FormatStamp14(EncodeDate(QDate(2004, 3, 21)) + 1 - 0.000005), "20040321235959");
}

TEST_F(Formats, DisplayDateUsesTheRegionalSeparator)
{
    EXPECT_EQ(FormatDisplayDate(0), "-");
    EXPECT_EQ(FormatDisplayDate(-3), "-");
    EXPECT_EQ(FormatDisplayDate(InfiniteDate), "...");
    EXPECT_EQ(FormatDisplayDate(At(2004, 3, 15, 10)), "15/03/2004");
    SetRegionalSettingsOverride(ZEMRegionalSettings{u'.', u','});
    EXPECT_EQ(FormatDisplayDate(At(2004, 3, 15)), "15.03.2004");
}

TEST_F(Formats, FormatBytes)
{
    const std::pair<qint64, const char *> cases[] = {
        {0, "0"},
        {512, "512"},
        {1023, "1023"},
        {-1023, "-1023"},
        {1024, "1.00Kb"},
        {1536, "1.50Kb"},
        {-2048, "-2.00Kb"},
        {150000, "146.48Kb"},
        {1048575, "1024.00Kb"},
        {1048576, "1.00MB"},
        {5242880, "5.00MB"},
        {1073741824, "1.00GB"},
        {1099511627776LL, "1.00TB"},
        {1125899906842624LL, "1024.00TB"},
    };
    for (const auto &[n, text] : cases)
        EXPECT_EQ(FormatBytes(n), text) << n;
    SetRegionalSettingsOverride(ZEMRegionalSettings{u'.', u','});
    EXPECT_EQ(FormatBytes(1536), "1,50Kb");
}

TEST_F(Formats, FormatBytesShort)
{
    struct Case {
        qint64 n;
        const char *number;
        const char *unit;
    };
    const Case cases[] = {
        {1023, "1023", "byte"},
        {0, "0", "byte"},
        {-5, "-5", "byte"},
        {1024, "1.0", "Kb"},
        {101887, "99.5", "Kb"},
        {102400, "0.1", "MB"},
        {150000, "0.1", "MB"},
        {12582912, "12.0", "MB"},
        {204800, "0.2", "MB"},
        {-2048, "-2.0", "Kb"},
        {1099511627776LL * 500, "500.0", "TB"},
        // Rounded once: 1275 bytes are 1.2451Kb, and 1.25 would round up.
        {1275, "1.2", "Kb"},
        {-1275, "-1.2", "Kb"},
        {1099511627776LL * 1536, "1540.0", "TB"},
        {1099511627776LL * 150 + 1099511627776LL / 2, "151.0", "TB"},
    };
    for (const Case &c : cases) {
        const ZEMShortBytes s = FormatBytesShort(c.n);
        EXPECT_EQ(s.number, c.number) << c.n;
        EXPECT_EQ(s.unit, c.unit) << c.n;
    }
}

TEST_F(Formats, VersionComesFromTheBuild)
{
    EXPECT_EQ(FormatVersion(), QStringLiteral(TALLY_VERSION_STRING));
    EXPECT_EQ(FormatVersion().split('.').size(), 4);
}

TEST_F(Formats, FormatArgsFillsPercentConversionsInOrder)
{
    EXPECT_EQ(FormatArgs("Socket error %d: %s", {"10061", "refused"}), "Socket error 10061: refused");
    EXPECT_EQ(FormatArgs("100%% %s %d", {"a"}), "100% a %d");
    EXPECT_EQ(FormatArgs("%x %s", {"y"}), "%x y");
}

TEST(RegionalSettings, SystemLocaleGivesSeparators)
{
    const ZEMRegionalSettings s = SystemRegionalSettings();
    EXPECT_FALSE(s.dateSeparator.isLetterOrNumber());
    EXPECT_FALSE(s.decimalSeparator.isNull());
}

// The locale's short date keeps four-digit years: a two-letter year widens, other runs stay.
TEST(RegionalSettings, ShortDateKeepsFourDigitYears)
{
    const QLocale before;
    for (const auto &[locale, format] : std::initializer_list<std::pair<const char *, const char *>>{
             {"en_US", "M/d/yyyy"}, {"de_DE", "dd.MM.yyyy"}, {"C", "d MMM yyyy"}}) {
        QLocale::setDefault(QLocale(QLatin1String(locale)));
        EXPECT_EQ(ShortDateFormat(), QLatin1String(format)) << locale;
    }
    QLocale::setDefault(before);
}

} // namespace
