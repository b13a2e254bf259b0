#include "zem_stringbuffer.h"

#include <gtest/gtest.h>

namespace {

QString LineName(int i) { return QStringLiteral("line %1").arg(i); }

TEST(StringBuffer, FillsSlotsInOrderThenShiftsOutTheOldest)
{
    TZEMStringBuffer buffer;
    ASSERT_EQ(buffer.Capacity(), 50u);
    EXPECT_EQ(buffer.Count(), 0u);
    for (int i = 1; i <= 50; ++i)
        EXPECT_EQ(buffer.Add(LineName(i)), static_cast<std::uint32_t>(i - 1));
    EXPECT_EQ(buffer.Count(), 50u);

    // The 51st line drops line 1: rows 0..49 now hold lines 2..51, the newest in the last slot.
    EXPECT_EQ(buffer.Add(LineName(51)), 49u);
    EXPECT_EQ(buffer.Count(), 50u);
    for (std::uint32_t row = 0; row < 50; ++row)
        EXPECT_EQ(buffer.Line(row), LineName(static_cast<int>(row) + 2));
    EXPECT_EQ(buffer.Add(LineName(52)), 49u);
    EXPECT_EQ(buffer.Line(0), LineName(3));
    EXPECT_EQ(buffer.Line(49), LineName(52));
}

TEST(StringBuffer, ClearEmptiesEverySlotAndStartsOver)
{
    TZEMStringBuffer buffer;
    for (int i = 0; i < 60; ++i)
        buffer.Add(LineName(i));
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0u);
    for (std::uint32_t row = 0; row < 50; ++row)
        EXPECT_TRUE(buffer.Line(row).isEmpty()) << row;
    EXPECT_EQ(buffer.Add(QStringLiteral("again")), 0u);
    EXPECT_EQ(buffer.Line(0), QStringLiteral("again"));
    EXPECT_TRUE(buffer.Line(1).isEmpty());
}

TEST(StringBuffer, SmallCapacitiesAndOutOfRangeReads)
{
    TZEMStringBufferBase one(1);
    EXPECT_EQ(one.Add(QStringLiteral("a")), 0u);
    EXPECT_EQ(one.Add(QStringLiteral("b")), 0u);
    EXPECT_EQ(one.Line(0), QStringLiteral("b"));
    EXPECT_TRUE(one.Line(1).isEmpty());

    TZEMStringBufferBase none(0);
    EXPECT_EQ(none.Add(QStringLiteral("x")), 0u);
    EXPECT_EQ(none.Count(), 0u);
    EXPECT_TRUE(none.Line(0).isEmpty());
}

} // namespace
