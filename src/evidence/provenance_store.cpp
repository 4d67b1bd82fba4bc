#include "evidence/provenance_store.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "db/schema.h"
#include "db/sql_error.h"

#include <QHash>
#include <QSqlQuery>
#include <map>

namespace tvq52 {

namespace {

using journal_codec::kSeparator;

// For each record of the unit a sealed entry listed (table, separator, key):
// the newest such entry.
Result<QHash<QString, qint64>> newestListings(QSqlDatabase db, qint32 serial)
{
    // Keys start with the serial and a blank; the serial is digits only, so
    // the pattern holds no wildcard of its own.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT r.\"TTabla\", r.\"TClave\", max(r.\"LEntrada\") FROM \"Diario\" d "
                       "JOIN \"DiarioRegistros\" r ON r.\"LEntrada\" = d.\"LId\" "
                       "WHERE d.\"THash\" IS NOT NULL AND (d.\"LNumeroSerie\" = ? OR d.\"LNumeroSerie\" IS NULL "
                       "OR d.\"LNumeroSerie\" = 0) AND r.\"TClave\" LIKE ? "
                       "GROUP BY r.\"TTabla\", r.\"TClave\""));
    q.addBindValue(serial);
    q.addBindValue(QString::number(serial) + QStringLiteral(" %"));
    if (!q.exec())
        return sqlError(q.lastError());
    QHash<QString, qint64> newest;
    while (q.next())
        newest.insert(q.value(0).toString() + kSeparator + q.value(1).toString(), q.value(2).toLongLong());
    if (q.lastError().isValid())
        return sqlError(q.lastError());
    return newest;
}

Status fillEntry(QSqlDatabase db, SourceEntry& e)
{
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT \"TAccion\", \"TFechaHora\", \"TResultado\", \"THash\" FROM \"Diario\" "
                       "WHERE \"LId\" = ?"));
    q.addBindValue(e.entry);
    if (!q.exec())
        return sqlError(q.lastError());
    if (q.next()) {
        e.action = q.value(0).toString();
        e.at = q.value(1).toString();
        e.outcome = q.value(2).toString();
        e.hash = q.value(3).toString().toLatin1();
    }
    return {};
}

} // namespace

Result<QList<SourceEntry>> unitSourceEntries(Database& database, qint32 serial)
{
    QSqlDatabase db = database.connection();
    const Result<QHash<QString, qint64>> newest = newestListings(db, serial);
    if (!newest)
        return newest.error();
    std::map<qint64, qint64> counts; // entry -> records
    for (const char* name : journal_codec::kRecordTables) {
        const TableDef& table = *schemaTable(QString::fromUtf8(name));
        QStringList keyColumns;
        for (const char* k : table.key)
            keyColumns << quoteIdentifier(QString::fromUtf8(k));
        // Only the key columns: the records themselves are read once, as they are written.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE \"LNumeroSerie\" = ?")
                      .arg(keyColumns.join(QStringLiteral(", ")), quoteIdentifier(QString::fromUtf8(name))));
        q.addBindValue(serial);
        if (!q.exec())
            return sqlError(q.lastError());
        const QString prefix = QString::fromUtf8(name) + kSeparator;
        while (q.next()) {
            QStringList parts;
            for (int i = 0; i < int(table.key.size()); ++i)
                parts << journal_codec::canonicalValue(*table.column(QString::fromUtf8(table.key[i])), q.value(i), 1);
            ++counts[newest->value(prefix + parts.join(QLatin1Char(' ')), 0)];
        }
        if (q.lastError().isValid())
            return sqlError(q.lastError());
    }
    QList<SourceEntry> entries;
    for (const auto& [entry, records] : counts) {
        SourceEntry e;
        e.serial = serial;
        e.entry = entry;
        e.records = records;
        if (entry != 0)
            if (const Status filled = fillEntry(db, e); !filled)
                return filled.error();
        entries.append(e);
    }
    return entries;
}

} // namespace tvq52
