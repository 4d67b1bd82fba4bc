#include "db/journal.h"

#include "db/database.h"
#include "db/journal_codec.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <map>

namespace tvq52 {

using namespace journal_codec;

JournalVerification Journal::verify(std::optional<qint32> serial, const QByteArray& keptHead) const
{
    JournalVerification result;
    QSqlDatabase db = database_.connection();
    // One snapshot for the whole check, so a download running meanwhile
    // cannot show up half done.
    const bool snapshot =
        QSqlQuery(db).exec(database_.isServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                                : QStringLiteral("BEGIN"));
    const auto unreadable = [&](const QSqlQuery& q) {
        result.findings.append({JournalFinding::Kind::Unreadable,
                                0,
                                {},
                                {},
                                QStringLiteral("the journal cannot be read: %1").arg(q.lastError().text())});
        if (snapshot)
            QSqlQuery(db).exec(QStringLiteral("COMMIT"));
        return result;
    };

    // Every entry first: which may be trusted, and in which form each hashed its records.
    QHash<qint64, JournalEntry> entries;
    QSet<QByteArray> sealedHashes;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\"").arg(kEntryColumns)))
            return unreadable(q);
        while (q.next()) {
            const JournalEntry e = entryFrom(q);
            entries.insert(e.id, e);
            if (e.sealed())
                sealedHashes.insert(e.hash);
        }
    }
    // Open entries: a running exchange's, one a killed program left (sealed
    // "interrupted" by the next exchange), or one the program never opened.
    QSet<qint64> untrusted;
    for (const JournalEntry& e : std::as_const(entries)) {
        if (e.sealed())
            continue;
        if (!linkHolds(e, sealedHashes)) {
            untrusted.insert(e.id);
            result.findings.append({JournalFinding::Kind::EntryNotOpened,
                                    e.id,
                                    {},
                                    {},
                                    QStringLiteral("open entry without the program's link: not trusted")});
        }
    }

    // The records every trusted entry listed, in the order they were written.
    struct Listed {
        qint64 entry = 0;
        QString digest;
        bool seen = false;
    };
    QHash<QString, Listed> listed; // table + separator + key
    QHash<qint64, QCryptographicHash*> linesHashes;
    std::vector<std::unique_ptr<QCryptographicHash>> hashOwner;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT \"LEntrada\", \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
                                   "ORDER BY rowid")))
            return unreadable(q);
        while (q.next()) {
            const qint64 entry = q.value(0).toLongLong();
            const QString table = q.value(1).toString();
            const QString key = q.value(2).toString();
            const QString digest = q.value(3).toString();
            QCryptographicHash*& h = linesHashes[entry];
            if (!h) {
                hashOwner.push_back(std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256));
                h = hashOwner.back().get();
            }
            h->addData(recordLine(table, key, digest));
            if (untrusted.contains(entry) || !entries.contains(entry))
                continue;
            Listed& l = listed[table + kSeparator + key];
            if (l.entry != 0 && l.entry != entry)
                ++result.recordsRewritten;
            l.entry = entry;
            l.digest = digest;
        }
    }

    // The chain, in the order the entries were sealed.
    QHash<qint32, qint64> lastDeletion;      // serial -> newest deletion entry
    QHash<qint32, QList<qint64>> totalsRead; // serial -> the download entries that read the totals
    bool keptHeadFound = keptHead.isEmpty();
    QHash<QByteArray, int> sealPosition; // hash -> place in the chain, from 1
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"THash\" IS NOT NULL ORDER BY \"LSello\"")
                        .arg(kEntryColumns)))
            return unreadable(q);
        QByteArray previousHash;
        qint64 previousId = 0;
        while (q.next()) {
            const JournalEntry e = entryFrom(q);
            if (e.action == JournalAction::UnitDeletion)
                lastDeletion[e.serial] = std::max(lastDeletion.value(e.serial), e.id);
            if (e.action == JournalAction::Download && !e.totals.isEmpty() && e.serial > 0)
                totalsRead[e.serial] << e.id;
            if (e.previous != previousId)
                result.findings.append({JournalFinding::Kind::ChainBroken,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("chained to entry %1, not %2").arg(e.previous).arg(previousId)});
            const QCryptographicHash* lines = linesHashes.value(e.id);
            const QByteArray linesDigest =
                lines ? lines->result().toHex() : QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex();
            if (entryHash(previousHash, e, linesDigest) != e.hash)
                result.findings.append({JournalFinding::Kind::EntryAltered,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("hash %1 does not match").arg(QString::fromLatin1(e.hash))});
            else if (e.version >= 2 && !linkHolds(e, sealedHashes))
                result.findings.append({JournalFinding::Kind::EntryNotOpened,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("sealed without the program's link")});
            if (e.action == JournalAction::Restart)
                result.findings.append(
                    {JournalFinding::Kind::JournalRestarted,
                     e.id,
                     {},
                     {},
                     QStringLiteral("the journal's tables were missing on %1 and were made again: what was "
                                    "stored before has no provenance")
                         .arg(entryAt(e.at))});
            if (!keptHead.isEmpty() && e.hash == keptHead)
                keptHeadFound = true;
            previousHash = e.hash;
            previousId = e.id;
            result.head = e.hash;
            sealPosition.insert(e.hash, int(sealPosition.size()) + 1);
        }
    }
    if (!keptHeadFound)
        result.findings.append(
            {JournalFinding::Kind::HeadMissing,
             0,
             {},
             {},
             QStringLiteral("the kept head %1 is not in the chain").arg(QString::fromLatin1(keptHead))});

    // Every stored record against the newest entry that listed it.
    for (const char* name : kRecordTables) {
        const TableDef* table = schemaTable(QString::fromUtf8(name));
        const QString tableName = QString::fromUtf8(table->name);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        QString sql = QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(tableName));
        if (serial)
            sql += QLatin1String(" WHERE \"LNumeroSerie\" = ?");
        q.prepare(sql);
        if (serial)
            q.addBindValue(*serial);
        if (!q.exec())
            return unreadable(q);
        const QSqlRecord record = q.record();
        std::vector<int> positions; // schema column -> result column
        for (const ColumnDef& c : table->columns)
            positions.push_back(record.indexOf(QString::fromUtf8(c.name)));
        std::vector<int> keyPositions;
        for (const char* k : table->key)
            keyPositions.push_back(record.indexOf(QString::fromUtf8(k)));
        while (q.next()) {
            QStringList keyParts;
            for (std::size_t i = 0; i < keyPositions.size(); ++i)
                keyParts << canonicalValue(*table->column(QString::fromUtf8(table->key[i])), q.value(keyPositions[i]),
                                           1);
            const QString key = keyParts.join(QLatin1Char(' '));
            auto found = listed.find(tableName + kSeparator + key);
            if (found == listed.end()) {
                ++result.recordsNotJournaled;
                result.findings.append({JournalFinding::Kind::NoProvenance, 0, tableName, key,
                                        QStringLiteral("stored by no download, import or merge of the journal")});
                continue;
            }
            ++result.recordsChecked;
            found->seen = true;
            const JournalEntry& by = entries[found->entry];
            if (!by.sealed())
                ++result.recordsInOpenEntries;
            QStringList parts;
            parts.reserve(qsizetype(positions.size()));
            for (std::size_t i = 0; i < positions.size(); ++i)
                parts << (positions[i] < 0 ? QString()
                                           : canonicalValue(table->columns[i], q.value(positions[i]), by.version));
            const QString digest = QString::fromLatin1(sha256Hex(parts.join(kSeparator).toUtf8()));
            if (digest != found->digest)
                result.findings.append({JournalFinding::Kind::RecordEdited, found->entry, tableName, key,
                                        QStringLiteral("values differ from entry %1").arg(found->entry)});
        }
    }

    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (it->seen)
            continue;
        const QString table = it.key().section(kSeparator, 0, 0);
        const QString key = it.key().section(kSeparator, 1);
        const qint32 unit = key.section(QLatin1Char(' '), 0, 0).toInt();
        if (serial && unit != *serial)
            continue;
        if (lastDeletion.value(unit) > it->entry)
            continue;
        result.findings.append({JournalFinding::Kind::RecordMissing, it->entry, table, key,
                                QStringLiteral("listed by entry %1, not stored").arg(it->entry)});
    }

    // Each unit's totals against the last download that read them, or one
    // that was sealed while that one was open (either may have stored last).
    for (auto it = totalsRead.cbegin(); it != totalsRead.cend(); ++it) {
        if ((serial && it.key() != *serial) || lastDeletion.value(it.key()) > it.value().last())
            continue;
        const JournalEntry& last = entries[it.value().last()];
        const qsizetype space = last.link.indexOf(' ');
        const int openedAt = space > 0 ? sealPosition.value(last.link.left(space)) : 0;
        QList<qint64> newest;
        for (qint64 id : it.value())
            if (id == last.id || (space >= 0 && sealPosition.value(entries[id].hash) > openedAt))
                newest << id;
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("SELECT \"LPasadasLocal\", \"LE3\", \"LCB\", \"LPasadasVecino\", \"DFechaTotales\", "
                           "\"THoraTotales\" FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"));
        q.addBindValue(it.key());
        if (!q.exec())
            return unreadable(q);
        if (!q.next())
            continue; // the unit's record went with it; its deletion is journaled
        const QVariant date = q.value(4);
        const QString readAt =
            (date.typeId() == QMetaType::QDate           ? date.toDate().toString(Qt::ISODate)
                 : date.typeId() == QMetaType::QDateTime ? date.toDateTime().date().toString(Qt::ISODate)
                                                         : date.toString().left(10))
            + QLatin1Char(' ') + q.value(5).toString();
        const QString stored = QStringLiteral(
                                   "passes-venue %1\nsensor-inactive %2\nerasures %3\npasses-neighbour "
                                   "%4\nread-at %5")
                                   .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                        q.value(3).toString(), readAt);
        bool matches = false;
        for (qint64 id : newest)
            matches = matches || entries.value(id).totals == stored;
        if (!matches) {
            const QString journaled = entries.value(newest.last()).totals;
            result.findings.append({JournalFinding::Kind::TotalsDiffer, newest.last(), QStringLiteral("Programacion"),
                                    QString::number(it.key()),
                                    QStringLiteral("stored totals \"%1\" differ from entry %2's \"%3\"")
                                        .arg(QString(stored).replace(QLatin1Char('\n'), QStringLiteral("; ")))
                                        .arg(newest.last())
                                        .arg(QString(journaled).replace(QLatin1Char('\n'), QStringLiteral("; ")))});
        }
    }
    if (snapshot)
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    return result;
}

} // namespace tvq52
