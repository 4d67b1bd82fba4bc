#pragma once

#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

namespace tvq52 {

class LocGuru;
class RecordGridModel;

// Text for a spreadsheet: UTF-8 with a byte-order mark (so a spreadsheet
// takes it as UTF-8), ";" between fields (the decimal comma of most of our
// languages rules out ","), CRLF between records, and a field quoted with
// doubled quotes when it holds ";", a quote, a line break or edge spaces.
class CsvWriter {
public:
    explicit CsvWriter(QIODevice& out);
    bool writeRow(const QStringList& fields);
    bool ok() const { return ok_; }
    static QString field(const QString& text);

private:
    QIODevice& out_;
    bool ok_ = true;
};

// A grid as its window shows it: the given columns (all when empty) with
// their headings on one line each, and each cell's display text; a flag
// column, shown as a picture, writes the catalogue's yes and no.
bool writeGridCsv(QIODevice& out, const RecordGridModel& grid, const LocGuru& guru, const QList<int>& columns = {});

} // namespace tvq52
