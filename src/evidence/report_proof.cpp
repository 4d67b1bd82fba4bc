#include "evidence/report_proof.h"

#include "core/sha256.h"
#include "db/journal_codec.h"

namespace tvq52 {

namespace {

constexpr const char* kKindNames[] = {"programming", "intervals", "sessions", "exceedances", "graph", "fleet"};

} // namespace

QString reportKindName(ReportKind kind)
{
    return QLatin1String(kKindNames[int(kind)]);
}

std::optional<ReportKind> reportKindFromName(const QString& name)
{
    for (int k = 0; k < int(std::size(kKindNames)); ++k)
        if (name == QLatin1String(kKindNames[k]))
            return ReportKind(k);
    return std::nullopt;
}

QByteArray shownLine(const ShownRecord& record)
{
    return journal_codec::recordLine(record.table, record.key, QString::fromLatin1(record.hash));
}

QByteArray digestOf(const QList<ShownRecord>& records)
{
    Sha256 hash;
    for (const ShownRecord& r : records)
        hash.add(shownLine(r));
    return hash.result().toHex();
}

} // namespace tvq52
