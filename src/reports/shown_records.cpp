#include "reports/shown_records.h"

#include "core/sha256.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/schema.h"
#include "evidence/journal.h"
#include "records/fleet.h"
#include "records/recorded_data.h"
#include "reports/report_store.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>
#include <algorithm>

namespace tvq52 {

namespace {

const QString kFleetTable = QStringLiteral("Flota");

// A row read back, as the journal lists it: the row journal_codec::rowFrom
// makes, with the query's column names read once, not for every row.
ShownRecord shownRow(const QString& table, const QSqlQuery& q, QStringList& names)
{
    if (names.isEmpty()) {
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
            names << record.fieldName(i);
    }
    Row row;
    for (qsizetype i = 0; i < names.size(); ++i)
        row.set(names[i], q.value(int(i)));
    return {table, journal_codec::keyText(*schemaTable(table), row),
            journal_codec::sha256Hex(canonicalRowText(table, row).toUtf8())};
}

ReportStore::RowTake takeAs(const QString& table, bool journaled, const ShownTake& take)
{
    return [table, journaled, &take, names = QStringList()](const QSqlQuery& q) mutable {
        return take(shownRow(table, q, names), journaled);
    };
}

Status eachInRange(const ReportStore& store, RecordKind kind, const ReportScope& s, const ShownTake& take)
{
    return store.eachRecordStartingIn(kind, s.serial, s.from, s.to, takeAs(recordTable(kind), true, take));
}

Status eachFleetUnit(Database& database, const ReportScope& scope, const ShownTake& take)
{
    FleetOptions options;
    options.now = scope.printed.isValid() ? scope.printed.toLocalTime() : QDateTime::currentDateTime();
    Result<std::vector<FleetUnit>> units = loadFleet(database, options);
    if (!units)
        return units.error();
    std::sort(units->begin(), units->end(), [](const FleetUnit& a, const FleetUnit& b) { return a.serial < b.serial; });
    for (const FleetUnit& u : *units)
        if (Status taken = take({kFleetTable, QString::number(u.serial),
                                 journal_codec::sha256Hex(fleetRowText(u).toUtf8())},
                                false);
            !taken)
            return taken;
    return {};
}

} // namespace

QString fleetRowText(const FleetUnit& u)
{
    const auto when = [](const std::optional<QDateTime>& t) {
        return t ? t->toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
    };
    const QStringList fields{QString::number(u.serial),
                             u.venue,
                             u.phone,
                             u.firmware,
                             when(u.lastDownload),
                             u.lastOutcome,
                             QString::number(u.recordsStored),
                             QString::number(u.erasuresSincePrevious),
                             QString::number(u.batteryEndsSincePrevious),
                             QString::number(u.reprogrammingsSincePrevious),
                             u.reprogrammedElsewhere ? QStringLiteral("1") : QStringLiteral("0"),
                             QString::number(u.exceedanceNights),
                             u.journalOk ? QStringLiteral("1") : QStringLiteral("0"),
                             when(u.journalCheckedAt)};
    return fields.join(journal_codec::kSeparator);
}

Status eachShownRecord(Database& database, const ReportScope& scope, const ShownTake& take)
{
    const ReportStore store(database);
    switch (scope.kind) {
    case ReportKind::Programming: {
        if (Status read = store.eachProgrammingRow(scope.serial, takeAs(QStringLiteral("Programacion"), false, take));
            !read)
            return read;
        if (Status read = store.eachNonWorkingRow(scope.serial, takeAs(QStringLiteral("IntervaloInhabil"), false, take));
            !read)
            return read;
        // In the order the report's lists stand on the page.
        for (EventKind list : {EventKind::Reprogramming, EventKind::Erasure, EventKind::BatteryEnd})
            if (Status read = store.eachEventDate(list, scope.serial, takeAs(eventTable(list), true, take)); !read)
                return read;
        return {};
    }
    case ReportKind::Intervals:
    case ReportKind::Graph:
        return eachInRange(store, RecordKind::Intervals, scope, take);
    case ReportKind::Sessions:
        return eachInRange(store, RecordKind::Sessions, scope, take);
    case ReportKind::Exceedances:
        if (Status read = eachInRange(store, RecordKind::Intervals, scope, take); !read)
            return read;
        return eachInRange(store, RecordKind::Sessions, scope, take);
    case ReportKind::Fleet:
        return eachFleetUnit(database, scope, take);
    }
    return {};
}

Result<ShownDigest> digestShownRecords(Database& database, const ReportScope& scope)
{
    ShownDigest shown;
    Sha256 hash;
    const Status read = eachShownRecord(database, scope, [&](const ShownRecord& r, bool journaled) {
        hash.add(shownLine(r));
        ++shown.records;
        if (!journaled)
            shown.carried << r;
        return Status();
    });
    if (!read)
        return read.error();
    shown.digest = hash.result().toHex();
    return shown;
}

Result<ReportProof> makeReportProof(Database& database, ReportScope scope)
{
    if (!scope.printed.isValid())
        scope.printed = QDateTime::currentDateTimeUtc();
    // To the second, as the file keeps it: the overview's figures are
    // worked out again from this moment.
    scope.printed = QDateTime::fromSecsSinceEpoch(scope.printed.toSecsSinceEpoch(), Qt::UTC);
    // The head before the records: a download sealed in between shows as a
    // later head, never as records the printed head does not hold.
    const Result<QByteArray> head = Journal(database).head();
    if (!head)
        return head.error();
    const Result<ShownDigest> shown = digestShownRecords(database, scope);
    if (!shown)
        return shown.error();
    ReportProof proof;
    proof.kind = scope.kind;
    proof.serial = scope.serial;
    if (scope.kind != ReportKind::Programming && scope.kind != ReportKind::Fleet) {
        proof.from = scope.from;
        proof.to = scope.to;
    }
    proof.printed = scope.printed;
    proof.digest = shown->digest;
    proof.head = *head;
    proof.records = shown->records;
    proof.carried = shown->carried;
    return proof;
}

ReportScope scopeOf(const ReportProof& proof)
{
    return {proof.kind, proof.serial, proof.from, proof.to, proof.printed};
}

} // namespace tvq52
