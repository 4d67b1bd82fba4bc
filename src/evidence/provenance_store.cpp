#include "evidence/provenance_store.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "db/schema.h"
#include "db/sql_error.h"

#include <QHashFunctions>
#include <QSqlQuery>
#include <algorithm>
#include <cstring>

namespace tvq52 {

namespace {

constexpr char kSeparator = 0x1f;
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
    // Keys start with the serial and a blank; the serial is digits only, so
    // the pattern holds no wildcard of its own.
    QSqlQuery q(database.connection());
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
    UnitSources sources;
    sources.serial_ = serial;
    QByteArray listing;
    while (q.next()) {
        listing = q.value(0).toString().toUtf8() + kSeparator + q.value(1).toString().toUtf8();
        sources.newest_.emplace_back(sources.hashed(listing), q.value(2).toLongLong());
    }
    if (q.lastError().isValid())
        return sqlError(q.lastError());
    std::sort(sources.newest_.begin(), sources.newest_.end());
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
    lookup_.append(kSeparator);
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
