// A download of about 2,000 interval records from tvq52-sim paced at 19200
// 8N1, against a minimal client on the same simulator that only reads each
// frame and acknowledges it. Prints both rates and their ratio: decoding,
// committing and progress must cost the real download next to nothing.
//
// With --postgresql it downloads into a PostgreSQL database too, on a private
// server it starts for the run (tools/pg-test-server.sh), and prints that rate
// beside the SQLite one.
//
//   records_download_bench [DAYS] [--postgresql]   (default 21 days of 15-minute intervals: 2,016)
#include "bench_database.h"
#include "bench_support.h"
#include "core/own_words.h"
#include "db/database.h"
#include "db/store.h"
#include "i18n/loc_guru.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/link_state.h"
#include "link/link_timer.h"
#include "link/serial_line.h"
#include "records/download_frames.h"
#include "records/download_workflow.h"
#include "records/records_view.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

using namespace tvq52;

namespace {

// The real serial line, noting when each acknowledgement of the interval
// list goes out. Requests are written a byte at a time, so bytes inside a
// frame are skipped by its length.
class TimedLine : public SerialLine {
public:
    void write(const QByteArray& bytes) override
    {
        SerialLine::write(bytes);
        for (char c : bytes)
            note(std::uint8_t(c));
    }
    std::vector<qint64> acks;

private:
    void note(std::uint8_t b)
    {
        if (inFrame_ > 0) {
            frame_.append(char(b));
            if (frame_.size() == 3)
                inFrame_ = (std::uint8_t(frame_[1]) << 8 | std::uint8_t(frame_[2])) - 3;
            else if (frame_.size() > 3 && --inFrame_ == 0 && std::uint8_t(frame_[3]) == 0x06)
                counting_ = false; // the session list starts
            else if (frame_.size() == 4 && std::uint8_t(frame_[3]) == 0x05)
                counting_ = true;
            return;
        }
        if (b == kStx) {
            frame_ = QByteArray(1, char(b));
            inFrame_ = 2;
        } else if (b == kAck && counting_) {
            acks.push_back(clock_.nsecsElapsed());
        }
    }
    QElapsedTimer clock_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    QByteArray frame_;
    int inFrame_ = 0;
    bool counting_ = false;
};

double rate(const std::vector<qint64>& acks)
{
    if (acks.size() < 2)
        return 0;
    return double(acks.size() - 1) / (double(acks.back() - acks.front()) / 1e9);
}

std::unique_ptr<sim::SimProcess> startSim(int days)
{
    auto sim = std::make_unique<sim::SimProcess>(
        QCoreApplication::applicationDirPath() + QStringLiteral("/tvq52-sim"),
        QStringList{"--pace", "--serial", "4711", "--days", QString::number(days), "--leq-minutes", "15"});
    if (!sim->start()) {
        std::fprintf(stderr, "cannot start tvq52-sim: %s\n", qPrintable(sim->error()));
        return nullptr;
    }
    return sim;
}

class BenchView : public RecordsView {
public:
    qint32 shownSerial() const override { return 4711; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& p) override
    {
        return DownloadRange::from(p.start().addYears(-1), p.end().addDays(1));
    }
    bool showUnit(qint32) override { return true; }
    void showFirmware(const QString&) override {}
    void showTotals(const TotalsReading&) override {}
    void ToggleButtons() override {}
    void downloadProgress(const DownloadProgress&) override { ++updates; }
    int updates = 0;
};

// A private PostgreSQL server for the run, with one laid-out database;
// stopped when the object goes.
class PrivateServer {
public:
    std::unique_ptr<Database> start()
    {
        if (!script(QStringLiteral("start")))
            return nullptr;
        QFile uri(state_.filePath(QStringLiteral("state/uri")));
        if (!uri.open(QIODevice::ReadOnly))
            return nullptr;
        auto target = DatabaseTarget::fromUri(QString::fromUtf8(uri.readAll()).trimmed());
        if (!target)
            return nullptr;
        {
            auto admin = Database::openServer(*target, {});
            if (!admin
                || !QSqlQuery((*admin)->connection()).exec(QStringLiteral("CREATE DATABASE bench TEMPLATE template0")))
                return nullptr;
        }
        target->database = QStringLiteral("bench");
        auto db = Database::openServer(*target, {});
        const Status laid = db ? (*db)->layOutSchema() : db.status();
        if (!laid) {
            std::fprintf(stderr, "%s\n", qPrintable(untranslatedText(laid.error())));
            return nullptr;
        }
        return std::move(db).value();
    }
    ~PrivateServer() { script(QStringLiteral("stop")); }

private:
    bool script(const QString& mode)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral("bash"),
                {QStringLiteral(TVQ52_SOURCE_DIR "/tools/pg-test-server.sh"), mode,
                 state_.filePath(QStringLiteral("state"))});
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QTemporaryDir state_;
};

// Ours: the whole workflow into a fresh database.
std::optional<std::pair<double, int>> ourDownload(int days, Database& db, int* updates)
{
    auto sim = startSim(days);
    if (!sim)
        return std::nullopt;
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), 4711);
    unit.set(QStringLiteral("TVersion"), QStringLiteral("4.0"));
    unit.set(QStringLiteral("ByTLeq"), 15);
    if (!Store(db).insert(QStringLiteral("Programacion"), unit))
        return std::nullopt;

    ScaledClock clock;
    LinkState state;
    state.SerialDevice = sim->devicePath();
    TimedLine line;
    ExchangeSession session(state, line, clock, kDownloadSilenceLimitMs);
    bench::QuietPrompter prompter;
    LocGuru guru;
    BenchView view;
    DownloadWorkflow workflow(session, prompter, guru, db, view);
    const DownloadReport report = workflow.run();
    if (report.outcome != DownloadOutcome::Completed) {
        std::fprintf(stderr, "our download did not complete\n");
        return std::nullopt;
    }
    *updates = view.updates;
    return std::make_pair(rate(line.acks), int(line.acks.size()));
}

// The least a PC can do: read a frame, acknowledge it, nothing else.
std::optional<std::pair<double, int>> minimalClient(int days)
{
    auto sim = startSim(days);
    if (!sim)
        return std::nullopt;
    ScaledClock clock;
    LinkState state;
    state.SerialDevice = sim->devicePath();
    TimedLine line;
    DeviceLink link(state, line, clock);
    LinkTimer timer(clock, kDownloadSilenceLimitMs);
    if (!link.OpenLine())
        return std::nullopt;
    const QDateTime now = QDateTime::currentDateTime();
    link.SendFrame(intervalsRequest(DownloadRange::from(now.addYears(-1), now.addDays(1))));
    for (;;) {
        if (!link.ReceiveFrame(timer))
            return std::nullopt;
        if (state.FrameBuffer[4] == 0)
            break;
        line.write(QByteArray(1, char(kAck)));
    }
    link.closePort();
    return std::make_pair(rate(line.acks), int(line.acks.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool postgresql = args.removeAll(QStringLiteral("--postgresql")) > 0;
    const int days = args.isEmpty() ? 21 : args.first().toInt();
    int updates = 0;
    QTemporaryDir dir;
    auto sqlite = bench::freshDatabase(dir.filePath(QStringLiteral("tvq52.db")));
    const auto ours = ourDownload(days, *sqlite, &updates);
    std::optional<std::pair<double, int>> server;
    int serverUpdates = 0;
    PrivateServer privateServer;
    if (postgresql) {
        auto db = privateServer.start();
        if (!db) {
            std::fprintf(stderr, "no private PostgreSQL server\n");
            return 1;
        }
        server = ourDownload(days, *db, &serverUpdates);
        if (!server)
            return 1;
    }
    const auto minimal = minimalClient(days);
    if (!ours || !minimal) {
        std::fprintf(stderr, "a download failed\n");
        return 1;
    }
    std::printf("interval records acknowledged: ours %d, minimal client %d\n", ours->second, minimal->second);
    std::printf("ours (SQLite):     %.2f records/s (%d progress updates)\n", ours->first, updates);
    if (server)
        std::printf("ours (PostgreSQL): %.2f records/s (%d progress updates)\n", server->first, serverUpdates);
    std::printf("minimal client:    %.2f records/s\n", minimal->first);
    std::printf("ratio SQLite:      %.1f%% (target at least 98%%)\n", 100.0 * ours->first / minimal->first);
    bool ok = ours->first >= 0.98 * minimal->first;
    if (server) {
        std::printf("ratio PostgreSQL:  %.1f%% (target at least 98%%)\n", 100.0 * server->first / minimal->first);
        ok = ok && server->first >= 0.98 * minimal->first;
    }
    return ok ? 0 : 1;
}
