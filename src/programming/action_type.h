#pragma once

#include <QString>

namespace tvq52 {

// How the unit acts on one side: no action (neighbour side only), on the
// 125 ms Leq, or on the Leq over a number of seconds.
struct ActionType {
    enum Kind { None, Leq125ms, LeqSeconds };
    Kind kind = LeqSeconds;
    QString seconds = QStringLiteral("01"); // the seconds box text

    bool operator==(const ActionType&) const = default;
};

// "Leq125ms", "Leq" + two-digit seconds + "s", or "0" for no action.
QString encodeActionType(const ActionType& action);
// The reverse; anything but "Leq125ms" and "0" is taken as a seconds type and
// keeps what lies between "Leq" and the final "s" (Leq05s gives 05).
ActionType decodeActionType(const QString& stored);

} // namespace tvq52
