#include "link/clock.h"
#include "link/frame.h"
#include "modem_front.h"
#include "office_file.h"
#include "pc_end.h"
#include "recorded_history.h"
#include "sim_options.h"
#include "sim_process.h"
#include "sim_runner.h"
#include "unit_frames.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::sim;

namespace {

const QDateTime kEnd(QDate(2026, 12, 1), QTime(12, 0));

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-ddTHH:mm"));
}

std::optional<SimOptions> options(const QStringList& more, QString* error)
{
    return parseSimOptions(QStringList{"tvq52-sim", "--history-end", kEnd.toString(QStringLiteral("yyyy-MM-ddTHH:mm"))}
                               + more,
                           error, nullptr);
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& text)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
}

} // namespace

TEST(OfficeFile, UnitsWithTheirKeysAndDefaults)
{
    DialUnit defaults;
    defaults.firmwareMajor = 3;
    defaults.firmwareMinor = 3;
    QString error;
    const auto units = parseOffice(
        "# the Tuesday round\n"
        "931000111 1001\n"
        "\n"
        "  222  77 firmware=4.1 days=3 seed=9 # the harbour bar\n"
        "333 1003 erased=2026-11-30T08:00 battery=2026-11-20T10:00 erased=2026-11-29T08:00 "
        "reprogrammed=2026-11-30T09:15\n",
        QStringLiteral("office.txt"), defaults, &error);
    ASSERT_TRUE(units) << qPrintable(error);
    ASSERT_EQ(units->size(), 3);
    const DialUnit& first = units->at(0);
    EXPECT_EQ(first.number, "931000111");
    EXPECT_EQ(first.serialText, "001001");
    EXPECT_EQ(first.firmwareMajor, 3);
    EXPECT_EQ(first.firmwareMinor, 3);
    EXPECT_FALSE(first.days.has_value());
    EXPECT_FALSE(first.seed.has_value());
    ASSERT_TRUE(first.events.has_value());
    EXPECT_TRUE(first.events->erasures.isEmpty()) << "an office unit reports only the events of its line";

    const DialUnit& second = units->at(1);
    EXPECT_EQ(second.serialText, "000077");
    EXPECT_EQ(second.firmwareMajor, 4);
    EXPECT_EQ(second.firmwareMinor, 1);
    EXPECT_EQ(second.days, 3);
    EXPECT_EQ(second.seed, 9u);

    const EventDates& events = *units->at(2).events;
    EXPECT_EQ(events.erasures, (QList<QDateTime>{at("2026-11-29T08:00"), at("2026-11-30T08:00")})) << "oldest first";
    EXPECT_EQ(events.batteryEnds, QList<QDateTime>{at("2026-11-20T10:00")});
    EXPECT_EQ(events.reprogrammings, QList<QDateTime>{at("2026-11-30T09:15")});
}

TEST(OfficeFile, ABadLineIsNamedByItsNumber)
{
    const QList<QPair<QByteArray, QString>> cases{
        {"111 1001\n222\n", QStringLiteral("office.txt:2: expected NUMBER SERIAL")},
        {"# one\n111 1234567\n", QStringLiteral("office.txt:2: bad serial \"1234567\"")},
        {"111 1001\n\n222 1002 colour=red\n", QStringLiteral("office.txt:3: unknown key \"colour\"")},
        {"111 1001 erased=yesterday\n", QStringLiteral("office.txt:1: bad date \"yesterday\" for erased")},
        {"111 1001 firmware=4\n", QStringLiteral("office.txt:1: bad firmware \"4\"")},
        {"111 1001 days=-1\n", QStringLiteral("office.txt:1: bad days \"-1\"")},
        {"111 1001 seed\n", QStringLiteral("office.txt:1: expected KEY=VALUE, not \"seed\"")},
        {"11a 1001\n", QStringLiteral("office.txt:1: bad telephone number \"11a\"")},
        {"111 1001\n111 1002\n", QStringLiteral("office.txt:2: number 111 is already dialled for unit 001001")},
    };
    for (const auto& [text, expected] : cases) {
        QString error;
        EXPECT_FALSE(parseOffice(text, QStringLiteral("office.txt"), DialUnit{}, &error)) << text.constData();
        EXPECT_TRUE(error.startsWith(expected)) << qPrintable(error) << " for " << text.constData();
    }
}

TEST(OfficeFile, TheProgramRefusesToStartOnABadLineAndOptionsThatNeedAModem)
{
    QTemporaryDir dir;
    const QString office = writeFile(dir, "office.txt", "111 1001\n222 1002 days=many\n");
    QProcess sim;
    sim.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), {"--modem", "--office", office});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 2);
    EXPECT_TRUE(sim.readAllStandardOutput().isEmpty()) << "no device path for a refused start";
    EXPECT_TRUE(QString::fromLocal8Bit(sim.readAllStandardError()).contains(office + ":2: bad days \"many\""));

    QString error;
    const QString good = writeFile(dir, "good.txt", "111 1001\n");
    EXPECT_FALSE(options({"--office", good}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("--office needs --modem"))) << qPrintable(error);
    EXPECT_FALSE(options({"--office", dir.filePath(QStringLiteral("none.txt")), "--modem"}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot read the office file"))) << qPrintable(error);
    EXPECT_FALSE(options({"--lines", "2"}, &error)) << "several lines are several modems";
    EXPECT_FALSE(options({"--lines", "0", "--modem"}, &error));
    for (const char* bad : {"1001=melt", "1001=erase:0", "=erase", "1234567=erase"})
        EXPECT_FALSE(options({"--modem", "--after-call", bad}, &error)) << bad;
    const auto o = options(
        {"--modem", "--lines", "4", "--office", good, "--after-call", "1001=reprogram:2", "--after-call", "77=erase"},
        &error);
    ASSERT_TRUE(o) << qPrintable(error);
    EXPECT_EQ(o->lines, 4);
    ASSERT_EQ(o->dialUnits.size(), 1);
    ASSERT_EQ(o->afterCalls.size(), 2);
    EXPECT_EQ(o->afterCalls[0].serialText, "001001");
    EXPECT_EQ(o->afterCalls[0].event, UnitEvent::Reprogramming);
    EXPECT_EQ(o->afterCalls[0].afterCall, 2);
    EXPECT_EQ(o->afterCalls[1].serialText, "000077");
    EXPECT_EQ(o->afterCalls[1].event, UnitEvent::Erasure);
    EXPECT_EQ(o->afterCalls[1].afterCall, 1);
}

TEST(OfficeEvents, AnErasureLeavesOnlyLaterRecordsAndIsTheNewestEventDate)
{
    const RecordedHistory whole = generateHistory({7, 3, 15, kEnd});
    const QDateTime erased = at("2026-11-30T20:00");
    const RecordedHistory h = withEvents(whole, {{at("2026-11-29T09:00"), erased}, {}, {at("2026-11-28T10:00")}});
    ASSERT_FALSE(h.intervals.isEmpty());
    EXPECT_LT(h.intervals.size(), whole.intervals.size());
    EXPECT_EQ(h.intervals.first().end, erased.addSecs(15 * 60)) << "the first interval begins at the erasure";
    EXPECT_EQ(h.intervals.last().end, whole.intervals.last().end);
    for (const SessionRecord& s : h.sessions)
        EXPECT_GE(s.start, erased);
    int passes = 0;
    for (const IntervalRecord& r : h.intervals)
        passes += r.passesVenue;
    EXPECT_EQ(h.totalPassesVenue, passes);
    EXPECT_EQ(h.totalErasures, 2);
    EXPECT_TRUE(h.batteryEnds.isEmpty()) << "the generated dates are replaced";

    // Ten slots a list, newest first: the erasure leads the reply.
    const QByteArray reply = eventDatesReply(h);
    EXPECT_EQ(reply.mid(4, 5), stamp(erased));
    EXPECT_EQ(reply.mid(9, 5), stamp(at("2026-11-29T09:00")));
    EXPECT_EQ(reply.mid(14, 5), QByteArray(5, 0));
    EXPECT_EQ(reply.mid(4 + 50, 5), QByteArray(5, 0)) << "no battery end";
    EXPECT_EQ(reply.mid(4 + 100, 5), stamp(at("2026-11-28T10:00")));

    // A later erasure clears everything before it, and counts once more.
    const RecordedHistory again = withEvent(h, UnitEvent::Erasure, kEnd);
    EXPECT_TRUE(again.intervals.isEmpty());
    EXPECT_TRUE(again.sessions.isEmpty());
    EXPECT_EQ(again.totalErasures, 3);
    EXPECT_EQ(again.totalPassesVenue, 0);
    const RecordedHistory reprogrammed = withEvent(h, UnitEvent::Reprogramming, kEnd);
    EXPECT_EQ(reprogrammed.intervals.size(), h.intervals.size()) << "a reprogramming keeps the records";
    EXPECT_EQ(reprogrammed.reprogrammings.last(), kEnd);
}

TEST(ModemFront, AUnitThatIsNotFreeAnswersBusyAfterTheEcho)
{
    for (const bool verbose : {true, false}) {
        QByteArray out;
        ModemOptions o;
        o.rings = 1;
        o.ringMs = 10;
        ModemFront modem(
            o, [&](const QByteArray& b) { out += b; }, [](const QByteArray&) {});
        QByteArray asked;
        modem.acceptCall([&](const QByteArray& number) {
            asked = number;
            return false;
        });
        const QByteArray command = verbose ? "ATE0DT0,931\r" : "ATE0V0DT0,931\r";
        modem.fromPc(command);
        ScaledClock clock;
        EXPECT_TRUE(clock.waitFor(1000, [&] { return !asked.isEmpty(); }));
        EXPECT_EQ(asked, "931");
        // The command line itself is echoed: echo goes off only once it has run.
        EXPECT_EQ(out, command + (verbose ? QByteArray("\r\nBUSY\r\n") : QByteArray("7\r"))) << out.constData();
        EXPECT_FALSE(modem.online());
        EXPECT_FALSE(modem.inCall());
    }
}

namespace {

// The real program standing for an office, and tvq52-cli calling its units.
struct Office {
    QTemporaryDir dir;
    std::unique_ptr<SimProcess> sim;
    QStringList lines;

    void start(const QByteArray& officeText, int lineCount, const QStringList& more = {})
    {
        const QString office = writeFile(dir, "office.txt", officeText);
        sim =
            std::make_unique<SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"),
                                         QStringList{"--modem", "--lines", QString::number(lineCount), "--office",
                                                     office, "--rings", "1", "--ring-ms", "50", "--guard-ms", "10",
                                                     "--history-end", kEnd.toString(QStringLiteral("yyyy-MM-ddTHH:mm"))}
                                             + more);
        ASSERT_TRUE(sim->start(10000, lineCount)) << qPrintable(sim->error());
        lines = sim->devicePaths();
        ASSERT_EQ(lines.size(), lineCount);
    }
    // A run of tvq52-cli dialling `phone` on line `line` (from 0).
    void call(QProcess& cli, int line, const char* phone, const QStringList& command) const
    {
        cli.setStandardInputFile(QProcess::nullDevice());
        cli.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
                  QStringList{"--home", dir.filePath(QStringLiteral("home")), "--clock-speed", "50", "--yes",
                              "--device", lines.value(line), "--modem", "--phone", QString::fromLatin1(phone)}
                      + command);
    }
    // Its standard output once it ended with status 0; empty otherwise.
    static QString finished(QProcess& cli)
    {
        const bool ended = cli.waitForFinished(60000);
        const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
        EXPECT_TRUE(ended && cli.exitCode() == 0) << qPrintable(err);
        return ended && cli.exitCode() == 0 ? QString::fromLocal8Bit(cli.readAllStandardOutput()) : QString();
    }
    QString run(int line, const char* phone, const QStringList& command) const
    {
        QProcess cli;
        call(cli, line, phone, command);
        return finished(cli);
    }
};

// The "received" figure of one kind in a download's summary; -1 without it.
int received(const QString& summary, const char* kind)
{
    const QRegularExpression row(QStringLiteral("^%1 +(\\d+) ").arg(QString::fromLatin1(kind)),
                                 QRegularExpression::MultilineOption);
    const auto m = row.match(summary);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

TEST(OfficeLines, AUnitInACallIsBusyToTheOtherLinesUntilItHangsUp)
{
    QTemporaryDir dir;
    const QString file = writeFile(dir, "office.txt", "111 1001\n222 1002 firmware=3.3\n");
    QString error;
    const auto o = options(
        {"--modem", "--lines", "3", "--office", file, "--rings", "1", "--ring-ms", "10", "--guard-ms", "10"}, &error);
    ASSERT_TRUE(o) << qPrintable(error);
    SimRunner runner(*o);
    ASSERT_TRUE(runner.start(&error)) << qPrintable(error);
    ASSERT_EQ(runner.devicePaths().size(), 3);
    EXPECT_EQ(runner.devicePaths().removeDuplicates(), 0);

    PcEnd a(runner.devicePaths()[0]);
    PcEnd b(runner.devicePaths()[1]);
    auto c = std::make_unique<PcEnd>(runner.devicePaths()[2]);
    ASSERT_TRUE(a.isOpen() && b.isOpen() && c->isOpen());
    c->write("ATE0DT111\r");
    EXPECT_TRUE(c->until("CONNECT").contains("CONNECT"));
    a.write("ATE0V0DT111\r");
    EXPECT_TRUE(a.until("7\r").endsWith("7\r")) << "numeric BUSY";
    b.write("ATE0DT111\r");
    EXPECT_TRUE(b.until("BUSY").contains("\r\nBUSY\r\n"));
    a.write("ATDT222\r");
    EXPECT_TRUE(a.until("1\r").endsWith("1\r")) << "another unit is free";

    // The unit still answers the line that holds it, not the busy one.
    c->write(completeFrame(0x01));
    EXPECT_EQ(c->frame().mid(7, 6), "001001");
    a.write(completeFrame(0x01));
    const QByteArray other = a.frame();
    EXPECT_EQ(other.mid(7, 6), "001002");
    EXPECT_EQ(other.mid(5, 2), QByteArray("\x03\x03", 2)) << "the firmware its office line names";
    // Hanging up frees it: the next line's dial connects.
    c->write("+++");
    EXPECT_TRUE(c->until("OK").contains("OK"));
    c->write("ATH\r");
    c->until("OK");
    b.write("ATDT111\r");
    EXPECT_TRUE(b.until("CONNECT").contains("CONNECT"));
    b.write(completeFrame(0x01));
    EXPECT_EQ(b.frame().mid(7, 6), "001001");
}

TEST(OfficeLines, AnErasureAfterACallIsSeenByTheNextRound)
{
    Office office;
    office.start("111 1001 days=1\n", 1, {"--after-call", "1001=erase:2"});
    ASSERT_FALSE(office.run(0, "111", {"program", "get", "--save"}).isEmpty());
    const QString first = office.run(0, "111", {"download"});
    EXPECT_EQ(received(first, "erasures"), 0) << qPrintable(first);
    EXPECT_EQ(received(first, "intervals"), 96);
    // After its second call the unit was erased: the date is now, nothing older is left.
    const QString second = office.run(0, "111", {"download", "--from", "2026-11-29T00:00"});
    EXPECT_EQ(received(second, "erasures"), 1) << qPrintable(second);
    EXPECT_EQ(received(second, "intervals"), 0);
    EXPECT_EQ(received(second, "sessions"), 0);
}

TEST(OfficeLines, EachLinePrintsItsPathAndGetsItsNumberedLink)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    auto sim = std::make_unique<SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"),
                                            QStringList{"--modem", "--lines", "3", "--link", link});
    ASSERT_TRUE(sim->start(10000, 3)) << qPrintable(sim->error());
    const QStringList paths = sim->devicePaths();
    ASSERT_EQ(paths.size(), 3);
    for (int k = 0; k < 3; ++k) {
        const QFileInfo made(QStringLiteral("%1-%2").arg(link).arg(k + 1));
        EXPECT_TRUE(made.isSymLink()) << qPrintable(made.filePath());
        EXPECT_EQ(made.symLinkTarget(), paths[k]);
    }
    EXPECT_FALSE(QFileInfo::exists(link)) << "no unnumbered link beside them";
    QElapsedTimer waited;
    waited.start();
    QString log;
    while (!log.contains(QStringLiteral("on 3 lines")) && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        log = sim->log();
    }
    EXPECT_TRUE(log.contains(QStringLiteral("on 3 lines"))) << qPrintable(log);
    sim.reset();
    for (int k = 1; k <= 3; ++k)
        EXPECT_FALSE(QFileInfo(QStringLiteral("%1-%2").arg(link).arg(k)).isSymLink()) << "the links go with it";
}
