#include "programming/week_chart.h"

#include "programming/time_text.h"

namespace tvq52 {

namespace {

// Hours from Monday 00:00 of the chart's week.
int hourOf(const QString& roundedTime)
{
    return roundedTime.left(2).toInt();
}

struct Span {
    int from;
    int to;
    bool contains(int hour) const { return hour >= from && hour <= to; }
};

std::optional<Span> sessionOn(const SessionHours& day, int calendarDay)
{
    if (day.start == kClosedTime)
        return std::nullopt;
    const auto start = parseClockTime(day.start);
    const auto end = parseClockTime(day.end);
    if (!start || !end)
        return std::nullopt;
    const bool crossing = *end <= *start;
    const QString s = roundToHour(day.start);
    const QString e = roundToHour(day.end);
    const bool startNextDay = s == QLatin1String("00:00") && crossing;
    const bool endNextDay = crossing || e == QLatin1String("00:00");
    const int base = calendarDay * 24;
    return Span{base + hourOf(s) + (startNextDay ? 24 : 0), base + hourOf(e) + (endNextDay ? 24 : 0)};
}

// The last point is the next Monday 00:00 and is judged as a Monday, so that
// it agrees with the first point and a Sunday session running over covers it.
int weekdayOfPoint(int index)
{
    return (index / 24) % 7;
}

} // namespace

std::array<std::array<std::optional<double>, kWeekPoints>, 7> dayLanes()
{
    std::array<std::array<std::optional<double>, kWeekPoints>, 7> lanes;
    for (int d = 0; d < 7; ++d)
        for (int i = 24 * d; i <= 24 * (d + 1); ++i)
            lanes[d][i] = kLaneValue;
    return lanes;
}

std::array<bool, kWeekPoints> nightPoints(const QString& nightStart, const QString& nightEnd)
{
    const int s = hourOf(roundToHour(nightStart));
    const int e = hourOf(roundToHour(nightEnd));
    const int length = e < s ? e + 24 - s : e - s;
    std::array<bool, kWeekPoints> night{};
    for (int i = 0; i < kWeekPoints; ++i) {
        const int day = i / 24;
        for (int d : {day, day - 1})
            if (Span{d * 24 + s, d * 24 + s + length}.contains(i))
                night[i] = true;
    }
    return night;
}

std::array<bool, kWeekPoints> sessionPoints(const WeekSessions& week)
{
    std::array<bool, kWeekPoints> inSession{};
    for (int i = 0; i < kWeekPoints; ++i) {
        const int weekday = weekdayOfPoint(i);
        const int day = i / 24;
        const auto own = sessionOn(week[weekday], day);
        const auto before = sessionOn(week[(weekday + 6) % 7], day - 1);
        inSession[i] = (own && own->contains(i)) || (before && before->contains(i));
    }
    return inSession;
}

WeekChartData weekChart(const WeekSessions& week, const QString& nightStart, const QString& nightEnd)
{
    WeekChartData data;
    data.lanes = dayLanes();
    const auto night = nightPoints(nightStart, nightEnd);
    const auto sessions = sessionPoints(week);
    const QString s = roundToHour(nightStart);
    const QString e = roundToHour(nightEnd);
    for (int i = 0; i < kWeekPoints; ++i) {
        data.dayNight[i] = kDayNightValue;
        if (night[i])
            data.night[i] = kDayNightValue;
        const QString hour = QStringLiteral("%1:00").arg(i % 24, 2, 10, QLatin1Char('0'));
        data.nightLabels << (hour == s ? nightStart : hour == e ? nightEnd : QStringLiteral(" "));
        data.sessions[i] = sessions[i] ? kSessionValue : kNoSessionValue;
    }
    return data;
}

} // namespace tvq52
