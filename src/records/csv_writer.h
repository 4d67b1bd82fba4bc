#pragma once

#include "core/error.h"
#include "records/record_grid_model.h"

#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tvq52 {

class Translator;

// Text for a spreadsheet: UTF-8 with a byte-order mark (so a spreadsheet
// takes it as UTF-8), ";" between fields (the decimal comma of most of our
// languages rules out ","), CRLF between records, and a field quoted with
// doubled quotes when it holds ";", a quote, a line break or edge spaces.
class CsvWriter {
public:
    explicit CsvWriter(QIODevice& out);
    // Fails with the device's words; after a failure nothing more is written.
    Status writeRow(const QStringList& fields);
    // The first write that failed, the byte-order mark's included.
    const Status& status() const { return status_; }
    static QString field(const QString& text);

private:
    QIODevice& out_;
    Status status_;
};

// A field of the comma-separated files written for programs (RFC 4180):
// quoted with doubled quotes only when it holds a comma, a quote or a line
// break.
QString commaCsvField(const QString& text);

// A grid as its window shows it: the given columns (all when empty) with
// their headings on one line each, and each cell's display text; a flag
// column, shown as a picture, writes the catalogue's yes and no.
// With `from` and `to`, only the rows that start between them.
struct StartRange {
    QDateTime from, to;
};

// The rows of a grid whose stored start lies within the range; every row
// without a range or in a grid without start columns.
class StartFilter {
public:
    StartFilter(const RecordGridModel& grid, const std::optional<StartRange>& range);
    bool accepts(int row) const;

private:
    const RecordGridModel& grid_;
    const std::optional<StartRange>& range_;
    int dayColumn_;
    int timeColumn_;
};

// `columns`, or every column of the grid when it is empty.
QList<int> columnsOrAll(const RecordGridModel& grid, const QList<int>& columns);
Status writeGridCsv(QIODevice& out, const RecordGridModel& grid, const Translator& translator, const QList<int>& columns = {},
                    const std::optional<StartRange>& range = std::nullopt);

// The columns a unit's grid shows: the uncalibrated-minute counters only
// from firmware 3.0 on, as the older units do not measure them.
QList<int> shownGridColumns(RecordGrid grid, const QString& firmware);

} // namespace tvq52
