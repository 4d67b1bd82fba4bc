#include "cli/grid_output.h"

#include "cli/cli_session.h"

#include <QJsonArray>

namespace tvq52 {

namespace {

// A single-precision level is written as the shortest text that reads back
// as the same single, 59.2 rather than 59.20000076293945.
QJsonValue number(double value)
{
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return QJsonValue(qint64(value));
    const float single = float(value);
    return double(single) == value ? jsonSingle(single) : QJsonValue(value);
}

} // namespace

QJsonValue machineValue(const GridColumn& column, const QVariant& stored)
{
    if (stored.isNull() || !stored.isValid())
        return QJsonValue();
    if (column.show == CellShow::Flag)
        return stored.toInt() != 0;
    QString text = stored.toString().trimmed();
    if (column.numeric) {
        bool ok = false;
        const double value = text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        return ok ? number(value) : QJsonValue(text);
    }
    if (column.show == CellShow::Date)
        return text.left(10);
    // Dates kept as "dd/mm/yyyy" texts read as the ISO date they are.
    if (const QDate day = QDate::fromString(text, QStringLiteral("dd/MM/yyyy")); day.isValid())
        return day.toString(Qt::ISODate);
    return text;
}

QString machineField(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return {};
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Double: {
        const double d = value.toDouble();
        return d == std::floor(d) && std::abs(d) < 1e15 ? QString::number(qint64(d))
                                                        : QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    default:
        return commaCsvField(value.toString());
    }
}

bool writeMachineCsv(QIODevice& out, const RecordGridModel& grid, const QList<int>& columns,
                     const std::optional<StartRange>& range)
{
    const QList<int> shown = columnsOrAll(grid, columns);
    const StartFilter inRange(grid, range);
    const QVector<GridColumn>& defs = gridColumns(grid.grid());
    QStringList heads;
    for (int c : shown)
        heads << defs[c].field;
    bool ok = out.write((heads.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) >= 0;
    for (int r = 0; ok && r < grid.rowCount(); ++r) {
        if (!inRange.accepts(r))
            continue;
        QStringList cells;
        for (int c : shown)
            cells << machineField(machineValue(defs[c], grid.storedValue(r, c)));
        ok = out.write((cells.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) >= 0;
    }
    return ok;
}

QJsonObject gridJson(const RecordGridModel& grid, qint32 serial, const QList<int>& columns,
                     const std::optional<StartRange>& range)
{
    const QList<int> shown = columnsOrAll(grid, columns);
    const StartFilter inRange(grid, range);
    const QVector<GridColumn>& defs = gridColumns(grid.grid());
    QJsonArray heads, rows;
    for (int c : shown)
        heads.append(defs[c].field);
    for (int r = 0; r < grid.rowCount(); ++r) {
        if (!inRange.accepts(r))
            continue;
        QJsonObject row;
        for (int c : shown)
            row.insert(defs[c].field, machineValue(defs[c], grid.storedValue(r, c)));
        rows.append(row);
    }
    return QJsonObject{
        {"grid", grid.grid() == RecordGrid::Intervals ? QStringLiteral("intervals") : QStringLiteral("sessions")},
        {"serial", serial},
        {"columns", heads},
        {"rows", rows}};
}

} // namespace tvq52
