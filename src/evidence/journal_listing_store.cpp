#include "evidence/journal_listing.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

Result<JournalListing> journalListingAt(Database& database, const QByteArray& head, qint32 serial,
                                        const QStringList& tables)
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
    // and name none. Lines in the order written, so the newest listing wins.
    QSqlQuery lines(database.connection());
    lines.setForwardOnly(true);
    lines.prepare(QStringLiteral(
        "SELECT r.\"TTabla\", r.\"TClave\", r.\"THuella\" FROM \"DiarioRegistros\" r "
        "JOIN \"Diario\" d ON d.\"LId\" = r.\"LEntrada\" "
        "WHERE d.\"THash\" IS NOT NULL AND d.\"LSello\" <= ? AND d.\"LId\" > ? "
        "AND (d.\"LNumeroSerie\" = ? OR d.\"LNumeroSerie\" IS NULL) AND r.\"TClave\" LIKE ? "
        "ORDER BY r.rowid"));
    lines.addBindValue(sealedAt);
    lines.addBindValue(deletedBy);
    lines.addBindValue(serial);
    lines.addBindValue(QString::number(serial) + QStringLiteral(" %"));
    if (!lines.exec())
        return sqlError(lines.lastError());
    const QString separator(journal_codec::kSeparator);
    while (lines.next()) {
        const QString table = lines.value(0).toString();
        if (!tables.contains(table))
            continue;
        listing.digests.insert(table + separator + lines.value(1).toString(), lines.value(2).toString().toLatin1());
    }
    if (lines.lastError().isValid())
        return sqlError(lines.lastError());
    return listing;
}

} // namespace tvq52
