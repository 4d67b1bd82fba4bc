// A download of interval records from tvq52-sim paced at 19200 8N1, against
// a minimal client on the same simulator that only reads each frame and
// acknowledges it. Both are timed from the simulator's side of the line
// (its --timing-log): the download rate, and how long after a record
// frame's last byte went into the terminal its ACK came back. Decoding,
// committing and progress must cost the real download next to nothing, and
// its ACK must leave as soon as the record is committed. Targets: our
// download at 98% or more of the minimal client's rate, which only the line
// limits, and the median ACK within 1 ms of a record frame's last byte.
//
// The clients take turns, three rounds of DAYS each (a quick run: one round
// of one day), so that what else the machine does falls on both alike.
// With --postgresql ours downloads into a PostgreSQL database too, on a
// private server it starts for the run (tools/pg-test-server.sh), and that
// download's figures are printed beside the SQLite one's.
//
//   records_download_bench [--quick] [DAYS] [--postgresql] [--logs DIR]
//   (default 7 days of 15-minute intervals a round, 3 x 672 records;
//   --logs keeps the simulator's timing logs in DIR)
#include "bench_database.h"
#include "bench_download.h"
#include "bench_server.h"
#include "bench_support.h"
#include "db/database.h"
#include "db/store.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line_settings.h"
#include "link/link_timer.h"
#include "link/serial_line.h"
#include "records/download_frames.h"
#include "records/download_workflow.h"
#include "sim_process.h"
#include "timing_log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tvq52;

namespace {

constexpr int kIntervalCommand = 0x05;
constexpr int kSerial = 4711;

// What the simulator saw of one client's interval lists, over its runs.
struct Figures {
    int acks = 0;
    int gaps = 0;        // between two ACKs of one run
    double seconds = 0;  // from each run's first ACK to its last
    std::vector<qint64> delays;

    void add(const Figures& run)
    {
        acks += run.acks;
        gaps += run.gaps;
        seconds += run.seconds;
        delays.insert(delays.end(), run.delays.begin(), run.delays.end());
    }
    double recordsPerSecond() const { return seconds > 0 ? double(gaps) / seconds : 0; }
};

double percentileMs(std::vector<qint64> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    return double(values[at]) / 1000.0;
}

std::optional<Figures> figuresOf(const QString& logPath)
{
    QString error;
    const auto log = sim::readTimingLog(logPath, &error);
    if (!log) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return std::nullopt;
    }
    std::vector<qint64> times;
    int lastCommand = -1;
    for (const sim::TimingEntry& e : *log) {
        if (e.kind == sim::TimingEntry::Kind::Sent)
            lastCommand = e.command;
        else if (e.kind == sim::TimingEntry::Kind::Ack && lastCommand == kIntervalCommand)
            times.push_back(e.us);
    }
    if (times.size() < 2)
        return std::nullopt;
    Figures f;
    f.acks = int(times.size());
    f.gaps = f.acks - 1;
    f.seconds = double(times.back() - times.front()) / 1e6;
    f.delays = sim::ackDelaysAfter(*log, kIntervalCommand);
    return f;
}

// Runs `client` against a fresh paced simulator logging its timing to `logPath`.
std::optional<Figures> timedRun(int days, const QString& logPath, const std::function<bool(const QString&)>& client)
{
    sim::SimProcess sim(QCoreApplication::applicationDirPath() + QStringLiteral("/tvq52-sim"),
                        {"--pace", "--serial", QString::number(kSerial), "--days", QString::number(days),
                         "--leq-minutes", "15", "--timing-log", logPath});
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start tvq52-sim: %s\n", qPrintable(sim.error()));
        return std::nullopt;
    }
    if (!client(sim.devicePath()))
        return std::nullopt;
    sim.stop();
    return figuresOf(logPath);
}

// Ours: the whole workflow into `db`, which holds no records yet.
bool ourDownload(const QString& device, Database& db, int* updates)
{
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), kSerial);
    unit.set(QStringLiteral("TVersion"), QStringLiteral("4.0"));
    unit.set(QStringLiteral("ByTLeq"), 15);
    if (!Store(db).insert(QStringLiteral("Programacion"), unit))
        return false;
    ScaledClock clock;
    LineSettings settings;
    settings.SerialDevice = device;
    SerialLine line;
    ExchangeSession session(settings, line, clock, kDownloadSilenceLimitMs);
    bench::QuietPrompter prompter;
    Translator translator;
    bench::DownloadView view(kSerial);
    DownloadWorkflow workflow(session, prompter, translator, db, view);
    if (workflow.run().outcome != DownloadOutcome::Completed) {
        std::fprintf(stderr, "our download did not complete\n");
        return false;
    }
    *updates = view.updates;
    return true;
}

// The least a PC can do: read a frame, acknowledge it, nothing else.
bool minimalClient(const QString& device)
{
    ScaledClock clock;
    LineSettings settings;
    settings.SerialDevice = device;
    SerialLine line;
    DeviceLink link(settings, line, clock);
    LinkTimer timer(clock, kDownloadSilenceLimitMs);
    if (!link.OpenLine())
        return false;
    const QDateTime now = QDateTime::currentDateTime();
    link.SendFrame(intervalsRequest(DownloadRange::from(now.addYears(-1), now.addDays(1))));
    for (;;) {
        if (!link.ReceiveFrame(timer))
            return false;
        if (link.frame()[4] == 0)
            break;
        line.write(QByteArray(1, char(kAck)));
    }
    link.closePort();
    return true;
}

void print(const char* who, const Figures& f)
{
    std::printf("%-18s %d records, %.2f records/s, ACK after the frame's last byte: median %.3f ms, 95th "
                "percentile %.3f ms\n",
                who, f.acks, f.recordsPerSecond(), percentileMs(f.delays, 0.5), percentileMs(f.delays, 0.95));
}

// Judges one of our downloads against the minimal client's.
void judge(bench::Verdict& v, const QString& backend, const Figures& ours, const Figures& minimal, int expected)
{
    if (ours.acks != expected || minimal.acks != expected)
        v.failed(QStringLiteral("%1 records acknowledged by ours (%2), %3 by the minimal client; %4 sent")
                     .arg(backend)
                     .arg(ours.acks)
                     .arg(minimal.acks)
                     .arg(expected));
    v.atLeast(QStringLiteral("download rate, ours (%1) against the minimal client").arg(backend),
              100.0 * ours.recordsPerSecond() / minimal.recordsPerSecond(), 98.0, "%");
}

// One round: ours into a fresh SQLite database (and PostgreSQL one), then
// the minimal client, each on its own simulator. Rounds take turns so that
// what else the machine does falls on both alike.
struct Rounds {
    int days = 1;
    QString logs;
    QTemporaryDir files;
    bench::PrivateServer* server = nullptr;
    Figures sqlite, postgresql, minimal;
    int updates = 0;

    bool run(int round)
    {
        const QString n = QString::number(round);
        auto sqliteDb = bench::freshDatabase(files.filePath(QStringLiteral("tvq52-%1.db").arg(n)));
        if (!take(sqlite, QStringLiteral("ours-%1.log").arg(n),
                  [&](const QString& device) { return ourDownload(device, *sqliteDb, &updates); }))
            return false;
        if (server) {
            auto serverDb = server->freshDatabase(QStringLiteral("bench%1").arg(n));
            int serverUpdates = 0;
            if (!take(postgresql, QStringLiteral("server-%1.log").arg(n),
                      [&](const QString& device) { return ourDownload(device, *serverDb, &serverUpdates); }))
                return false;
        }
        return take(minimal, QStringLiteral("minimal-%1.log").arg(n), minimalClient);
    }

private:
    bool take(Figures& into, const QString& logName, const std::function<bool(const QString&)>& client)
    {
        const auto got = timedRun(days, QDir(logs).filePath(logName), client);
        if (got)
            into.add(*got);
        return got.has_value();
    }
};

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict v(argc, argv);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    Rounds rounds;
    rounds.logs = rounds.files.path();
    if (const qsizetype at = args.indexOf(QStringLiteral("--logs")); at >= 0 && at + 1 < args.size()) {
        rounds.logs = args.takeAt(at + 1);
        args.removeAt(at);
    }
    std::unique_ptr<bench::PrivateServer> server;
    if (args.removeAll(QStringLiteral("--postgresql")) > 0) {
        server = std::make_unique<bench::PrivateServer>();
        rounds.server = server.get();
    }
    rounds.days = args.isEmpty() ? v.size(7, 1) : args.first().toInt();
    const int count = v.size(3, 1);
    for (int round = 1; round <= count; ++round) {
        if (!rounds.run(round)) {
            v.failed(QStringLiteral("round %1 of the downloads").arg(round));
            return v.exitCode();
        }
    }
    const int expected = count * rounds.days * 24 * 4;
    print("ours (SQLite):", rounds.sqlite);
    if (server)
        print("ours (PostgreSQL):", rounds.postgresql);
    print("minimal client:", rounds.minimal);
    std::printf("progress updates during ours: %d\n", rounds.updates);
    judge(v, QStringLiteral("SQLite"), rounds.sqlite, rounds.minimal, expected);
    v.atMost(QStringLiteral("ACK after a record frame's last byte, median, ours (SQLite)"),
             percentileMs(rounds.sqlite.delays, 0.5), 1.0, "ms");
    if (server)
        judge(v, QStringLiteral("PostgreSQL"), rounds.postgresql, rounds.minimal, expected);
    return v.exitCode();
}
