#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace tvq52 {

// "hh:nn" on the 24-hour clock; one-digit parts and blanks from a mask are
// tolerated, as the unit's users type them.
std::optional<QTime> parseClockTime(const QString& text);
inline bool isValidClockTime(const QString& text)
{
    return parseClockTime(text).has_value();
}
// The time as "hh:nn".
QString clockText(const QTime& time);

// "dd/mm/yy"; two-digit years below 30 are in this century.
std::optional<QDate> parseShortDate(const QString& text);
QString shortDateText(const QDate& date);

// A "dd/mm/yy" day and an "hh:nn" time together.
std::optional<QDateTime> parseDayAndTime(const QString& day, const QString& time);

} // namespace tvq52
