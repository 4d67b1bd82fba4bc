// The journal's checks where the database is large and the work small, in a
// data folder of 1,000 units x 10,000 intervals (10 million) stored by an
// import, each check run as a user runs it (tvq52-cli), the download in
// this process against the simulated unit on an in-memory line, so that
// the database's part is what it takes. Targets:
//   verify-report of a month's interval report: under 2 s;
//   fleet --verify of the 1,000 units: under 60 s;
//   a download into that database, with the unit's journal check the
//   command line runs after it: within 10% of the same into an empty one
//   (the median of the rounds' ratios);
//   verify of one unit of 1,000,000 intervals, imported after them: under 10 s.
// A check still running at ten times its target is stopped there, and that
// time is its (missed) figure. A quick run fills 20 units x 1,000 intervals
// and a unit of 5,000.
//
//   journal_scope_bench [--quick]
#include "bench_database.h"
#include "bench_download.h"
#include "bench_journaled.h"
#include "bench_support.h"
#include "i18n/translator.h"
#include "link/exchange_session.h"
#include "records/download_workflow.h"
#include "records/fleet.h"
#include "support/memory_unit.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <vector>

using namespace tvq52;

namespace {

constexpr int kVerifyRuns = 3;
// A check is stopped at this many times its target.
constexpr double kPatience = 10;

QString dayText(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

// Seconds of one tvq52-cli check, or of its run to its limit; nothing when
// it failed. `done` says what its output must hold.
std::optional<double> timedCheck(bench::Verdict& v, const QString& home, const QStringList& args, double target,
                                 const QByteArray& done = {})
{
    const bench::CliRun run = bench::runCli(QStringLiteral(TVQ52_CLI), home, args, kPatience * target);
    if (run.stopped || (run.ok && run.out.contains(done)))
        return run.seconds;
    v.failed(QStringLiteral("tvq52-cli ") + args.join(QLatin1Char(' ')));
    return std::nullopt;
}

// A month's interval report of the first unit, then its verify-report; a
// slow check is not run again.
void reportCheck(bench::Verdict& v, const QString& home, const bench::IntervalFill& fill)
{
    const QString pdf = QDir(home).filePath(QStringLiteral("month.pdf"));
    const QDate from = fill.first.date();
    const QStringList report{QStringLiteral("report"),
                             QStringLiteral("intervals"),
                             QString::number(fill.firstSerial),
                             QStringLiteral("--from"),
                             dayText(from),
                             QStringLiteral("--to"),
                             dayText(from.addDays(29)),
                             QStringLiteral("--pdf"),
                             pdf};
    if (!bench::runCli(QStringLiteral(TVQ52_CLI), home, report, 3600).ok)
        return v.failed(QStringLiteral("the month's report"));
    constexpr double target = 2.0;
    std::vector<double> seconds;
    while (int(seconds.size()) < kVerifyRuns && (seconds.empty() || seconds.back() < 3 * target)) {
        const auto s = timedCheck(v, home, {QStringLiteral("verify-report"), pdf}, target, "still exactly");
        if (!s)
            return;
        seconds.push_back(*s);
    }
    v.atMost(QStringLiteral("verify-report of a month's report, median of %1").arg(seconds.size()),
             bench::median(seconds), target, "s");
}

void fleetCheck(bench::Verdict& v, const QString& home, const bench::IntervalFill& fill)
{
    const auto s = timedCheck(v, home, {QStringLiteral("fleet"), QStringLiteral("--verify")}, 60.0,
                              QByteArray::number(fill.firstSerial + fill.units - 1));
    if (s)
        v.atMost(QStringLiteral("fleet --verify of %1 units x %2 intervals").arg(fill.units).arg(fill.intervals), *s,
                 60.0, "s");
}

// Seconds of a whole download of `days` days from unit `serial` into `db`
// and the journal check after it; negative when either failed.
double timedDownload(Database& db, qint32 serial, int days)
{
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), serial);
    unit.set(QStringLiteral("TVersion"), QStringLiteral("4.0"));
    unit.set(QStringLiteral("ByTLeq"), 15);
    if (!Store(db).insert(QStringLiteral("Programacion"), unit))
        return -1;
    test::MemoryUnit memory;
    if (!memory
             .connect({QStringLiteral("--serial"), QString::number(serial), QStringLiteral("--firmware"),
                       QStringLiteral("4.0"), QStringLiteral("--days"), QString::number(days),
                       QStringLiteral("--leq-minutes"), QStringLiteral("15")})
             .isEmpty())
        return -1;
    ExchangeSession session({}, memory.line, memory.clock, kDownloadSilenceLimitMs);
    bench::QuietPrompter prompter;
    Translator translator;
    bench::DownloadView view(serial);
    DownloadWorkflow workflow(session, prompter, translator, db, view);
    QElapsedTimer clock;
    clock.start();
    const DownloadReport report = workflow.run();
    if (report.outcome != DownloadOutcome::Completed || report.counts[std::size_t(RecordKind::Intervals)].added == 0)
        return -1;
    // As the command line's download checks the unit's journal after it.
    const Result<QList<qint32>> notVerified = checkFleetJournal(db, serial);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return notVerified && notVerified->isEmpty() ? seconds : -1;
}

// Rounds of the same download into the large database and an empty one,
// taking turns which goes first.
void downloadCost(bench::Verdict& v, Database& large, const QString& emptyPath)
{
    const auto empty = bench::freshDatabase(emptyPath);
    const int days = v.size(7, 1);
    std::vector<double> ratios;
    for (int round = 0; round < v.size(5, 1); ++round) {
        const qint32 serial = 5000 + round;
        double into[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const int which = (round + k) % 2;
            into[which] = timedDownload(which == 0 ? *empty : large, serial, days);
            if (into[which] < 0)
                return v.failed(QStringLiteral("a download of unit %1").arg(serial));
        }
        std::printf("download of %d days: into the empty database %.3f s, into the large one %.3f s\n", days, into[0],
                    into[1]);
        std::fflush(stdout);
        ratios.push_back(into[1] / into[0]);
    }
    v.atMost(QStringLiteral("download into the large database / into an empty one, median"), bench::median(ratios),
             1.10, "x");
}

void unitCheck(bench::Verdict& v, const QString& home, qint32 serial, int intervals)
{
    const auto s = timedCheck(v, home, {QStringLiteral("verify"), QString::number(serial)}, 10.0);
    if (s)
        v.atMost(QStringLiteral("verify of one unit of %1 intervals").arg(intervals), *s, 10.0, "s");
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict v(argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    bench::provisionHome(home);
    auto opened = Database::openSqlite(databasePath(home));
    if (!opened)
        qFatal("%s", qPrintable(untranslatedText(opened.error())));
    Database& db = **opened;
    bench::IntervalFill fleet;
    fleet.units = v.size(1000, 20);
    fleet.intervals = v.size(10000, 1000);
    bench::importIntervals(db, fleet);
    reportCheck(v, home, fleet);
    fleetCheck(v, home, fleet);
    downloadCost(v, db, dir.filePath(QStringLiteral("empty.db")));
    bench::IntervalFill big;
    big.firstSerial = 9000;
    big.intervals = v.size(1000000, 5000);
    bench::importIntervals(db, big);
    unitCheck(v, home, big.firstSerial, big.intervals);
    return v.exitCode();
}
