#pragma once

#include "db/schema.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace tvq52 {

class Database;

// The unit's rows of `table` (Intervalos or Sesiones) whose start lies in
// [from, to], both ends included; the range is compared as date and time
// values, never through a text round trip, and every value is bound.
struct RangeQuery {
    QString sql; // "SELECT <columns> FROM <table> WHERE ... ORDER BY start"
    QVariantList binds;
};
RangeQuery rowsStartingIn(const QString& table, const QStringList& columns, qint32 serial, const QDateTime& from,
                          const QDateTime& to, SqlDialect dialect);

// Number of such rows; -1 and `error` set on a database failure.
qint64 countStartingIn(Database& database, const QString& table, qint32 serial, const QDateTime& from,
                       const QDateTime& to, QString* error);

} // namespace tvq52
