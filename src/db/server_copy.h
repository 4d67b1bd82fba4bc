#pragma once

#include "db/packed_lines.h"
#include "db/row_sink.h"

#include <QByteArray>
#include <string>

namespace tvq52 {

// One table's rows on their way into a PostgreSQL server through a
// temporary staging table filled by COPY in binary form: no value is
// formatted as text on our side nor parsed on the server's. The staging
// table holds each row's line, whether it is the first row of its key in
// the batch, then the table's columns. Its rows go at each commit.
class ServerCopyTable {
public:
    // `listed`: the journal lists the rows added to this table.
    ServerCopyTable(const SinkTable& table, bool listed);

    const QByteArray& createStage() const { return createStage_; }
    const QByteArray& dropStage() const { return dropStage_; }
    const QByteArray& copyStatement() const { return copy_; }
    // COPY straight into the table.
    const QByteArray& directCopyStatement() const { return directCopy_; }
    // COPY of packed journal lines.
    static QByteArray packedLinesCopyStatement();
    // Inserts the first row of each key unless the key is stored; answers
    // one row (line -1) with the rows added and the staged rows whose key
    // holds other values, and, for a table the journal lists, the line of
    // each row added.
    const QByteArray& insertStatement() const { return insert_; }

    // Lists one row added in the journal entry $1 while it is open: table
    // $2, key $3, digest $4.
    static QByteArray listStatement();
    // The binary COPY stream's start and end.
    static std::string header();
    static std::string trailer();
    // Appends one row for the staging table to `out`; false (and `out` as
    // it was) when a value is not of its column's kind.
    bool encodeStaged(qint64 line, bool first, const SinkRow& row, std::string& out) const;
    // The same for the table itself.
    bool encode(const SinkRow& row, std::string& out) const;
    // One packed journal line of the entry.
    static void encodePackedLine(qint64 entry, const packed_lines::Line& line, std::string& out);
    // Whether journal entry $1 is open, holding it so until the commit: one row when it is.
    static QByteArray entryOpenStatement();

private:
    SinkTable table_;
    bool encodeColumns(const SinkRow& row, std::string& out) const;

    QByteArray createStage_, dropStage_, copy_, directCopy_, insert_;
};

} // namespace tvq52
