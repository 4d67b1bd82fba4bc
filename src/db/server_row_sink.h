#pragma once

#include "db/row_sink.h"
#include "db/server_bulk.h"

#include <QHash>
#include <QSqlDatabase>
#include <map>

namespace tvq52 {

// Rows into a PostgreSQL server go in batches: one statement per batch
// inserts the rows whose key is missing and gives back the stored values of
// the others. Each column travels as one array parameter, so that the
// statement is prepared once and a batch costs one round trip whatever its
// size. Each batch is its own transaction; the server stores one batch while
// the next is read. The rows added are listed in the journal at the end, by
// row number.
class ServerRowSink final : public RowSink {
public:
    ServerRowSink(Database& database, int batchRows);

    bool valid() const { return bulk_.valid(); }
    bool prepare(const std::vector<SinkTable>& tables, Journal& journal, qint64 entry) override;
    bool begin() override { return true; }
    void add(size_t table, qint64 line, const QVariantList& values) override;
    void finish(qint64 line) override;
    Status listAdded() override;

private:
    struct Pending {
        qint64 line;
        QVariantList values;
    };
    using RowRefs = std::vector<const QVariantList*>;

    void flush();
    void collect();
    bool send(size_t table, const RowRefs& rows, QString* error);
    bool complete(size_t table, const RowRefs& rows, const ServerBulk::Answer& r, bool needHolds);
    bool readHolds(size_t table, const RowRefs& present);
    void writeOne(size_t table, const Pending& p);
    void countAgainst(size_t table, const QVariantList& values, const QVariantList* stored);
    QByteArray keyText(size_t table, const QVariantList& values) const;
    void fail(const DatabaseFailure& why, qint64 line);

    Database& database_;
    QSqlDatabase db_;
    ServerBulk bulk_;
    int batchRows_;
    qint64 entry_ = 0;
    std::vector<SinkTable> tables_;
    std::map<QString, qint64> lastRows_; // before the first row: the rows after them are ours
    size_t section_ = 0;
    std::vector<Pending> pending_;
    QHash<QByteArray, QVariantList> holds_; // by key: what the batch's keys hold now
    struct Sent {
        size_t table = 0;
        std::vector<Pending> rows;
        RowRefs first, later;
        bool active = false; // counted yet?
    } sent_;
};

} // namespace tvq52
