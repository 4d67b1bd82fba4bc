#include "evidence/journal_listing.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/journal_tables.h"
#include "db/packed_lines.h"
#include "db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

Result<JournalListing> journalListingAt(Database& database, const QByteArray& head, qint32 serial,
                                        const QStringList& tables, const QString& fromKey, const QString& toKey)
{
    JournalListing listing;
    if (head.isEmpty())
        return listing; // an empty journal had listed nothing
    QSqlQuery at(database.connection());
    at.prepare(QStringLiteral("SELECT \"LSello\" FROM \"Diario\" WHERE \"THash\" = ?"));
    at.addBindValue(QString::fromLatin1(head));
    if (!at.exec())
        return sqlError(at.lastError());
    if (!at.next())
        return ownWords(QStringLiteral("El diario no contiene la cabeza %1"), {QString::fromLatin1(head)});
    const qint64 sealedAt = at.value(0).toLongLong();

    // The unit's newest deletion up to then: what was listed before it is gone.
    QSqlQuery deletion(database.connection());
    deletion.prepare(QStringLiteral("SELECT MAX(\"LId\") FROM \"Diario\" WHERE \"TAccion\" = ? AND "
                                    "\"LNumeroSerie\" = ? AND \"THash\" IS NOT NULL AND \"LSello\" <= ?"));
    deletion.addBindValue(journalActionName(JournalAction::UnitDeletion));
    deletion.addBindValue(serial);
    deletion.addBindValue(sealedAt);
    if (!deletion.exec() || !deletion.next())
        return sqlError(deletion.lastError());
    const qint64 deletedBy = deletion.value(0).toLongLong();

    // Downloads list one unit; imports, merges and the adoption list many
    // and name none. Lines in the order written, so the newest listing
    // wins; each table's through the index on the lines' ends.
    const auto [unitLow, unitHigh] = packed_lines::unitKeyBounds(serial);
    const QString low = fromKey.isEmpty() ? unitLow : fromKey;
    const QString collate = database.isServer() ? QStringLiteral(" COLLATE \"C\"") : QString();
    QString sql = QStringLiteral(
                      "SELECT r.\"TClave\", r.\"TClaveFin\", r.\"THuella\", r.\"BRegistros\" FROM \"DiarioRegistros\" r "
                      "JOIN \"Diario\" d ON d.\"LId\" = r.\"LEntrada\" "
                      "WHERE d.\"THash\" IS NOT NULL AND d.\"LSello\" <= ? AND d.\"LId\" > ? "
                      "AND (d.\"LNumeroSerie\" = ? OR d.\"LNumeroSerie\" IS NULL) AND r.\"TTabla\" = ? "
                      "AND %1%2 >= ? AND %1%2 < ?")
                      .arg(QString::fromLatin1(kJournalLineEndSql), collate);
    if (!toKey.isEmpty())
        sql += QStringLiteral(" AND r.\"TClave\"%1 <= ?").arg(collate);
    sql += QLatin1String(" ORDER BY r.rowid");
    const QString separator(journal_codec::kSeparator);
    const auto inRange = [&](const QString& key) {
        return key >= low && key < unitHigh && (toKey.isEmpty() || key <= toKey);
    };
    for (const QString& table : tables) {
        QSqlQuery lines(database.connection());
        lines.setForwardOnly(true);
        lines.prepare(sql);
        for (const QVariant& v : QVariantList{sealedAt, deletedBy, serial, table, low, unitHigh})
            lines.addBindValue(v);
        if (!toKey.isEmpty())
            lines.addBindValue(toKey);
        if (!lines.exec())
            return sqlError(lines.lastError());
        while (lines.next()) {
            if (lines.value(1).isNull()) {
                listing.digests.insert(table + separator + lines.value(0).toString(),
                                       lines.value(2).toString().toLatin1());
                continue;
            }
            const auto records = packed_lines::unpack(lines.value(3).toByteArray());
            if (!records)
                return records.error();
            for (const packed_lines::Record& r : *records) {
                const QString key = QString::fromStdString(r.key);
                if (inRange(key))
                    listing.digests.insert(
                        table + separator + key,
                        QByteArray(reinterpret_cast<const char*>(r.digest.data()), packed_lines::kDigestBytes).toHex());
            }
        }
        if (lines.lastError().isValid())
            return sqlError(lines.lastError());
    }
    return listing;
}

} // namespace tvq52
