#include "reports/report_check.h"

#include "db/journal_codec.h"
#include "evidence/journal_listing.h"
#include "reports/shown_records.h"

#include <QSet>
#include <algorithm>

namespace tvq52 {

namespace {

using journal_codec::kSeparator;

QString slot(const ShownRecord& r)
{
    return r.table + kSeparator + r.key;
}

// The tables a kind shows, in the order it shows them.
QStringList tablesShown(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Programming:
        return {QStringLiteral("Programacion"), QStringLiteral("IntervaloInhabil"), QStringLiteral("DiaReprogramado"),
                QStringLiteral("DiaBorrado"), QStringLiteral("DiaFinalBateria")};
    case ReportKind::Intervals:
    case ReportKind::Graph:
        return {QStringLiteral("Intervalos")};
    case ReportKind::Sessions:
        return {QStringLiteral("Sesiones")};
    case ReportKind::Exceedances:
        return {QStringLiteral("Intervalos"), QStringLiteral("Sesiones")};
    case ReportKind::Fleet:
        return {QStringLiteral("Flota")};
    }
    return {};
}

QString minuteText(const QDateTime& t)
{
    return t.date().toString(Qt::ISODate) + QLatin1Char(' ') + t.time().toString(QStringLiteral("HH:mm"));
}

// Whether a listed key ("serial date time") starts inside the proof's range,
// compared at the minute as the report's query compares them.
bool keyInRange(const QString& key, const ReportProof& proof)
{
    if (!proof.from.isValid() || !proof.to.isValid())
        return true;
    const QString start = key.section(QLatin1Char(' '), 1, 2);
    return start >= minuteText(proof.from) && start <= minuteText(proof.to);
}

// The report's unit and, when it shows a period, the keys that start in it.
JournalScope journalScope(const ReportProof& proof)
{
    JournalScope scope{proof.serial, {}, {}, 0};
    if (proof.from.isValid() && proof.to.isValid()) {
        const QString unit = QString::number(proof.serial) + QLatin1Char(' ');
        scope.fromKey = unit + minuteText(proof.from);
        scope.toKey = unit + minuteText(proof.to);
    }
    return scope;
}

// The records the report showed, told again from the journal at the
// printed head and the lines the file carried, in the order shown.
Result<QList<ShownRecord>> printedRecords(Database& database, const ReportProof& proof)
{
    const QStringList tables = tablesShown(proof.kind);
    // The journal lists the record tables; the file carries the rest.
    QStringList journaled;
    for (const QString& t : tables)
        if (t != QLatin1String("Flota") && t != QLatin1String("Programacion") && t != QLatin1String("IntervaloInhabil"))
            journaled << t;
    Result<JournalListing> listing = JournalListing();
    if (!journaled.isEmpty()) {
        const JournalScope scope = journalScope(proof);
        listing = journalListingAt(database, proof.head, proof.serial, journaled, scope.fromKey, scope.toKey);
        if (!listing)
            return listing.error();
    }
    QHash<QString, QList<ShownRecord>> byTable;
    for (auto it = listing->digests.cbegin(); it != listing->digests.cend(); ++it) {
        const QString table = it.key().section(kSeparator, 0, 0);
        const QString key = it.key().section(kSeparator, 1);
        if (keyInRange(key, proof))
            byTable[table] << ShownRecord{table, key, it.value()};
    }
    for (const ShownRecord& r : proof.carried)
        byTable[r.table] << r;
    QList<ShownRecord> printed;
    for (const QString& t : tables) {
        QList<ShownRecord> rows = byTable.value(t);
        // Journaled keys begin with the unit and its ISO date and "hh:nn"
        // time: in text order they stand as the report orders them.
        if (journaled.contains(t))
            std::sort(rows.begin(), rows.end(), [](const ShownRecord& a, const ShownRecord& b) { return a.key < b.key; });
        printed << rows;
    }
    return printed;
}

bool bearsOnRecords(const JournalFinding& f, const QSet<QString>& shown)
{
    switch (f.kind) {
    case JournalFinding::Kind::RecordEdited:
    case JournalFinding::Kind::RecordMissing:
    case JournalFinding::Kind::NoProvenance:
        return shown.contains(f.table + kSeparator + f.key);
    case JournalFinding::Kind::TotalsDiffer:
        // Only the programming report prints the totals.
        return std::any_of(shown.cbegin(), shown.cend(),
                           [](const QString& s) { return s.startsWith(QStringLiteral("Programacion") + kSeparator); });
    default:
        return true; // the chain itself
    }
}

} // namespace

Result<ReportCheck> checkReport(Database& database, const ReportProof& proof)
{
    ReportCheck check;
    QList<ShownRecord> now;
    const Status read = eachShownRecord(database, scopeOf(proof), [&](const ShownRecord& r, bool) {
        now << r;
        return Status();
    });
    if (!read)
        return read.error();
    check.recordsNow = now.size();
    check.recordsMatch = digestOf(now) == proof.digest && check.recordsNow == proof.records;

    // The overview names no unit: its check is the chain's alone (0 is no unit).
    const JournalVerification verified = Journal(database).verify(journalScope(proof), proof.head);
    QSet<QString> shown;
    for (const ShownRecord& r : now)
        shown.insert(slot(r));

    Result<QList<ShownRecord>> printed = QList<ShownRecord>();
    bool headKnown = true;
    for (const JournalFinding& f : verified.findings)
        if (f.kind == JournalFinding::Kind::HeadMissing)
            headKnown = false;
    if (headKnown) {
        printed = printedRecords(database, proof);
        if (!printed)
            return printed.error();
        check.named = digestOf(*printed) == proof.digest;
    }
    if (check.named)
        for (const ShownRecord& r : *printed)
            shown.insert(slot(r));
    for (const JournalFinding& f : verified.findings) {
        if (f.kind == JournalFinding::Kind::HeadMissing)
            check.headInChain = false;
        if (bearsOnRecords(f, shown))
            check.findings << f;
    }
    if (!check.named || check.recordsMatch)
        return check;
    QHash<QString, QByteArray> then;
    for (const ShownRecord& r : *printed)
        then.insert(slot(r), r.hash);
    QSet<QString> stillThere;
    for (const ShownRecord& r : now) {
        const auto was = then.constFind(slot(r));
        if (was == then.constEnd())
            check.added << r;
        else if (*was != r.hash)
            check.changed << r;
        stillThere.insert(slot(r));
    }
    for (const ShownRecord& r : *printed)
        if (!stillThere.contains(slot(r)))
            check.removed << r;
    return check;
}

} // namespace tvq52
