#pragma once

#include "db/row_sink.h"

#include <QByteArray>
#include <string>

namespace tvq52 {

// One table's rows on their way into a PostgreSQL server through a
// temporary staging table filled by COPY in binary form: no value is
// formatted as text on our side nor parsed on the server's. The staging
// table holds each row's line, whether it is the first row of its key in
// the batch, the journal's key and digest of the row, then the table's
// columns. Its rows go at each commit.
class ServerCopyTable {
public:
    // `listed`: the journal lists the rows added to this table.
    ServerCopyTable(const SinkTable& table, bool listed);

    const QByteArray& createStage() const { return createStage_; }
    const QByteArray& dropStage() const { return dropStage_; }
    const QByteArray& copyStatement() const { return copy_; }
    // COPY straight into the table, and into the journal's listing.
    const QByteArray& directCopyStatement() const { return directCopy_; }
    static QByteArray listingCopyStatement();
    // Inserts the first row of each key unless the key is stored, and lists
    // each row added in the journal entry $1 (table name $2) while it is
    // open; answers the rows added, the rows listed, and the staged rows
    // whose key holds other values. Without parameters for a table the
    // journal does not list.
    const QByteArray& insertStatement() const { return insert_; }

    // Lists one row added in the journal entry $1 while it is open: table
    // $2, key $3, digest $4.
    static QByteArray listStatement();
    // The binary COPY stream's start and end.
    static std::string header();
    static std::string trailer();
    // Appends one row for the staging table to `out`; false (and `out` as
    // it was) when a value is not of its column's kind.
    bool encodeStaged(qint64 line, bool first, const QByteArray& key, const QByteArray& digest, const SinkRow& row,
                      std::string& out) const;
    // The same for the table itself.
    bool encode(const SinkRow& row, std::string& out) const;
    // One row of the journal's listing.
    static void encodeListing(qint64 entry, const QByteArray& table, const QByteArray& key, const QByteArray& digest,
                              std::string& out);

private:
    SinkTable table_;
    bool encodeColumns(const SinkRow& row, std::string& out) const;

    QByteArray createStage_, dropStage_, copy_, directCopy_, insert_;
};

} // namespace tvq52
