#include "programming/action_type.h"

namespace tvq52 {

QString encodeActionType(const ActionType& action)
{
    switch (action.kind) {
    case ActionType::None:
        return QStringLiteral("0");
    case ActionType::Leq125ms:
        return QStringLiteral("Leq125ms");
    case ActionType::LeqSeconds:
        break;
    }
    return QStringLiteral("Leq%1s").arg(action.seconds.trimmed().toInt(), 2, 10, QLatin1Char('0'));
}

ActionType decodeActionType(const QString& stored)
{
    if (stored == QLatin1String("Leq125ms"))
        return {ActionType::Leq125ms, {}};
    if (stored == QLatin1String("0"))
        return {ActionType::None, {}};
    return {ActionType::LeqSeconds, stored.size() > 4 ? stored.mid(3, stored.size() - 4) : QString()};
}

} // namespace tvq52
