#include "link/frame.h"
#include "pc_end.h"
#include "sim_options.h"
#include "sim_runner.h"
#include "timing_log.h"
#include "unit_frames.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::sim;

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
