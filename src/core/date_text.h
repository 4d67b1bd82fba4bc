#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace tvq52 {

// A date and time as people type it: "dd/mm/yy hh:nn" or "dd/mm/yyyy hh:nn",
// or ISO 8601 "yyyy-mm-ddThh:nn" with "T" or a blank between date and time;
// seconds (":ss") may follow in either form. A two-digit year below 50 is
// 20yy, from 50 on 19yy. No zone is taken: the times are wall-clock
// readings. Nothing on an invalid day or time.
std::optional<QDateTime> parseDateTimeText(const QString& text);

// The ISO 8601 text of a wall-clock reading, "yyyy-mm-ddThh:nn:ss".
QString isoDateTimeText(const QDateTime& at);

} // namespace tvq52
