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
// the batch, its journal key, digest and the journal line it goes in, then
// the table's columns; the
// server's store function takes them from there. Its rows go at each commit.
class ServerCopyTable {
public:
    explicit ServerCopyTable(const SinkTable& table);

    const QByteArray& stageName() const { return stage_; }
    const QByteArray& createStage() const { return createStage_; }
    const QByteArray& dropStage() const { return dropStage_; }
    const QByteArray& copyStatement() const { return copy_; }
    // Stores the staged rows through the server's function, journaling those
    // added in entry $1; answers one row (null line) with the rows added and
    // the staged rows whose key holds other values, then, for each line the
    // function wrote, its row number, records, table, first and last key
    // and digest. $2 the table, $3 the staging table, $4 whether stored keys
    // are skipped (else one refuses the store).
    const QByteArray& insertStatement() const { return insert_; }
    // The same without the comparison, while no stored key is expected: the
    // rows added and the lines.
    const QByteArray& storeStatement() const { return store_; }
    // One row into the staging table as arrays of one ($3...), with its key
    // $1 and hex digest $2 (both null when the table is not listed).
    static QByteArray stageRowStatement(const SinkTable& t, const QByteArray& stage);

    // The binary COPY stream's start and end.
    static std::string header();
    static std::string trailer();
    // Appends one row for the staging table to `out`, with its journal key,
    // raw digest and line (none when `digest` is null); false (and `out` as
    // it was) when a value is not of its column's kind.
    bool encodeStaged(qint64 line, bool first, std::string_view key, const unsigned char* digest, qint32 pack,
                      const SinkRow& row, std::string& out) const;

private:
    SinkTable table_;

    QByteArray stage_, createStage_, dropStage_, copy_, insert_, store_;
};

} // namespace tvq52
