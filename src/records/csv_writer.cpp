#include "records/csv_writer.h"

#include "core/catalogue_ids.h"
#include "i18n/translator.h"
#include "programming/programming_record.h"

#include <QRegularExpression>
#include <cmath>

namespace tvq52 {

CsvWriter::CsvWriter(QIODevice& out) : out_(out)
{
    if (out_.write("\xEF\xBB\xBF", 3) != 3)
        status_ = Error(0, out_.errorString());
}

QString CsvWriter::field(const QString& text)
{
    static const QString special = QStringLiteral(";\"\r\n");
    bool quote = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
    for (QChar c : text)
        quote = quote || special.contains(c);
    if (!quote)
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

Status CsvWriter::writeRow(const QStringList& fields)
{
    if (!status_)
        return status_;
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << field(f);
    const QByteArray line = (quoted.join(QLatin1Char(';')) + QLatin1String("\r\n")).toUtf8();
    if (out_.write(line) != line.size())
        status_ = Error(0, out_.errorString());
    return status_;
}

QString commaCsvField(const QString& text)
{
    static const QRegularExpression special(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(special))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

StartFilter::StartFilter(const RecordGridModel& grid, const std::optional<StartRange>& range)
    : grid_(grid),
      range_(range),
      dayColumn_(grid.columnOf(QStringLiteral("DFechaInicio"))),
      timeColumn_(grid.columnOf(QStringLiteral("THoraInicio")))
{}

bool StartFilter::accepts(int row) const
{
    if (!range_ || dayColumn_ < 0 || timeColumn_ < 0)
        return true;
    const QDate d = QDate::fromString(grid_.storedValue(row, dayColumn_).toString().left(10), Qt::ISODate);
    const QTime t = QTime::fromString(grid_.storedValue(row, timeColumn_).toString().left(5), QStringLiteral("HH:mm"));
    const QDateTime start(d, t, Qt::UTC);
    return start >= range_->from && start <= range_->to;
}

QList<int> columnsOrAll(const RecordGridModel& grid, const QList<int>& columns)
{
    if (!columns.isEmpty())
        return columns;
    QList<int> all;
    for (int c = 0; c < grid.columnCount(); ++c)
        all << c;
    return all;
}

QList<int> shownGridColumns(RecordGrid grid, const QString& firmware)
{
    const bool measured = std::lround(versionValue(firmware) * 10) >= 30;
    QList<int> shown;
    const QVector<GridColumn>& defs = gridColumns(grid);
    for (int c = 0; c < defs.size(); ++c) {
        const QString& f = defs[c].field;
        if (grid == RecordGrid::Intervals && !measured
            && (f == QLatin1String("ByLineaInsuficiente") || f == QLatin1String("ByDNA")
                || f == QLatin1String("ByENA")))
            continue;
        shown << c;
    }
    return shown;
}

Status writeGridCsv(QIODevice& out, const RecordGridModel& grid, const Translator& translator, const QList<int>& columns,
                    const std::optional<StartRange>& range)
{
    const StartFilter inRange(grid, range);
    const QList<int> shown = columnsOrAll(grid, columns);
    const QVector<GridColumn>& defs = gridColumns(grid.grid());
    const QString yes = translator.text(msg::Yes), no = translator.text(msg::No);
    CsvWriter csv(out);
    QStringList heads;
    for (int c : shown)
        heads << grid.headerData(c, Qt::Horizontal).toString().simplified();
    if (Status written = csv.writeRow(heads); !written)
        return written;
    for (int r = 0; r < grid.rowCount(); ++r) {
        if (!inRange.accepts(r))
            continue;
        QStringList cells;
        for (int c : shown) {
            if (defs[c].show == CellShow::Flag) {
                const QVariant v = grid.storedValue(r, c);
                cells << (v.isNull() ? QString() : v.toInt() != 0 ? yes : no);
            } else {
                cells << grid.data(grid.index(r, c)).toString();
            }
        }
        if (Status written = csv.writeRow(cells); !written)
            return written;
    }
    return csv.status();
}

} // namespace tvq52
