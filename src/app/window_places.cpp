#include "app/window_places.h"

#include <QStringList>
#include <algorithm>

namespace tvq52 {

QString placeText(const QRect& place)
{
    return QStringLiteral("%1,%2,%3,%4").arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height());
}

std::optional<QRect> placeFromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

QRect keptOnScreen(const QRect& saved, const QRect& screen)
{
    if (screen.isEmpty())
        return saved;
    const QSize size = saved.size().boundedTo(screen.size());
    const int x = std::clamp(saved.x(), screen.left(), screen.left() + screen.width() - size.width());
    const int y = std::clamp(saved.y(), screen.top(), screen.top() + screen.height() - size.height());
    return QRect(QPoint(x, y), size);
}

} // namespace tvq52
