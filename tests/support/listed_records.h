#pragma once

#include "core/sha256.h"
#include "db/journal_codec.h"
#include "db/journal_tables.h"
#include "db/packed_lines.h"
#include "support/result_checks.h"

#include <QSqlQuery>
#include <map>

namespace tvq52::test {

// An entry's journal lines read back: each record as "table key", in the
// order listed, packed lines unpacked; "table key !" when its digest is not
// the one of the stored row of its key, "table !" for a packed line whose
// digest does not cover its bytes. `linesDigest`: the digest the seal takes.
inline QStringList listedRecords(Database& db, qint64 entry, QByteArray* linesDigest = nullptr)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral("SELECT \"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", \"BRegistros\" "
                             "FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ? ORDER BY rowid"));
    q.addBindValue(entry);
    if (!q.exec())
        return {QStringLiteral("!")};
    std::map<QString, std::map<QString, QByteArray>> stored; // by table and key: the stored row's digest
    QStringList listed;
    const auto list = [&](const QString& table, const QString& key, const QByteArray& hex) {
        listed << table + QLatin1Char(' ') + key + (stored[table][key] == hex ? QString() : QStringLiteral(" !"));
    };
    Sha256 lines;
    while (q.next()) {
        const QString table = q.value(0).toString();
        const QByteArray key = q.value(1).toByteArray(), digest = q.value(3).toByteArray();
        if (!stored.count(table))
            for (const Row& r : test::take(Store(db).select(table, Row(), {})))
                stored[table][journal_codec::keyText(*schemaTable(table), r)] =
                    journal_codec::sha256Hex(canonicalRowText(table, r).toUtf8());
        if (q.value(4).isNull()) {
            lines.add(journal_codec::recordLine(table, QString::fromUtf8(key), QString::fromLatin1(digest)));
            list(table, QString::fromUtf8(key), digest);
            continue;
        }
        const QByteArray packed = q.value(4).toByteArray();
        lines.add(packed_lines::lineText(table.toUtf8(), key, q.value(2).toByteArray(), digest));
        const auto records = packed_lines::unpack(packed);
        if (!records || packed_lines::packedDigest(packed) != digest)
            listed << table + QStringLiteral(" !");
        for (const packed_lines::Record& r : records ? *records : std::vector<packed_lines::Record>())
            list(table, QString::fromStdString(r.key),
                 QByteArray(reinterpret_cast<const char*>(r.digest.data()), qsizetype(r.digest.size())).toHex());
    }
    if (linesDigest)
        *linesDigest = lines.result().toHex();
    return listed;
}

} // namespace tvq52::test
