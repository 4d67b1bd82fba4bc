#include "reports/report_format.h"

#include <QDate>
#include <QDateTime>

namespace tvq52 {

QString levelText(double level)
{
    // Levels are kept as floats: print the float, not the double it widens to.
    return QString::number(static_cast<float>(level), 'g', 7);
}

QString reportDate(const QVariant& value)
{
    QDate date;
    if (value.typeId() == QMetaType::QDate)
        date = value.toDate();
    else if (value.typeId() == QMetaType::QDateTime)
        date = value.toDateTime().date();
    else
        date = QDate::fromString(value.toString().left(10), Qt::ISODate);
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : value.toString();
}

QString formatReportValue(const QVariant& value, const QString& format)
{
    if (value.isNull() || !value.isValid())
        return {};
    if (format == QLatin1String("date"))
        return reportDate(value);
    if (format == QLatin1String("time")) {
        if (value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QTime)
            return value.toTime().toString(QStringLiteral("HH:mm"));
        return value.toString().left(5);
    }
    if (format == QLatin1String("datetime")) {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() ? dt.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : value.toString();
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!format.isEmpty() && ok) {
        if (format == QLatin1String("00"))
            return QStringLiteral("%1").arg(qRound64(d), 2, 10, QLatin1Char('0'));
        if (format == QLatin1String("#.00")) {
            QString s = QString::number(static_cast<float>(d), 'f', 2);
            if (s.startsWith(QLatin1String("0.")))
                s.remove(0, 1);
            else if (s.startsWith(QLatin1String("-0.")))
                s.remove(1, 1);
            return s;
        }
        if (format.startsWith(QLatin1String("0"))) {
            const int dot = format.indexOf(QLatin1Char('.'));
            const int decimals = dot < 0 ? 0 : int(format.size() - dot - 1);
            return QString::number(static_cast<float>(d), 'f', decimals);
        }
    }
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return levelText(d);
    return value.toString();
}

} // namespace tvq52
