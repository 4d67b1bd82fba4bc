#include "link/clock.h"
#include "link/frame.h"
#include "modem_front.h"
#include "office_file.h"
#include "pc_end.h"
#include "recorded_history.h"
#include "sim_options.h"
#include "sim_process.h"
#include "sim_runner.h"
#include "timing_log.h"
#include "unit_frames.h"
#include "unit_simulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::sim;

namespace {

const QDateTime kEnd(QDate(2024, 3, 15), QTime(10, 7));

SimOptions optionsFor(const QString& firmware, const QStringList& more = {})
{
    QString error;
    auto o = parseSimOptions(
        QStringList{"tvq52-sim", "--firmware", firmware, "--history-end", "2024-03-15T10:07", "--realtime-ms", "0"}
            + more,
        &error, nullptr);
    EXPECT_TRUE(o.has_value()) << qPrintable(error);
    return *o;
}

RecordedHistory historyFor(const SimOptions& o)
{
    return generateHistory({o.seed, o.days, o.leqMinutes, o.historyEnd});
}

// A unit in the test's process, collecting its frames and single bytes.
struct UnitUnderTest {
    QByteArray out;
    UnitSimulator unit;
    explicit UnitUnderTest(const SimOptions& o) : unit(o, historyFor(o), [this](const QByteArray& b) { out += b; }) {}

    QByteArray take()
    {
        QByteArray all = out;
        out.clear();
        return all;
    }
    // What the unit sends in answer to `bytes`.
    QByteArray ask(const QByteArray& bytes)
    {
        unit.receive(bytes);
        return take();
    }
    QByteArray ack() { return ask(QByteArray(1, char(kAck))); }
};

QByteArray rangeRequest(std::uint8_t command, const QDateTime& from, const QDateTime& to)
{
    return completeFrame(command, stamp(from) + stamp(to));
}

bool checkOk(const QByteArray& frame)
{
    return frame.size() >= 5 && checkByte(frame) == 0
        && ((std::uint8_t(frame[1]) << 8) | std::uint8_t(frame[2])) == frame.size();
}

} // namespace

TEST(RecordedHistory, SameSeedSameHistoryAndAWeekOfVenueLife)
{
    const SimOptions o = optionsFor("4.0");
    const RecordedHistory a = historyFor(o);
    const RecordedHistory b = historyFor(o);
    ASSERT_EQ(a.intervals.size(), 7 * 24 * 4);
    for (int k = 0; k < a.intervals.size(); ++k)
        ASSERT_EQ(intervalFrame(a.intervals[k], o), intervalFrame(b.intervals[k], o)) << k;
    EXPECT_EQ(a.intervals.back().end, QDateTime(kEnd.date(), QTime(10, 0))) << "ends on a Leq boundary";

    SimOptions other = o;
    other.seed = 53;
    EXPECT_NE(intervalFrame(historyFor(other).intervals[100], o), intervalFrame(a.intervals[100], o));

    int under = 0, over = 0, inactive = 0, passes = 0, night = 0;
    for (const IntervalRecord& r : a.intervals) {
        under += r.leqVenue < 600;
        over += r.leqVenue > 1200;
        inactive += r.sensorInactive > 0;
        passes += r.passesVenue > 0;
        night += r.limitVenue == VenueLimits::nightVenue;
        ASSERT_LE(r.passesVenue, 4000);
        ASSERT_LE(r.sensorInactive, 4000);
    }
    EXPECT_GT(under, 0);
    EXPECT_GT(over, 0);
    EXPECT_EQ(inactive, 8) << "two hours of 15-minute intervals";
    EXPECT_GT(passes, 0);
    EXPECT_GT(night, 0);
    EXPECT_GE(a.sessions.size(), 5);
    EXPECT_EQ(a.totalSensorInactive, 8 * 900);
}

TEST(UnitFrames, IntervalLayoutsOfNewAndOldFirmware)
{
    const SimOptions v40 = optionsFor("4.0");
    const SimOptions v30 = optionsFor("3.0");
    const SimOptions v20 = optionsFor("2.0");
    const IntervalRecord r = historyFor(v40).intervals.front();
    const QByteArray f40 = intervalFrame(r, v40);
    ASSERT_EQ(f40.size(), 60);
    EXPECT_TRUE(checkOk(f40));
    EXPECT_EQ(f40.mid(4, 5), stamp(r.end));
    EXPECT_EQ((std::uint8_t(f40[19]) << 8) | std::uint8_t(f40[20]), r.leqVenue);
    EXPECT_EQ(std::uint8_t(f40[23]), 15);
    EXPECT_EQ(std::uint8_t(f40[56]), 125) << "Leq125ms from firmware 3.3 on";
    EXPECT_EQ(std::uint8_t(intervalFrame(r, v30)[56]), 2);

    const QByteArray f20 = intervalFrame(r, v20);
    ASSERT_EQ(f20.size(), 60);
    for (int at : {53, 54, 55, 57})
        EXPECT_LE(std::uint8_t(f20[at]), at == 57 ? 2 : 1) << at;
    EXPECT_EQ(std::uint8_t(f20[56]), 2);

    const RecordedHistory h = historyFor(v40);
    const QByteArray s = sessionFrame(h.sessions.front());
    ASSERT_EQ(s.size(), 70);
    EXPECT_TRUE(checkOk(s));
    EXPECT_EQ(s.mid(4, 5), stamp(h.sessions.front().start));
    EXPECT_EQ(std::uint8_t(intervalListEnd()[4]), 0);
    EXPECT_EQ(std::uint8_t(sessionListEnd()[4]), 0);
}

TEST(UnitSimulator, AnswersTheSingleFrameRequests)
{
    UnitUnderTest u(optionsFor("3.3"));
    const QByteArray id = u.ask(completeFrame(0x01));
    EXPECT_TRUE(checkOk(id));
    EXPECT_EQ(id.mid(4, 10).toHex(' '), "2a 03 03 30 31 32 33 34 35 01");

    const QByteArray totals = u.ask(completeFrame(0x02));
    ASSERT_EQ(totals.size(), 22);
    EXPECT_EQ(totals.mid(8, 4).toHex(), "00001c20") << "sensor-inactive seconds";

    const QByteArray dates = u.ask(completeFrame(0x03));
    ASSERT_EQ(dates.size(), 156);
    EXPECT_NE(dates.at(4), 0) << "an erasure in slot 0";
    EXPECT_EQ(dates.mid(9, 5), QByteArray(5, 0)) << "unused slots are zero";

    const QByteArray prog = u.ask(completeFrame(0x04));
    ASSERT_EQ(prog.size(), 4 + 364 + 2);
    EXPECT_TRUE(checkOk(prog));

    // A request with a wrong check byte goes unanswered.
    QByteArray bad = completeFrame(0x01);
    bad[5] = 0;
    EXPECT_TRUE(u.ask(bad).isEmpty());
}

TEST(UnitSimulator, RecordListsNewestFirstFromTheRangeEndUntilTheCan)
{
    const SimOptions o = optionsFor("4.0");
    UnitUnderTest u(o);
    QList<QByteArray> acknowledged;
    u.unit.onAcknowledged([&](const QByteArray& line) { acknowledged << line; });
    // The start is the PC's to apply: a PC that never sends CAN gets everything.
    const QDateTime to(QDate(2024, 3, 15), QTime(9, 0));
    QList<QByteArray> frames;
    for (QByteArray f = u.ask(rangeRequest(0x05, to.addSecs(-3600), to)); !f.isEmpty() && frames.size() < 1000;
         f = u.ack()) {
        ASSERT_TRUE(checkOk(f));
        frames << f;
    }
    const RecordedHistory h = historyFor(o);
    ASSERT_EQ(frames.size(), h.intervals.size() - 4 + 1) << "up to 09:00, and the end frame";
    EXPECT_EQ(stampTime(reinterpret_cast<const std::uint8_t*>(frames[0].constData() + 4)), to);
    EXPECT_EQ(frames.at(frames.size() - 2).mid(4, 5), stamp(h.intervals.front().end));
    EXPECT_EQ(frames.back().at(4), 0);
    ASSERT_EQ(acknowledged.size(), frames.size() - 1) << "each record, not the end frame";
    EXPECT_EQ(acknowledged.front(), "interval 2024-03-15 09:00");

    // CAN ends the list; nothing more comes, not even the end frame.
    EXPECT_EQ(u.ask(rangeRequest(0x06, QDateTime(), QDateTime())).size(), 70);
    EXPECT_TRUE(u.ask(completeFrame(0x01)).isEmpty()) << "a request during a list is not answered";
    u.unit.receive(QByteArray(1, char(kCan)));
    EXPECT_TRUE(u.ack().isEmpty());
    EXPECT_EQ(u.ask(completeFrame(0x01)).at(3), 0x01) << "after the CAN it is";
}

TEST(UnitSimulator, KeepsAProgrammingItIsSentAndAnswersOneByte)
{
    const SimOptions o = optionsFor("4.0");
    UnitUnderTest u(o);
    const QByteArray block(365, '\x07');
    const QByteArray frame = completeFrame(0x08, QByteArray(6, '\x01') + block);
    ASSERT_EQ(frame.size(), 377);
    EXPECT_EQ(u.ask(frame), QByteArray(1, char(kAck)));
    EXPECT_EQ(u.unit.programmingBlock(), block);
    EXPECT_EQ(u.ask(completeFrame(0x04)).mid(4, 365), block);

    QByteArray damaged = frame;
    damaged[100] = 0;
    EXPECT_TRUE(u.ask(damaged).isEmpty()) << "a wrong check byte gets no answer";

    SimOptions nak = o;
    nak.faults << Fault{FaultKind::Nak, 0};
    UnitUnderTest refusing(nak);
    EXPECT_EQ(refusing.ask(frame), QByteArray(1, char(kNak)));

    SimOptions silent = o;
    silent.faults << Fault{FaultKind::ProgramSilent, 0};
    UnitUnderTest mute(silent);
    EXPECT_TRUE(mute.ask(frame).isEmpty());
}

TEST(UnitSimulator, RealTimeStreamUntilCancel)
{
    UnitUnderTest u(optionsFor("4.0"));
    const QByteArray first = u.ask(completeFrame(0x09));
    ASSERT_EQ(first.size(), 20);
    EXPECT_TRUE(checkOk(first));
    EXPECT_EQ(first.at(3), 0x09);
    u.unit.receive(completeFrame(0x01)); // ignored: the stream goes on
    u.unit.receive(QByteArray(1, char(kAck)));
    ScaledClock clock;
    EXPECT_TRUE(clock.waitFor(2000, [&] { return !u.out.isEmpty(); }));
    EXPECT_EQ(u.take().size(), 20);
    u.unit.receive(QByteArray(1, char(kCan)));
    u.unit.receive(QByteArray(1, char(kAck)));
    EXPECT_FALSE(clock.waitFor(50, [&] { return !u.out.isEmpty(); }));
}

TEST(UnitSimulator, FaultsOnTheFramesTheyName)
{
    SimOptions o = optionsFor("4.0");
    for (const char* f : {"damaged:2", "bad-check:3", "stall:4", "garbage:5"})
        o.faults << *parseFault(QString::fromLatin1(f));
    UnitUnderTest u(o);
    const QByteArray good = u.ask(rangeRequest(0x05, QDateTime(), kEnd));
    const QByteArray damaged = u.ack();
    EXPECT_TRUE(checkOk(good));
    EXPECT_TRUE(checkOk(damaged)) << "a damaged record still has a right check byte";
    EXPECT_EQ(damaged.mid(kIntervalLevelOffset, 2).toHex(), "8000");
    EXPECT_FALSE(checkOk(u.ack()));
    EXPECT_EQ(u.ack().size(), 30);
    const QByteArray garbled = u.ack();
    EXPECT_NE(garbled.at(0), char(kStx));
    EXPECT_TRUE(checkOk(garbled.mid(garbled.indexOf(char(kStx)))));

    EXPECT_FALSE(parseFault("nonsense").has_value());
    EXPECT_FALSE(parseFault("stall:0").has_value());
    EXPECT_EQ(parseFault("silent")->frame, 0);
}

TEST(UnitSimulator, OverRangeAndShortRecordsAreLoggedFaultyWhenAcknowledged)
{
    UnitUnderTest u(optionsFor("4.0", {"--fault", "level-1401:2", "--fault", "short-record:3"}));
    QList<QByteArray> log;
    u.unit.onAcknowledged([&](const QByteArray& line) { log << line; });
    const QByteArray sessions = u.ask(rangeRequest(0x06, QDateTime(), kEnd));
    const QByteArray over = u.ack();
    const QByteArray cut = u.ack();
    EXPECT_TRUE(checkOk(sessions));
    EXPECT_TRUE(checkOk(over));
    EXPECT_EQ(over.mid(kSessionLevelOffset, 2).toHex(), "0579") << "1401";
    EXPECT_TRUE(checkOk(cut)) << "length and check byte fit the cut";
    EXPECT_EQ(cut.size(), kSessionLevelOffset + 4);
    EXPECT_TRUE(stampTime(reinterpret_cast<const std::uint8_t*>(cut.constData() + 4)).isValid())
        << "it keeps its key stamp: only its layout gives it away";
    u.unit.receive(QByteArray(1, char(kCan)));
    ASSERT_EQ(log.size(), 2) << "the cut record was never acknowledged";
    EXPECT_FALSE(log[0].endsWith(" faulty"));
    EXPECT_TRUE(log[1].startsWith("session ") && log[1].endsWith(" faulty"));
}

TEST(SimOptions, DialUnitsByNumber)
{
    const SimOptions o = optionsFor("4.0", {"--dial-unit", "222=1003:2.5", "--dial-unit", " 333 =77"});
    ASSERT_EQ(o.dialUnits.size(), 2);
    EXPECT_EQ(o.dialUnits[0].number, "222");
    EXPECT_EQ(o.dialUnits[0].serialText, "001003");
    EXPECT_EQ(o.dialUnits[0].firmwareMajor * 10 + o.dialUnits[0].firmwareMinor, 25);
    EXPECT_EQ(o.dialUnits[1].number, "333");
    EXPECT_EQ(o.dialUnits[1].firmwareMajor, 4) << "the main unit's firmware";
    for (const char* bad : {"222", "=1003", "222=", "222=1234567", "222=1003:3"}) {
        QString error;
        EXPECT_FALSE(parseSimOptions({"tvq52-sim", "--dial-unit", bad}, &error, nullptr)) << bad;
        EXPECT_TRUE(error.contains("--dial-unit")) << bad;
    }
}

TEST(ModemFront, DialsInVerboseOffModeEscapesAndHangsUp)
{
    ModemOptions mo;
    mo.ringMs = 10;
    mo.rings = 1;
    mo.guardMs = 10;
    QByteArray toPc, toUnit;
    ModemFront modem(
        mo, [&](const QByteArray& b) { toPc += b; }, [&](const QByteArray& b) { toUnit += b; });
    ScaledClock clock;

    modem.fromPc("AT\r");
    EXPECT_EQ(toPc, "AT\r\r\nOK\r\n") << "echo and verbose answers until told otherwise";
    toPc.clear();
    QByteArray called;
    modem.onConnect([&](const QByteArray& number) { called = number; });
    modem.fromPc("+++ATE0V0X0DT0,931234567\r");
    EXPECT_EQ(modem.lastDial(), "T0,931234567");
    EXPECT_TRUE(clock.waitFor(1000, [&] { return modem.online(); }));
    EXPECT_EQ(called, "931234567") << "the number without the prefix";
    EXPECT_TRUE(toPc.endsWith("1\r"));
    EXPECT_FALSE(toPc.contains("OK"));

    // Online, the PC's bytes reach the unit and the unit's reach the PC.
    modem.fromPc(completeFrame(0x01));
    EXPECT_EQ(toUnit, completeFrame(0x01));
    toPc.clear();
    modem.fromUnit("abc");
    EXPECT_EQ(toPc, "abc");

    toPc.clear();
    modem.fromPc("+++");
    EXPECT_TRUE(clock.waitFor(1000, [&] { return !modem.online(); }));
    EXPECT_EQ(toPc, "0\r");

    modem.hangUp();
    toPc.clear();
    modem.fromUnit("lost");
    EXPECT_TRUE(toPc.isEmpty()) << "no call, nothing reaches the PC";
}

TEST(UnitSimulator, RealTimeCasesStepThroughTheDisplayEdgesAndRepeat)
{
    const SimOptions o = optionsFor("4.0", {"--realtime-cases"});
    ASSERT_TRUE(o.realtimeCases);
    UnitUnderTest u(o);
    ASSERT_EQ(realTimeCases().size(), 8);
    QList<QByteArray> frames{u.ask(completeFrame(0x09))};
    while (frames.size() <= 8) {
        u.unit.receive(QByteArray(1, char(kAck)));
        QCoreApplication::processEvents();
        frames << u.take();
        ASSERT_EQ(frames.back().size(), 20) << frames.size();
    }
    EXPECT_EQ(frames[0].mid(15, 3).toHex(' '), "02 57 00") << "599, below the range";
    EXPECT_EQ(frames[1].mid(15, 3).toHex(' '), "02 58 07");
    EXPECT_EQ(frames[2].mid(15, 3).toHex(' '), "04 b0 2d");
    EXPECT_EQ(frames[3].mid(15, 3).toHex(' '), "04 b1 3c") << "1201, above the range";
    EXPECT_EQ(frames[4].at(13), 1) << "sensor inactive";
    EXPECT_EQ(frames[5].at(12), 1) << "mains disconnection";
    EXPECT_EQ(frames[6].at(12), 2) << "another mains code";
    EXPECT_EQ(frames[7].mid(10, 5).toHex(' '), "01 01 00 00 01");
    EXPECT_EQ(frames[8].mid(12, 6), frames[0].mid(12, 6)) << "and again from the start";
}

// A unit whose clock stands before the end of its history holds what had
// ended by then: a session under way is not held until it ends.
TEST(RecordedHistory, AtAnEarlierClockASessionUnderWayIsNotHeldYet)
{
    const SimOptions later = optionsFor("4.0", {"--days", "3"});
    const RecordedHistory full = historyFor(later);
    ASSERT_GE(full.sessions.size(), 2);
    const SessionRecord running = full.sessions.back();
    const QDateTime clock = running.start.addSecs(3600);
    const SimOptions o =
        optionsFor("4.0", {"--days", "3", "--clock", clock.toString(QStringLiteral("yyyy-MM-ddTHH:mm"))});
    EXPECT_EQ(o.clock, clock);
    const RecordedHistory held = heldAt(historyFor(o), o.clock);
    EXPECT_EQ(held.sessions.size(), full.sessions.size() - 1);
    EXPECT_EQ(held.sessions.back().start, full.sessions.at(full.sessions.size() - 2).start);
    ASSERT_FALSE(held.intervals.isEmpty());
    EXPECT_EQ(held.intervals.back().end, clock);
    int passes = 0;
    for (const IntervalRecord& r : held.intervals)
        passes += r.passesVenue;
    EXPECT_EQ(held.totalPassesVenue, passes);
    EXPECT_LT(held.totalPassesVenue, full.totalPassesVenue);

    // A clock after the history's end or before its start is no clock of it.
    QString error;
    for (const char* when : {"2024-03-15T10:30", "2024-03-01T10:00", "yesterday"})
        EXPECT_FALSE(
            parseSimOptions({"tvq52-sim", "--history-end", "2024-03-15T10:07", "--clock", when}, &error, nullptr))
            << when;
}

namespace {

struct TimedSim {
    QTemporaryDir dir;
    QString logPath = dir.filePath(QStringLiteral("timing.log"));
    std::unique_ptr<SimRunner> runner;

    bool start(const QStringList& more)
    {
        QString error;
        const auto o = parseSimOptions(QStringList{"tvq52-sim", "--days", "1", "--history-end", "2024-03-15T10:07",
                                                   "--timing-log", logPath}
                                           + more,
                                       &error, nullptr);
        EXPECT_TRUE(o) << qPrintable(error);
        if (!o)
            return false;
        runner = std::make_unique<SimRunner>(*o);
        EXPECT_TRUE(runner->start(&error)) << qPrintable(error);
        return error.isEmpty();
    }
    std::vector<TimingEntry> log() const
    {
        QString error;
        const auto entries = readTimingLog(logPath, &error);
        EXPECT_TRUE(entries) << qPrintable(error);
        return entries ? *entries : std::vector<TimingEntry>{};
    }
};

QByteArray intervalsRequest()
{
    const QDateTime to(QDate(2024, 3, 15), QTime(10, 0));
    return completeFrame(0x05, stamp(to.addDays(-1)) + stamp(to));
}

using Kind = TimingEntry::Kind;

} // namespace

TEST(TimingLog, EachAckFollowsTheFrameItAcknowledgesWithItsDelay)
{
    TimedSim sim;
    ASSERT_TRUE(sim.start({}));
    PcEnd pc(sim.runner->devicePath());
    ASSERT_TRUE(pc.isOpen());
    pc.settle(60); // the simulator notices the open port
    pc.write(completeFrame(0x01));
    EXPECT_EQ(pc.frame().at(3), 0x01);
    pc.write(intervalsRequest());
    for (int record = 0; record < 3; ++record) {
        ASSERT_EQ(pc.frame().at(3), 0x05);
        pc.answer(record < 2 ? kAck : kCan);
    }
    pc.settle(30);

    const std::vector<TimingEntry> log = sim.log();
    ASSERT_EQ(log.size(), 7u) << "identify, three records, two ACKs and the CAN";
    EXPECT_EQ(log[0].kind, Kind::Sent);
    EXPECT_EQ(log[0].command, 0x01);
    const TimingEntry* lastSent = &log[0];
    int acks = 0;
    for (std::size_t i = 1; i < log.size(); ++i) {
        const TimingEntry& e = log[i];
        SCOPED_TRACE(i);
        EXPECT_GE(e.us, log[i - 1].us) << "in time order";
        if (e.kind == Kind::Sent) {
            EXPECT_EQ(e.output, lastSent->output + 1);
            EXPECT_EQ(e.command, 0x05);
            EXPECT_GT(e.length, 20);
            lastSent = &e;
            continue;
        }
        acks += e.kind == Kind::Ack;
        EXPECT_EQ(e.output, lastSent->output) << "answers the frame just sent";
        EXPECT_EQ(e.delayUs, e.us - lastSent->us);
        EXPECT_GE(e.delayUs, 0);
        EXPECT_FALSE(e.early);
    }
    EXPECT_EQ(acks, 2);
    EXPECT_EQ(log.back().kind, Kind::Can);
    EXPECT_EQ(ackDelaysAfter(log, 0x05).size(), 2u);
    EXPECT_TRUE(ackDelaysAfter(log, 0x06).empty());
}

TEST(TimingLog, AnAckBeforeTheFramesLastByteIsLoggedEarlyAndLeftOutOfTheDelays)
{
    TimedSim sim;
    ASSERT_TRUE(sim.start({"--pace"}));
    PcEnd pc(sim.runner->devicePath());
    ASSERT_TRUE(pc.isOpen());
    pc.settle(60);
    pc.write(intervalsRequest());
    // At the line's pace the frame takes tens of milliseconds; its first
    // bytes come at once.
    ASSERT_FALSE(pc.frame(1).isEmpty());
    pc.answer(kAck);
    pc.settle(150);
    pc.answer(kCan);
    pc.settle(30);

    const std::vector<TimingEntry> log = sim.log();
    ASSERT_GE(log.size(), 3u);
    const auto early = std::find_if(log.begin(), log.end(), [](const TimingEntry& e) { return e.early; });
    ASSERT_NE(early, log.end());
    EXPECT_EQ(early->kind, Kind::Ack);
    EXPECT_EQ(early->output, 0) << "no output had gone in whole yet";
    EXPECT_TRUE(ackDelaysAfter(log, 0x05).empty());
}

TEST(TimingLog, ReadsBackWhatItWroteAndRefusesOtherLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.log"));
    {
        TimingLog log;
        QString error;
        ASSERT_TRUE(log.open(path, &error)) << qPrintable(error);
        log.answered(900, kAck, false); // before anything was sent
        log.written(1000, completeFrame(0x06, QByteArray(60, 0)));
        log.answered(1085, kAck, false);
        log.written(2000, QByteArray("\r\nCONNECT\r\n"));
        log.answered(2010, kCan, true);
    }
    QString error;
    const auto read = readTimingLog(path, &error);
    ASSERT_TRUE(read) << qPrintable(error);
    ASSERT_EQ(read->size(), 5u);
    const TimingEntry& frame = (*read)[1];
    EXPECT_EQ(frame.kind, Kind::Sent);
    EXPECT_EQ(frame.us, 1000);
    EXPECT_EQ(frame.output, 1);
    EXPECT_EQ(frame.length, 66);
    EXPECT_EQ(frame.command, 0x06);
    EXPECT_EQ((*read)[2].delayUs, 85);
    EXPECT_EQ((*read)[3].command, -1) << "not a frame";
    EXPECT_EQ((*read)[4].kind, Kind::Can);
    EXPECT_TRUE((*read)[4].early);
    EXPECT_EQ((*read)[4].output, 2);
    EXPECT_EQ(ackDelaysAfter(*read, 0x06), std::vector<qint64>{85});

    QFile bad(path);
    ASSERT_TRUE(bad.open(QIODevice::Append));
    bad.write("2100 ack two 5\n");
    bad.close();
    EXPECT_FALSE(readTimingLog(path, &error));
    EXPECT_TRUE(error.contains(QStringLiteral(":6:"))) << qPrintable(error);
    EXPECT_FALSE(readTimingLog(dir.filePath(QStringLiteral("none.log")), &error));
}

namespace {

const QDateTime kOfficeEnd(QDate(2026, 12, 1), QTime(12, 0));
const QString kOfficeEndText = kOfficeEnd.toString(QStringLiteral("yyyy-MM-ddTHH:mm"));

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-ddTHH:mm"));
}

std::optional<SimOptions> options(const QStringList& more, QString* error)
{
    return parseSimOptions(QStringList{"tvq52-sim", "--history-end", kOfficeEndText}
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
    const RecordedHistory whole = generateHistory({7, 3, 15, kOfficeEnd});
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
    const RecordedHistory again = withEvent(h, UnitEvent::Erasure, kOfficeEnd);
    EXPECT_TRUE(again.intervals.isEmpty());
    EXPECT_TRUE(again.sessions.isEmpty());
    EXPECT_EQ(again.totalErasures, 3);
    EXPECT_EQ(again.totalPassesVenue, 0);
    const RecordedHistory reprogrammed = withEvent(h, UnitEvent::Reprogramming, kOfficeEnd);
    EXPECT_EQ(reprogrammed.intervals.size(), h.intervals.size()) << "a reprogramming keeps the records";
    EXPECT_EQ(reprogrammed.reprogrammings.last(), kOfficeEnd);
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
                                                     "--history-end", kOfficeEndText}
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

// A download's count of one kind, from its JSON (its words follow the language setting).
int received(const QString& json, const char* kind)
{
    const QJsonObject counts = QJsonDocument::fromJson(json.toUtf8()).object().value("counts").toObject();
    const QJsonValue count = counts.value(QLatin1String(kind)).toObject().value("received");
    return count.isDouble() ? count.toInt() : -1;
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
    const QString first = office.run(0, "111", {"download", "--json"});
    EXPECT_EQ(received(first, "erasures"), 0) << qPrintable(first);
    EXPECT_EQ(received(first, "intervals"), 96);
    // After its second call the unit was erased: the date is now, nothing older is left.
    const QString second = office.run(0, "111", {"download", "--from", "2026-11-29T00:00", "--json"});
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
