#include "app/window_places.h"

#include <QDataStream>
#include <QStringList>
#include <algorithm>

namespace tvq52 {

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

std::optional<QRect> insideOfSavedGeometry(const QByteArray& saved)
{
    QDataStream stream(saved);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    QRect frame;
    QRect normal;
    qint32 screen = 0;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    qint32 screenWidth = 0;
    QRect inside;
    stream >> magic >> major >> minor >> frame >> normal >> screen >> maximized >> fullScreen >> screenWidth >> inside;
    if (magic != 0x1D9D0CB || major < 3 || stream.status() != QDataStream::Ok || !inside.isValid())
        return std::nullopt;
    return inside;
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
