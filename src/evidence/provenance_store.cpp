#include "evidence/provenance_store.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "db/journal_tables.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/sql_error.h"

#include <QHashFunctions>
#include <QSqlQuery>
#include <algorithm>
#include <cstring>

namespace tvq52 {

namespace {

constexpr char kListingSeparator = 0x1f;
static_assert(journal_codec::kSeparator == QChar(0x1f));

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

Result<UnitSources> UnitSources::read(Database& database, qint32 serial)
{
    // Each table's lines of the unit through the index on their ends, in
    // either form; a record's newest listing is the highest entry's.
    QSqlDatabase db = database.connection();
    const auto [low, high] = packed_lines::unitKeyBounds(serial);
    const QByteArray lowBytes = low.toUtf8(), highBytes = high.toUtf8();
    const QString collate = database.isServer() ? QStringLiteral(" COLLATE \"C\"") : QString();
    const QString sql =
        QStringLiteral("SELECT r.\"LEntrada\", r.\"TClave\", r.\"TClaveFin\", r.\"BRegistros\" FROM \"Diario\" d "
                       "JOIN \"DiarioRegistros\" r ON r.\"LEntrada\" = d.\"LId\" "
                       "WHERE d.\"THash\" IS NOT NULL AND (d.\"LNumeroSerie\" = ? OR d.\"LNumeroSerie\" IS NULL "
                       "OR d.\"LNumeroSerie\" = 0) AND r.\"TTabla\" = ? AND %1%2 >= ? AND %1%2 < ?")
            .arg(QString::fromLatin1(kJournalLineEndSql), collate);
    UnitSources sources;
    sources.serial_ = serial;
    QByteArray listing;
    const auto take = [&](const QByteArray& table, std::string_view key, qint64 entry) {
        listing = table + kListingSeparator + QByteArray(key.data(), qsizetype(key.size()));
        sources.newest_.emplace_back(sources.hashed(listing), entry);
    };
    for (const char* name : journal_codec::kRecordTables) {
        const QByteArray table(name);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(sql);
        for (const QVariant& v : QVariantList{serial, QString::fromUtf8(name), low, high})
            q.addBindValue(v);
        if (!q.exec())
            return sqlError(q.lastError());
        while (q.next()) {
            const qint64 entry = q.value(0).toLongLong();
            if (q.value(2).isNull()) {
                take(table, q.value(1).toString().toStdString(), entry);
                continue;
            }
            const auto records = packed_lines::unpack(q.value(3).toByteArray());
            if (!records)
                return records.error();
            for (const packed_lines::Record& r : *records)
                if (QByteArrayView(r.key.data(), qsizetype(r.key.size())) >= QByteArrayView(lowBytes)
                    && QByteArrayView(r.key.data(), qsizetype(r.key.size())) < QByteArrayView(highBytes))
                    take(table, r.key, entry);
        }
        if (q.lastError().isValid())
            return sqlError(q.lastError());
    }
    // The newest entry first for each record, then one per record.
    std::sort(sources.newest_.begin(), sources.newest_.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first < b.first : a.second > b.second; });
    sources.newest_.erase(std::unique(sources.newest_.begin(), sources.newest_.end(),
                                      [](const auto& a, const auto& b) { return a.first == b.first; }),
                          sources.newest_.end());
    return sources;
}

bool UnitSources::listed(const TableDef& table)
{
    for (const char* name : journal_codec::kRecordTables)
        if (std::strcmp(name, table.name) == 0)
            return true;
    return false;
}

void UnitSources::count(const TableDef& table, std::string_view key)
{
    lookup_.resize(0);
    lookup_.append(table.name);
    lookup_.append(kListingSeparator);
    lookup_.append(key.data(), qsizetype(key.size()));
    const Hashed h = hashed(lookup_);
    const auto at = std::lower_bound(newest_.begin(), newest_.end(), h,
                                     [](const auto& listed, const Hashed& wanted) { return listed.first < wanted; });
    ++counts_[at != newest_.end() && at->first == h ? at->second : 0];
}

UnitSources::Hashed UnitSources::hashed(QByteArrayView listing) const
{
    return {quint64(qHash(listing, size_t(0x9e3779b97f4a7c15ull))), quint64(qHash(listing, size_t(0x2545f4914f6cdd1dull)))};
}

Result<QList<SourceEntry>> UnitSources::entries(Database& database) const
{
    QList<SourceEntry> entries;
    for (const auto& [entry, records] : counts_) {
        SourceEntry e;
        e.serial = serial_;
        e.entry = entry;
        e.records = records;
        if (entry != 0)
            if (const Status filled = fillEntry(database.connection(), e); !filled)
                return filled.error();
        entries.append(e);
    }
    return entries;
}

} // namespace tvq52
