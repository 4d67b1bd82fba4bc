#include "programming/interval_rules.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

NonWorkingInterval interval(const char* sd, const char* st, const char* ed, const char* et)
{
    return {QString::fromUtf8(sd), QString::fromUtf8(st), QString::fromUtf8(ed), QString::fromUtf8(et)};
}

} // namespace

TEST(IntervalGrid, EachEditIsAcceptedCorrectedOrRefusedByTheGridRules)
{
    const NonWorkingInterval unused{};
    const NonWorkingInterval span = interval("01/02/10", "10:00", "03/02/10", "12:00");
    const NonWorkingInterval sameDay = interval("01/02/10", "10:00", "01/02/10", "12:00");
    const NonWorkingInterval fourDays = interval("01/02/10", "10:00", "05/02/10", "10:00");
    struct Case {
        NonWorkingInterval before;
        IntervalCell cell;
        const char* text;
        bool accepted;
        int messageId;
        NonWorkingInterval after;
    };
    const Case cases[] = {
        // A zero start or end day clears the whole interval.
        {span, IntervalCell::StartDay, "00/00/00", true, 0, unused},
        {span, IntervalCell::EndDay, "00/00/00", true, 0, unused},
        // Bad dates and times keep the row; a time needs its day first.
        {span, IntervalCell::StartDay, "12/13/10", false, 18, span},
        {span, IntervalCell::StartDay, "32/01/10", false, 18, span},
        {span, IntervalCell::StartDay, "ab/cd/ef", false, 18, span},
        {span, IntervalCell::EndDay, "30/02/10", false, 18, span},
        {span, IntervalCell::StartTime, "24:10", false, 19, span},
        {unused, IntervalCell::StartTime, "10:00", false, 18, unused},
        // A start on an unused row or past the end moves the end one minute after it.
        {unused, IntervalCell::StartDay, "15/08/10", true, 0, interval("15/08/10", "00:00", "15/08/10", "00:01")},
        {sameDay, IntervalCell::StartTime, "23:59", true, 0, interval("01/02/10", "23:59", "02/02/10", "00:00")},
        // An end day equal to the start (or on an unused row) warns and moves the end one minute on.
        {fourDays, IntervalCell::EndDay, "01/02/10", true, 24, interval("01/02/10", "10:00", "01/02/10", "10:01")},
        {unused, IntervalCell::EndDay, "3/4/11", true, 24, interval("03/04/11", "00:00", "03/04/11", "00:01")},
        {sameDay, IntervalCell::EndTime, "10:00", false, 24, sameDay},
        {sameDay, IntervalCell::EndTime, "10:01", true, 0, interval("01/02/10", "10:00", "01/02/10", "10:01")},
    };
    for (const Case& c : cases) {
        const IntervalEdit e = editInterval(c.before, c.cell, QString::fromUtf8(c.text));
        EXPECT_EQ(e.accepted, c.accepted) << c.text;
        EXPECT_EQ(e.messageId, c.messageId) << c.text;
        EXPECT_EQ(e.row, c.after) << c.text;
    }
}
