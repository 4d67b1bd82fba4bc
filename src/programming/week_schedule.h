#pragma once

#include "programming/programming_record.h"

#include <array>

namespace tvq52 {

using WeekSessions = std::array<SessionHours, 7>; // Monday first

inline const QString kClosedTime = QStringLiteral("--:--");

enum class DayOption { AllDay, Hours, Closed };

DayOption dayOptionOf(const SessionHours& day);
// The texts an option puts into the day's fields (hours keeps them).
SessionHours applyDayOption(const SessionHours& day, DayOption option);

// The result of confirming one day: accepted (messageId 0), or the catalogue
// message and the field that gets the focus back.
struct DayConfirmation {
    enum class Field { Start, End };
    int messageId = 0;
    Field focus = Field::Start;
    bool closed = false; // the day was confirmed as closed
    bool accepted() const { return messageId == 0; }
};

// Checks day `day` (0 = Monday) against its own times and against the
// previous day; Sunday is also checked against the following Monday.
DayConfirmation confirmDay(const WeekSessions& week, int day);

// "hh:mm" rounded to the nearest hour, "hh:00"; half past rounds up and
// 23:30 gives 00:00.
QString roundToHour(const QString& time);

} // namespace tvq52
