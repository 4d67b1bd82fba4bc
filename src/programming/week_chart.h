#pragma once

#include "programming/week_schedule.h"

#include <QStringList>
#include <array>
#include <optional>

namespace tvq52 {

// One point an hour from Monday 00:00 to the following Monday 00:00.
inline constexpr int kWeekPoints = 169;

inline constexpr double kLaneValue = 4.0;
inline constexpr double kDayNightValue = 2.0;
inline constexpr double kSessionValue = 3.5;
inline constexpr double kNoSessionValue = -1.0;

// The values of the week chart, index 0 being point 1. A lane holds a value
// only on its own day's points; a night band point only at night.
struct WeekChartData {
    std::array<std::array<std::optional<double>, kWeekPoints>, 7> lanes;
    std::array<double, kWeekPoints> dayNight{};
    std::array<std::optional<double>, kWeekPoints> night;
    QStringList nightLabels; // the night start or end as written, else " "
    std::array<double, kWeekPoints> sessions{};
};

// Points 24(d-1)+1 to 24d+1 belong to day d; the boundary point to both.
std::array<std::array<std::optional<double>, kWeekPoints>, 7> dayLanes();
std::array<bool, kWeekPoints> nightPoints(const QString& nightStart, const QString& nightEnd);
std::array<bool, kWeekPoints> sessionPoints(const WeekSessions& week);

WeekChartData weekChart(const WeekSessions& week, const QString& nightStart, const QString& nightEnd);

} // namespace tvq52
