#pragma once

#include "db/record_writer.h"
#include "db/sqlite_statement.h"

namespace tvq52 {

// Records into a database file straight through SQLite: the unit waits for
// the commit before its ACK, and QSqlQuery spends more on binding a record's
// values and reading its row back than SQLite spends storing it. The write
// lock is taken as the transaction opens, then the unit and the key are
// looked up under it.
class SqliteRecordWriter final : public RecordWriter {
public:
    explicit SqliteRecordWriter(Database& database) : RecordWriter(false), database_(database) {}

    Result<KeyedWrite> put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                           const Listing& list) override;
    Status updateUnit(qint32 serial, const Row& values) override;

private:
    struct Shape : RecordShape {
        QString find, upsert, upsertReturningRow;
        SqliteStatement fileFind, fileUpsert, fileUpsertReturningRow;
        // The columns of the row the upsert hands back.
        std::vector<const ColumnDef*> returned;
    };
    static Shape makeShape(RecordShape shape);
    // The statements on the current connection, made again when it was replaced.
    Status prepare(Shape& s, bool returningRow);
    Status prepared(SqliteStatement& statement, const QString& sql);
    // The steps inside the open transaction, its commit included.
    Result<KeyedWrite> written(Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                               const Listing& list);
    Status unitStored(qint32 serial);
    Result<bool> found(Shape& s, const QVariantList& values);
    Status markedNight(const Shape& s, const QVariantList& values);

    Database& database_;
    sqlite3* connection_ = nullptr;
    SqliteStatement begin_, commit_, rollback_, unit_, night_;
    RecordShapes<Shape> shapes_;
};

} // namespace tvq52
