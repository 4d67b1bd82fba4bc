#include "programming/week_chart.h"
#include "programming/week_schedule.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

SessionHours hours(const char* start, const char* end)
{
    return {QString::fromUtf8(start), QString::fromUtf8(end)};
}

WeekSessions closedWeek()
{
    WeekSessions w;
    w.fill({kClosedTime, kClosedTime});
    return w;
}

int pointOf(int day, int hour)
{
    return day * 24 + hour; // index 0 is Monday 00:00
}

} // namespace

TEST(ConfirmDay, ASessionMustStartAfterThePreviousDayEndsUnlessThatDayIsClosedAndSundayLeadsToMonday)
{
    WeekSessions w = closedWeek();
    w[0] = hours("20:00", "02:00");
    w[1] = hours("02:00", "05:00");
    EXPECT_EQ(confirmDay(w, 1).messageId, 91);
    w[1] = hours("02:01", "05:00");
    EXPECT_TRUE(confirmDay(w, 1).accepted());

    w[0] = hours("00:00", "23:59");
    w[1] = hours("00:00", "23:59");
    EXPECT_TRUE(confirmDay(w, 1).accepted());

    // Each day names the day before it.
    for (int d = 1; d < 6; ++d) {
        WeekSessions late = closedWeek();
        late[d - 1] = hours("20:00", "04:00");
        late[d] = hours("03:00", "05:00");
        EXPECT_EQ(confirmDay(late, d).messageId, 90 + d) << d;
    }

    // A closed previous day allows any start.
    w = closedWeek();
    w[1] = hours("00:00", "06:00");
    EXPECT_TRUE(confirmDay(w, 1).accepted());
    const DayConfirmation closed = confirmDay(w, 0);
    EXPECT_TRUE(closed.accepted());
    EXPECT_TRUE(closed.closed);

    // Sunday is checked against the following Monday.
    w = closedWeek();
    w[6] = hours("22:00", "03:00");
    w[0] = hours("03:00", "05:00");
    EXPECT_EQ(confirmDay(w, 6).messageId, 91);
    w[0] = hours("03:01", "05:00");
    EXPECT_TRUE(confirmDay(w, 6).accepted());
    w[5] = hours("20:00", "04:00");
    w[6] = hours("03:59", "23:30");
    EXPECT_EQ(confirmDay(w, 6).messageId, 96);
}

TEST(ConfirmDay, StartEqualToEndOrUnreadableTimesAreRefusedOnEveryDay)
{
    for (int d = 0; d < 7; ++d) {
        WeekSessions w = closedWeek();
        w[d] = hours("10:00", "10:00");
        const DayConfirmation c = confirmDay(w, d);
        EXPECT_EQ(c.messageId, 97) << d;
        EXPECT_EQ(c.focus, DayConfirmation::Field::Start);
        w[d] = hours("__:__", "10:00");
        EXPECT_EQ(confirmDay(w, d).messageId, 19) << d;
        w[d] = hours("10:00", "10:_");
        EXPECT_EQ(confirmDay(w, d).messageId, 19) << d;
        EXPECT_EQ(confirmDay(w, d).focus, DayConfirmation::Field::End);
    }
}

TEST(DayOption, FollowsTheFieldTexts)
{
    EXPECT_EQ(dayOptionOf(hours("00:00", "00:23")), DayOption::Hours);
    EXPECT_EQ(dayOptionOf(hours("00:00", "23:59")), DayOption::AllDay);
    EXPECT_EQ(dayOptionOf(hours("--:--", "--:--")), DayOption::Closed);
    EXPECT_EQ(applyDayOption(hours("10:00", "12:00"), DayOption::AllDay), hours("00:00", "23:59"));
    EXPECT_EQ(applyDayOption(hours("10:00", "12:00"), DayOption::Closed), hours("--:--", "--:--"));
    EXPECT_EQ(applyDayOption(hours("10:00", "12:00"), DayOption::Hours), hours("10:00", "12:00"));
}

TEST(RoundToHour, RoundsHalfHoursUpAndWrapsAtMidnight)
{
    EXPECT_EQ(roundToHour(QStringLiteral("07:29")), QStringLiteral("07:00"));
    EXPECT_EQ(roundToHour(QStringLiteral("07:30")), QStringLiteral("08:00"));
    EXPECT_EQ(roundToHour(QStringLiteral("23:30")), QStringLiteral("00:00"));
    EXPECT_EQ(roundToHour(QStringLiteral("00:00")), QStringLiteral("00:00"));
    EXPECT_EQ(roundToHour(QStringLiteral("12:59")), QStringLiteral("13:00"));
}

TEST(WeekChart, DayLanesShareTheirBoundaryPoints)
{
    const auto lanes = dayLanes();
    // Lane, point, on the lane.
    for (const auto& [lane, point, on] : {std::tuple{0, 0, true},
                                          {0, 24, true},
                                          {1, 24, true},
                                          {0, 25, false},
                                          {1, 23, false},
                                          {6, 168, true},
                                          {6, 143, false}})
        EXPECT_EQ(lanes[lane][point], on ? std::optional(kLaneValue) : std::nullopt) << lane << " " << point;
}

TEST(WeekChart, DefaultNightRunsFrom22To08Inclusive)
{
    const auto night = nightPoints(QStringLiteral("22:00"), QStringLiteral("08:00"));
    for (int h = 0; h <= 8; ++h)
        EXPECT_TRUE(night[pointOf(2, h)]) << h;
    for (int h = 9; h <= 21; ++h)
        EXPECT_FALSE(night[pointOf(2, h)]) << h;
    EXPECT_TRUE(night[pointOf(2, 22)]);
    EXPECT_TRUE(night[pointOf(0, 0)]); // the Sunday night before the week
    EXPECT_TRUE(night[168]);

    const auto rounded = nightPoints(QStringLiteral("21:30"), QStringLiteral("07:29"));
    EXPECT_TRUE(rounded[pointOf(3, 22)]);
    EXPECT_FALSE(rounded[pointOf(3, 21)]);
    EXPECT_TRUE(rounded[pointOf(3, 7)]);
    EXPECT_FALSE(rounded[pointOf(3, 8)]);

    const WeekChartData data = weekChart(closedWeek(), QStringLiteral("21:30"), QStringLiteral("07:29"));
    EXPECT_EQ(data.nightLabels.size(), kWeekPoints);
    EXPECT_EQ(data.nightLabels[pointOf(1, 22)], QStringLiteral("21:30"));
    EXPECT_EQ(data.nightLabels[pointOf(1, 7)], QStringLiteral("07:29"));
    EXPECT_EQ(data.nightLabels[pointOf(1, 12)], QStringLiteral(" "));
    EXPECT_EQ(data.dayNight[100], kDayNightValue);
    EXPECT_EQ(data.night[pointOf(1, 23)], kDayNightValue);
    EXPECT_FALSE(data.night[pointOf(1, 12)]);
}

TEST(WeekChart, SessionsCrossMidnightAsRounded)
{
    WeekSessions w = closedWeek();
    w[0] = hours("22:00", "03:00"); // Monday into Tuesday
    w[2] = hours("23:40", "02:00"); // starts on Thursday 00:00
    w[4] = hours("00:00", "23:59"); // all Friday
    w[6] = hours("20:00", "02:00"); // Sunday into the next Monday
    const WeekChartData data = weekChart(w, QStringLiteral("22:00"), QStringLiteral("08:00"));
    auto in = [&](int day, int hour) { return data.sessions[pointOf(day, hour)] == kSessionValue; };

    // Day, hour, inside a session. The rounded 00:00 end closes Friday on
    // Saturday 00:00; the chart's Monday begins with the Sunday session running over.
    for (const auto& [day, hour, inside] : {std::tuple{0, 21, false},
                                            {0, 22, true},
                                            {1, 3, true},
                                            {1, 4, false},
                                            {2, 23, false},
                                            {3, 0, true},
                                            {3, 2, true},
                                            {3, 3, false},
                                            {5, 0, true},
                                            {5, 1, false},
                                            {0, 2, true},
                                            {0, 3, false},
                                            {6, 20, true}})
        EXPECT_EQ(in(day, hour), inside) << day << " " << hour;
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(in(4, h)) << h;
    EXPECT_EQ(data.sessions[pointOf(1, 12)], kNoSessionValue);
    // The closing Monday 00:00 agrees with the opening one.
    EXPECT_EQ(data.sessions[168], kSessionValue);
    EXPECT_EQ(data.sessions[0], kSessionValue);
    w[6] = hours("20:00", "23:00");
    EXPECT_EQ(weekChart(w, QStringLiteral("22:00"), QStringLiteral("08:00")).sessions[168], kNoSessionValue);
}
