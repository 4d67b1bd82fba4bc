#pragma once

#include "core/sha256.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/journal_tables.h"
#include "db/packed_lines.h"
#include "db/store.h"

#include <QSqlQuery>
#include <QStringList>
#include <map>

namespace tvq52::test {

// What an entry's journal lines say, read back: each record as "table key",
// in the order listed, packed lines unpacked. A record whose digest is not
// the one of the stored row of its key reads "table key !", a packed line
// whose bytes are not the ones its digest names "table !". `linesDigest`
// gets the entry's lines digest as the seal takes it.
inline QStringList listedRecords(Database& db, qint64 entry, QByteArray* linesDigest = nullptr)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral("SELECT \"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", \"BRegistros\" "
                             "FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ? ORDER BY rowid"));
    q.addBindValue(entry);
    QStringList listed;
    if (!q.exec())
        return {QStringLiteral("!")};
    std::map<QString, std::map<QString, QByteArray>> stored; // by table, then key: the row's digest
    Sha256 lines;
    while (q.next()) {
        const QString table = q.value(0).toString();
        if (!stored.count(table))
            for (const Row& r : Store(db).select(table, Row(), {}))
                stored[table][journal_codec::keyText(*schemaTable(table), r)] =
                    journal_codec::sha256Hex(canonicalRowText(table, r).toUtf8());
        std::vector<packed_lines::Record> records(1);
        const QByteArray digest = q.value(3).toByteArray();
        if (q.value(4).isNull()) {
            records[0].key = q.value(1).toString().toStdString();
            const QByteArray raw = QByteArray::fromHex(digest);
            std::copy(raw.begin(), raw.end(), records[0].digest.begin());
            lines.add(journal_codec::recordLine(table, q.value(1).toString(), QString::fromLatin1(digest)));
        } else {
            const QByteArray packed = q.value(4).toByteArray();
            auto unpacked = packed_lines::unpack(packed);
            if (!unpacked || packed_lines::packedDigest(packed) != digest)
                listed << table + QStringLiteral(" !");
            records = unpacked ? *unpacked : std::vector<packed_lines::Record>();
            lines.add(packed_lines::lineText(table.toUtf8(), q.value(1).toByteArray(), q.value(2).toByteArray(), digest));
        }
        for (const packed_lines::Record& r : records) {
            const QString key = QString::fromStdString(r.key);
            const QByteArray hex = QByteArray(reinterpret_cast<const char*>(r.digest.data()), r.digest.size()).toHex();
            listed << table + QLatin1Char(' ') + key + (stored[table][key] == hex ? QString() : QStringLiteral(" !"));
        }
    }
    if (linesDigest)
        *linesDigest = lines.result().toHex();
    return listed;
}

} // namespace tvq52::test
