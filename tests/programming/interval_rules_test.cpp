#include "programming/interval_rules.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

NonWorkingInterval interval(const char* sd, const char* st, const char* ed, const char* et)
{
    return {QString::fromUtf8(sd), QString::fromUtf8(st), QString::fromUtf8(ed), QString::fromUtf8(et)};
}

} // namespace

TEST(IntervalGrid, ZeroStartOrEndDayClearsTheWholeInterval)
{
    const NonWorkingInterval used = interval("01/02/10", "10:00", "03/02/10", "12:00");
    for (IntervalCell cell : {IntervalCell::StartDay, IntervalCell::EndDay}) {
        const IntervalEdit e = editInterval(used, cell, QStringLiteral("00/00/00"));
        EXPECT_TRUE(e.accepted);
        EXPECT_EQ(e.row, NonWorkingInterval{});
        EXPECT_EQ(e.messageId, 0);
    }
}

TEST(IntervalGrid, BadDatesAndTimesAreRefusedAndKeepTheRow)
{
    const NonWorkingInterval used = interval("01/02/10", "10:00", "03/02/10", "12:00");
    for (const char* bad : {"12/13/10", "32/01/10", "ab/cd/ef"}) {
        const IntervalEdit e = editInterval(used, IntervalCell::StartDay, QString::fromUtf8(bad));
        EXPECT_FALSE(e.accepted) << bad;
        EXPECT_EQ(e.messageId, 18);
        EXPECT_EQ(e.row, used);
    }
    EXPECT_EQ(editInterval(used, IntervalCell::EndDay, QStringLiteral("30/02/10")).messageId, 18);
    const IntervalEdit badTime = editInterval(used, IntervalCell::StartTime, QStringLiteral("24:10"));
    EXPECT_FALSE(badTime.accepted);
    EXPECT_EQ(badTime.messageId, 19);
    // A time needs its day first.
    const IntervalEdit noDay = editInterval(NonWorkingInterval{}, IntervalCell::StartTime, QStringLiteral("10:00"));
    EXPECT_FALSE(noDay.accepted);
    EXPECT_EQ(noDay.messageId, 18);
}

TEST(IntervalGrid, AStartDayOnAnUnusedRowFillsTheEndOneMinuteLater)
{
    const IntervalEdit e = editInterval(NonWorkingInterval{}, IntervalCell::StartDay, QStringLiteral("15/08/10"));
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.messageId, 0);
    EXPECT_EQ(e.row, interval("15/08/10", "00:00", "15/08/10", "00:01"));
}

TEST(IntervalGrid, AStartPastTheEndPushesTheEndSilently)
{
    const NonWorkingInterval used = interval("01/02/10", "10:00", "01/02/10", "12:00");
    const IntervalEdit e = editInterval(used, IntervalCell::StartTime, QStringLiteral("23:59"));
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.messageId, 0);
    EXPECT_EQ(e.row, interval("01/02/10", "23:59", "02/02/10", "00:00"));
}

TEST(IntervalGrid, AnEndDayEqualToTheStartWarnsAndMovesTheEndOneMinuteOn)
{
    const NonWorkingInterval used = interval("01/02/10", "10:00", "05/02/10", "10:00");
    const IntervalEdit e = editInterval(used, IntervalCell::EndDay, QStringLiteral("01/02/10"));
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.messageId, 24);
    EXPECT_EQ(e.row, interval("01/02/10", "10:00", "01/02/10", "10:01"));
}

TEST(IntervalGrid, AnEndTimeNotAfterTheStartIsRefused)
{
    const NonWorkingInterval used = interval("01/02/10", "10:00", "01/02/10", "12:00");
    const IntervalEdit e = editInterval(used, IntervalCell::EndTime, QStringLiteral("10:00"));
    EXPECT_FALSE(e.accepted);
    EXPECT_EQ(e.messageId, 24);
    EXPECT_EQ(e.row, used);
    const IntervalEdit later = editInterval(used, IntervalCell::EndTime, QStringLiteral("10:01"));
    EXPECT_TRUE(later.accepted);
    EXPECT_EQ(later.row.endTime, QStringLiteral("10:01"));
}

TEST(IntervalGrid, AnEndDayOnAnUnusedRowAlsoSetsTheStartDay)
{
    const IntervalEdit e = editInterval(NonWorkingInterval{}, IntervalCell::EndDay, QStringLiteral("3/4/11"));
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.row.startDay, QStringLiteral("03/04/11"));
    EXPECT_EQ(e.row.endDay, QStringLiteral("03/04/11"));
    EXPECT_EQ(e.row.endTime, QStringLiteral("00:01"));
    EXPECT_EQ(e.messageId, 24);
}
