#include "programming/interval_rules.h"

#include "core/catalogue_ids.h"
#include "programming/time_text.h"

namespace tvq52 {

namespace {

const QString kUnusedDay = QStringLiteral("00/00/00");

IntervalEdit rejected(const NonWorkingInterval& row, int messageId)
{
    return {false, row, messageId};
}

IntervalEdit accepted(const NonWorkingInterval& row, int messageId = 0)
{
    return {true, row, messageId};
}

// A date the grid accepts: readable, with a month of at most 12.
std::optional<QDate> gridDate(const QString& text)
{
    if (text.mid(3, 2) > QLatin1String("12"))
        return std::nullopt;
    return parseShortDate(text);
}

bool endAfterStart(const NonWorkingInterval& r)
{
    const auto start = parseDayAndTime(r.startDay, r.startTime);
    const auto end = parseDayAndTime(r.endDay, r.endTime);
    return start && end && *end > *start;
}

// Moves the end to one minute after the start.
void pushEndPastStart(NonWorkingInterval& r)
{
    const auto start = parseDayAndTime(r.startDay, r.startTime);
    if (!start)
        return;
    const QDateTime end = start->addSecs(60);
    r.endDay = shortDateText(end.date());
    r.endTime = clockText(end.time());
}

} // namespace

IntervalEdit editInterval(const NonWorkingInterval& row, IntervalCell cell, const QString& text)
{
    NonWorkingInterval r = row;
    switch (cell) {
    case IntervalCell::StartDay:
    case IntervalCell::EndDay: {
        if (text.left(8) == kUnusedDay)
            return accepted(NonWorkingInterval{});
        const auto day = gridDate(text);
        if (!day)
            return rejected(row, msg::WrongDate);
        const bool start = cell == IntervalCell::StartDay;
        (start ? r.startDay : r.endDay) = shortDateText(*day);
        QString& other = start ? r.endDay : r.startDay;
        if (other == kUnusedDay)
            other = shortDateText(*day);
        if (endAfterStart(r))
            return accepted(r);
        pushEndPastStart(r);
        return accepted(r, start ? 0 : msg::IntervalEndNotAfterStart);
    }
    case IntervalCell::StartTime:
    case IntervalCell::EndTime: {
        const auto time = parseClockTime(text);
        if (!time)
            return rejected(row, msg::WrongTime);
        const bool start = cell == IntervalCell::StartTime;
        if (!gridDate(start ? r.startDay : r.endDay))
            return rejected(row, msg::WrongDate);
        (start ? r.startTime : r.endTime) = clockText(*time);
        if (endAfterStart(r))
            return accepted(r);
        if (!start)
            return rejected(row, msg::IntervalEndNotAfterStart);
        pushEndPastStart(r);
        return accepted(r);
    }
    }
    return rejected(row, msg::WrongDate);
}

} // namespace tvq52
