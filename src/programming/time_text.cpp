#include "programming/time_text.h"

#include <QRegularExpression>

namespace tvq52 {

std::optional<QTime> parseClockTime(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,2})\\s*:\\s*(\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt());
    if (!t.isValid())
        return std::nullopt;
    return t;
}

QString clockText(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm"));
}

std::optional<QDate> parseShortDate(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2})\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int yy = m.captured(3).toInt();
    const QDate d(yy < 30 ? 2000 + yy : 1900 + yy, m.captured(2).toInt(), m.captured(1).toInt());
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QString shortDateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd/MM/yy"));
}

std::optional<QDateTime> parseDayAndTime(const QString& day, const QString& time)
{
    const auto d = parseShortDate(day);
    const auto t = parseClockTime(time);
    if (!d || !t)
        return std::nullopt;
    return QDateTime(*d, *t);
}

} // namespace tvq52
