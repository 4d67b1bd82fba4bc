#include "programming/week_schedule.h"

#include "core/catalogue_ids.h"
#include "programming/time_text.h"

#include <cmath>

namespace tvq52 {

namespace {

bool isClosed(const SessionHours& day)
{
    return day.start == kClosedTime;
}

int minutesOf(const QString& text)
{
    const QTime t = parseClockTime(text).value_or(QTime(0, 0));
    return t.hour() * 60 + t.minute();
}

// Whether `later` starts only after `earlier` has ended: the earlier session
// is laid on a reference day (its end on the next day when it crosses
// midnight) and the later start on the next day.
bool startsAfter(const SessionHours& earlier, const SessionHours& later)
{
    const int p = minutesOf(earlier.start);
    int q = minutesOf(earlier.end);
    if (q < p)
        q += 24 * 60;
    const int s = 24 * 60 + minutesOf(later.start);
    return s > q;
}

} // namespace

DayOption dayOptionOf(const SessionHours& day)
{
    if (isClosed(day))
        return DayOption::Closed;
    if (day.start == QLatin1String("00:00") && day.end == QLatin1String("23:59"))
        return DayOption::AllDay;
    return DayOption::Hours;
}

SessionHours applyDayOption(const SessionHours& day, DayOption option)
{
    switch (option) {
    case DayOption::AllDay:
        return {QStringLiteral("00:00"), QStringLiteral("23:59")};
    case DayOption::Closed:
        return {kClosedTime, kClosedTime};
    case DayOption::Hours:
        break;
    }
    return day;
}

DayConfirmation confirmDay(const WeekSessions& week, int day)
{
    using Field = DayConfirmation::Field;
    const SessionHours& own = week[day];
    if (isClosed(own))
        return {0, Field::Start, true};
    if (!isValidClockTime(own.start))
        return {msg::WrongTime, Field::Start};
    // An unreadable end would reach the unit as it is; it is refused here too.
    if (!isValidClockTime(own.end))
        return {msg::WrongTime, Field::End};
    if (minutesOf(own.start) == minutesOf(own.end))
        return {msg::StartEqualsEnd, Field::Start};
    if (day > 0 && !isClosed(week[day - 1]) && !startsAfter(week[day - 1], own))
        return {msg::ErrorWithMonday + day - 1, Field::Start};
    if (day == 6 && !isClosed(week[0]) && !startsAfter(own, week[0]))
        return {msg::ErrorWithMonday, Field::Start};
    return {};
}

QString roundToHour(const QString& time)
{
    const int minutes = minutesOf(time);
    const int hour = int(std::floor(minutes / 60.0 + 0.5)) % 24;
    return QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0'));
}

} // namespace tvq52
