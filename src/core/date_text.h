#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace tvq52 {

// What an ISO date given without a time stands for.
enum class DateAlone { StartOfDay, EndOfDay };

// A date and time as people type it: "dd/mm/yy hh:nn" or "dd/mm/yyyy hh:nn",
// or ISO 8601 "yyyy-mm-ddThh:nn" with "T" or a blank between date and time;
// seconds (":ss") may follow in either form. A two-digit year below 50 is
// 20yy, from 50 on 19yy. The ISO form may also be a date alone (its day's
// first or last second, by `alone`), and may end in "Z" or an offset
// ("+01:00", "-0300", "+01"), which is turned into this PC's local time.
// The result is a wall-clock reading. Nothing on an invalid day or time.
std::optional<QDateTime> parseDateTimeText(const QString& text, DateAlone alone = DateAlone::StartOfDay);

// A date and time as every JSON document of the command line writes it:
// the wall-clock reading `at` (the PC's, or a unit's, which keeps the
// venue's local time) as local time with its offset from UTC then,
// "yyyy-mm-ddThh:nn:ss+hh:mm", so that a program reading it knows the moment.
// A moment held in another zone is turned to local time first by the caller.
QString jsonDateTimeText(const QDateTime& at);

} // namespace tvq52
