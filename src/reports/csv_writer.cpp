#include "reports/csv_writer.h"

#include "core/catalogue_ids.h"
#include "i18n/loc_guru.h"
#include "records/record_grid_model.h"

namespace tvq52 {

CsvWriter::CsvWriter(QIODevice& out) : out_(out)
{
    ok_ = out_.write("\xEF\xBB\xBF", 3) == 3;
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

bool CsvWriter::writeRow(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << field(f);
    const QByteArray line = (quoted.join(QLatin1Char(';')) + QLatin1String("\r\n")).toUtf8();
    ok_ = ok_ && out_.write(line) == line.size();
    return ok_;
}

bool writeGridCsv(QIODevice& out, const RecordGridModel& grid, const LocGuru& guru, const QList<int>& columns)
{
    QList<int> shown = columns;
    if (shown.isEmpty()) {
        for (int c = 0; c < grid.columnCount(); ++c)
            shown << c;
    }
    const QVector<GridColumn>& defs = gridColumns(grid.grid());
    const QString yes = guru.GetS(msg::Yes), no = guru.GetS(msg::No);
    CsvWriter csv(out);
    QStringList heads;
    for (int c : shown)
        heads << grid.headerData(c, Qt::Horizontal).toString().simplified();
    csv.writeRow(heads);
    for (int r = 0; r < grid.rowCount() && csv.ok(); ++r) {
        QStringList cells;
        for (int c : shown) {
            if (defs[c].show == CellShow::Flag) {
                const QVariant v = grid.storedValue(r, c);
                cells << (v.isNull() ? QString() : v.toInt() != 0 ? yes : no);
            } else {
                cells << grid.data(grid.index(r, c)).toString();
            }
        }
        csv.writeRow(cells);
    }
    return csv.ok();
}

} // namespace tvq52
