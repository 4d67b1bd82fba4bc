#pragma once

// Databases of journaled intervals as the program itself leaves them, and
// the command line program run on them, for the benchmarks that time the
// journal's checks at scale.

#include "app/data_folder.h"
#include "bench_database.h"
#include "core/own_words.h"
#include "db/database.h"
#include "db/row_sink.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "records/record_store.h"
#include "records/recorded_data.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <cstdio>

namespace tvq52::bench {

// A two-minute interval as a unit records it, every figure filled.
inline IntervalRecord intervalAt(const QDateTime& start, int minutes = 2)
{
    IntervalRecord r;
    r.start = start;
    r.end = start.addSecs(60 * minutes);
    r.leqMinutes = minutes;
    r.leqVenue = 87.1f;
    r.leqNeighbour = 45.2f;
    r.stats.maxLeq1 = 93.4f;
    r.stats.maxLeq1At = r.end;
    r.stats.minLeq1 = 65.5f;
    r.stats.minLeq1At = r.start;
    r.stats.lfmax = 101.2f;
    r.actionVenue = QStringLiteral("Leq125ms");
    r.actionNeighbour = QStringLiteral("0");
    r.dna = 0;
    r.ena = 0;
    r.lineShort = 0;
    return r;
}

// Units `firstSerial` on, each with `intervals` intervals of 15 minutes
// from `first`.
struct IntervalFill {
    qint32 firstSerial = 1000;
    int units = 1;
    int intervals = 0;
    QDateTime first = wallClock(QDate(2024, 1, 1), QTime(0, 0));

    QDateTime last() const { return first.addSecs(qint64(intervals - 1) * 15 * 60); }
};

namespace detail {

// The table as a sink takes rows with `columns`, in that order.
inline SinkTable sinkTableOf(const QString& name, const QStringList& columns)
{
    SinkTable t;
    t.table = schemaTable(name);
    for (const QString& c : columns)
        t.columns.push_back(t.table->column(c));
    for (const char* k : t.table->key)
        t.keyIndex.push_back(int(columns.indexOf(QString::fromLatin1(k))));
    return t;
}

// A row's values as SQLite keeps them.
inline QVariantList storedValues(const SinkTable& t, const Row& row)
{
    QVariantList values;
    for (size_t i = 0; i < t.columns.size(); ++i)
        values << toStorage(*t.columns[i], row.values()[qsizetype(i)], SqlDialect::SQLite);
    return values;
}

} // namespace detail

// Stores the units and their intervals as an import does: through the
// database's own sink, listed in one import entry that is then sealed.
inline void importIntervals(Database& db, const IntervalFill& fill)
{
    QElapsedTimer clock;
    clock.start();
    Journal journal(db);
    const QByteArray source =
        QCryptographicHash::hash(QByteArray::number(fill.firstSerial) + ' ' + QByteArray::number(fill.intervals),
                                 QCryptographicHash::Sha256)
            .toHex();
    const Result<qint64> entry = journal.open(JournalAction::Import, 0, {}, source);
    Result<std::unique_ptr<RowSink>> opened = openRowSink(db, 5000);
    if (!entry || !opened)
        qFatal("cannot open the import's journal entry or sink");
    RowSink& sink = **opened;
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), fill.firstSerial);
    unit.set(QStringLiteral("TVersion"), QStringLiteral("4.0"));
    unit.set(QStringLiteral("ByTLeq"), 15);
    const Row sample = intervalRow(fill.firstSerial, intervalAt(fill.first, 15));
    const std::vector<SinkTable> tables{detail::sinkTableOf(QStringLiteral("Programacion"), unit.columns()),
                                        detail::sinkTableOf(QStringLiteral("Intervalos"), sample.columns())};
    if (!sink.prepare(tables, *entry) || !sink.begin())
        qFatal("%s", qPrintable(sink.failure().detail));
    QVariantList units = detail::storedValues(tables[0], unit);
    QVariantList values = detail::storedValues(tables[1], sample);
    const QStringList& names = sample.columns();
    const qsizetype startDate = names.indexOf(QStringLiteral("DFechaInicio")),
                    startTime = names.indexOf(QStringLiteral("THoraInicio")),
                    endDate = names.indexOf(QStringLiteral("DFechaFinal")),
                    endTime = names.indexOf(QStringLiteral("THoraFinal"));
    qint64 line = 0;
    for (int u = 0; u < fill.units; ++u) {
        units[0] = values[0] = fill.firstSerial + u;
        sink.add(0, ++line, units);
        QDateTime start = fill.first;
        for (int i = 0; i < fill.intervals; ++i) {
            const QDateTime end = start.addSecs(15 * 60);
            values[startDate] = start.date().toString(Qt::ISODate);
            values[startTime] = start.time().toString(QStringLiteral("HH:mm"));
            values[endDate] = end.date().toString(Qt::ISODate);
            values[endTime] = end.time().toString(QStringLiteral("HH:mm"));
            sink.add(1, ++line, values);
            start = end;
        }
    }
    sink.finish(line);
    const qint64 expected = qint64(fill.units) * (fill.intervals + 1);
    if (sink.failure().failed() || sink.added() != expected)
        qFatal("the import stored %lld of %lld rows: %s", sink.added(), expected, qPrintable(sink.failure().detail));
    must(sink.listAdded());
    if (const QByteArray lines = sink.listedLines(); !lines.isEmpty())
        journal.setListedLines(*entry, lines);
    if (const Status sealed = journal.seal(*entry, QStringLiteral("completed"), QStringLiteral("bench")); !sealed)
        qFatal("%s", qPrintable(untranslatedText(sealed.error())));
    std::printf("imported %d units x %d intervals in %.1f s\n", fill.units, fill.intervals,
                double(clock.elapsed()) / 1000);
    std::fflush(stdout);
}

// A data folder laid out as the program lays it out.
inline void provisionHome(const QString& home)
{
    if (!provisionDataFolder(home))
        qFatal("cannot lay out the data folder %s", qPrintable(home));
}

// One run of tvq52-cli on the data folder `home`.
struct CliRun {
    bool ok = false;      // ended by itself with status 0
    bool stopped = false; // still running at its limit, and ended then
    double seconds = 0;
    QByteArray out;
};

// Runs tvq52-cli, stopping it after `limitSeconds`: a check that slow
// misses its target by far, and its exact time is not worth the wait.
inline CliRun runCli(const QString& program, const QString& home, const QStringList& args, double limitSeconds)
{
    QProcess cli;
    cli.setStandardInputFile(QProcess::nullDevice());
    cli.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    cli.start(program, QStringList{QStringLiteral("--home"), home} + args);
    const bool ended = cli.waitForFinished(int(limitSeconds * 1000));
    CliRun run;
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!ended) {
        cli.kill();
        cli.waitForFinished();
    }
    run.out = cli.readAll();
    run.stopped = !ended && cli.error() != QProcess::FailedToStart;
    run.ok = ended && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
    const QString command = args.join(QLatin1Char(' '));
    if (run.stopped)
        std::printf("tvq52-cli %s: stopped after %.0f s\n", qPrintable(command), run.seconds);
    else if (!run.ok)
        std::printf("tvq52-cli %s failed:\n%s\n", qPrintable(command), run.out.constData());
    std::fflush(stdout);
    return run;
}

} // namespace tvq52::bench
