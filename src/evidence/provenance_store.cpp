#include "evidence/provenance_store.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "db/journal_tables.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/sql_error.h"

#include <QHash>
#include <QSqlQuery>
#include <algorithm>
#include <map>

namespace tvq52 {

namespace {

using journal_codec::kSeparator;

// For each record of the unit a sealed entry listed (table, separator, key):
// the newest such entry. Each table's lines through the index on their ends.
Result<QHash<QString, qint64>> newestListings(QSqlDatabase db, qint32 serial, bool server)
{
    const auto [low, high] = packed_lines::unitKeyBounds(serial);
    const QString collate = server ? QStringLiteral(" COLLATE \"C\"") : QString();
    const QString sql =
        QStringLiteral("SELECT r.\"LEntrada\", r.\"TClave\", r.\"TClaveFin\", r.\"BRegistros\" FROM \"Diario\" d "
                       "JOIN \"DiarioRegistros\" r ON r.\"LEntrada\" = d.\"LId\" "
                       "WHERE d.\"THash\" IS NOT NULL AND (d.\"LNumeroSerie\" = ? OR d.\"LNumeroSerie\" IS NULL "
                       "OR d.\"LNumeroSerie\" = 0) AND r.\"TTabla\" = ? AND %1%2 >= ? AND %1%2 < ?")
            .arg(QString::fromLatin1(kJournalLineEndSql), collate);
    QHash<QString, qint64> newest;
    const auto take = [&](const QString& slot, qint64 entry) {
        qint64& at = newest[slot];
        at = std::max(at, entry);
    };
    for (const char* name : journal_codec::kRecordTables) {
        const QString table = QString::fromUtf8(name);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(sql);
        for (const QVariant& v : QVariantList{serial, table, low, high})
            q.addBindValue(v);
        if (!q.exec())
            return sqlError(q.lastError());
        const QString prefix = table + kSeparator;
        while (q.next()) {
            const qint64 entry = q.value(0).toLongLong();
            if (q.value(2).isNull()) {
                take(prefix + q.value(1).toString(), entry);
                continue;
            }
            const auto records = packed_lines::unpack(q.value(3).toByteArray());
            if (!records)
                return records.error();
            for (const packed_lines::Record& r : *records) {
                const QString key = QString::fromStdString(r.key);
                if (key >= low && key < high)
                    take(prefix + key, entry);
            }
        }
        if (q.lastError().isValid())
            return sqlError(q.lastError());
    }
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
    const Result<QHash<QString, qint64>> newest = newestListings(db, serial, database.isServer());
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
