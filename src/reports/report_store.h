#pragma once

#include "core/error.h"
#include "db/database.h"
#include "db/store.h"
#include "records/recorded_data.h"
#include "reports/exceedance_summary.h"
#include "reports/level_graph.h"

#include <QDateTime>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>
#include <vector>

class QSqlQuery;

namespace tvq52 {

class Database;

// One stored non-working interval, its texts as kept ("dd/mm/yy", "hh:nn").
struct StoredNonWorkingInterval {
    int number = 0;
    QString startDate;
    QString startTime;
    QString endDate;
    QString endTime;
};

// The columns of a query's rows by name, looked up once. A name the rows do
// not carry is an error naming it, never a read of some other column.
class NamedColumns {
public:
    static Result<NamedColumns> of(const QSqlRecord& record, const QStringList& names);
    // The value of `name`, which must be one of the names given.
    QVariant value(const QSqlQuery& row, const QString& name) const;
    // The value of the names' `k`th: no lookup per value, for reads of many rows.
    QVariant value(const QSqlQuery& row, int k) const;

private:
    QHash<QString, int> at_;
    std::vector<int> byOrder_;
};

// Reads Intervalos rows by column name: the one reader of the graphs and the
// exceedance summary. A null limit reads as `noLimit` (the graph's empty 0,
// the summary's 255).
class IntervalReader {
public:
    static const QStringList& columns();
    static Result<IntervalReader> of(const QSqlRecord& record, int noLimit);
    GraphRecord read(const QSqlQuery& row) const;

private:
    IntervalReader(NamedColumns columns, int noLimit) : columns_(std::move(columns)), noLimit_(noLimit) {}
    NamedColumns columns_;
    int noLimit_ = 0;
};

// The unit's rows of `table` (Intervalos or Sesiones) whose start lies in
// [from, to], both ends included; the range is compared as date and time
// values, never through a text round trip, and every value is bound. An
// empty `columns` selects every column; a name the table lacks is an error.
struct RangeQuery {
    QString sql;
    QVariantList binds;
};
Result<RangeQuery> rowsStartingIn(const QString& table, const QStringList& columns, qint32 serial,
                                  const QDateTime& from, const QDateTime& to, SqlDialect dialect);

// What the reports read and write. Every statement the reports run is here.
class ReportStore {
public:
    explicit ReportStore(Database& database)
        : database_(database), store_(database), settings_(database.settingsDatabase())
    {}

    // The unit's stored programming; an error when there is none.
    Result<Row> programming(qint32 serial) const;
    // Its non-working intervals in interval order.
    Result<std::vector<StoredNonWorkingInterval>> nonWorkingIntervals(qint32 serial) const;
    // The settings row keeps the last listing printed: this PC's row, in the
    // data folder's own file even when the records are on a server.
    Status writeMemo(const QString& listing);

    // Rows as the database gives them, by column name, for the report
    // engine's record sources.
    using Rows = std::vector<Row>;
    // The unit's Programacion row (none when it is not stored).
    Result<Rows> programmingRows(qint32 serial) const;
    // The unit's intervals or sessions that start in [from, to], oldest
    // first, and one of its three event-date lists, oldest first: handed to
    // `take` one at a time as they are read, never all held. A failure of
    // `take` stops the reading and is what these return.
    using RowTake = std::function<Status(const QSqlQuery& row)>;
    Status eachRecordStartingIn(RecordKind kind, qint32 serial, const QDateTime& from, const QDateTime& to,
                                const RowTake& take) const;
    Status eachEventDate(EventKind list, qint32 serial, const RowTake& take) const;
    // The unit's Programacion row, then its non-working intervals in
    // interval order, handed over whole (every column).
    Status eachProgrammingRow(qint32 serial, const RowTake& take) const;
    Status eachNonWorkingRow(qint32 serial, const RowTake& take) const;
    // How many there are.
    Result<qint64> countStartingIn(RecordKind kind, qint32 serial, const QDateTime& from, const QDateTime& to) const;

    // The unit's programmed night (unset when it has none).
    Result<NightHours> nightHours(qint32 serial) const;
    // The summary's figures of the intervals and sessions that start in [from, to].
    Result<std::vector<IntervalFigures>> intervalFigures(qint32 serial, const QDateTime& from,
                                                         const QDateTime& to) const;
    Result<std::vector<SessionFigures>> sessionFigures(qint32 serial, const QDateTime& from, const QDateTime& to) const;

private:
    // Runs `sql` with `binds` and hands every row to `take`, which may stop it.
    Status query(const QString& sql, const QVariantList& binds,
                 const std::function<Status(const QSqlQuery& row)>& take) const;
    Result<Rows> rows(const QString& sql, const QVariantList& binds) const;
    Status inRange(const QString& table, const QStringList& columns, qint32 serial, const QDateTime& from,
                   const QDateTime& to, const std::function<Status(const QSqlQuery& row)>& take) const;

    Database& database_;
    Store store_;
    Store settings_;
};

} // namespace tvq52
