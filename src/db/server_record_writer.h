#pragma once

#include "db/record_writer.h"
#include "db/statement_cache.h"

namespace tvq52 {

// Records onto a server through the program's functions: the put function
// writes the record holding the unit's row (FOR SHARE), tells an inserted
// row from an updated one and writes nothing when the unit is gone, in one
// round trip. A record without a journal line or a night to mark is that
// one statement, atomic by itself; the others open a transaction around it.
class ServerRecordWriter final : public RecordWriter {
public:
    explicit ServerRecordWriter(Database& database) : RecordWriter(true), database_(database), statements_(database) {}

    Result<KeyedWrite> put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                           const Listing& list) override;
    Status updateUnit(qint32 serial, const Row& values) override;

private:
    struct Shape : RecordShape {
        QString put;
    };
    static Shape makeShape(RecordShape shape);
    // The steps after the transaction opened, its commit included.
    Result<KeyedWrite> written(const Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                               const Listing& list, bool transaction);
    Result<QSqlQuery*> run(const QString& sql, const QVariantList& binds);
    Status execute(const QString& sql);
    // The last statement's failure with the database's words in `failed`.
    Error lastFailure(const Error& failed) const;

    Database& database_;
    // Prepared once per statement text.
    StatementCache statements_;
    RecordShapes<Shape> shapes_;
};

} // namespace tvq52
