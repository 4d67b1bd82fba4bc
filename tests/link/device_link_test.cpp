#include "link/frame.h"
#include "link_fixture.h"
#include "support/unit_replies.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::errorId;
using tvq52::test::identityReply;
using tvq52::test::MemoryLink;

TEST(ReceiveFrame, WholeFrameLandsInTheBuffer)
{
    MemoryLink m;
    const QByteArray frame = completeFrame(0x02, QByteArray::fromHex("0000012C800000000000000700000010"));
    m.line.deliver(QByteArray::fromHex("0000FF") + frame);
    ASSERT_TRUE(m.link.ReceiveFrame(m.timer));
    EXPECT_EQ(m.state.FrameLength, frame.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(m.state.FrameBuffer.data()), frame.size()), frame);
}

TEST(ReceiveFrame, SilenceLimitIsPerByte)
{
    MemoryLink m;
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 31) << "silence before the frame";
    EXPECT_GE(m.clock.elapsedMs(), 5000);

    // Each byte 2 s after the one before: the frame takes 40 s and is accepted.
    const QByteArray frame = completeFrame(0x09, QByteArray(14, '\x01'));
    const qint64 before = m.clock.elapsedMs();
    for (int k = 0; k < frame.size(); ++k)
        m.line.deliver(frame.mid(k, 1), 2000 * (k + 1));
    EXPECT_TRUE(m.link.ReceiveFrame(m.timer));
    EXPECT_GT(m.clock.elapsedMs() - before, 35000);

    // A pause longer than the limit inside a frame leaves no frame.
    m.line.deliver(frame.left(10));
    m.line.deliver(frame.mid(10), 9000);
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 31);
    EXPECT_EQ(m.state.FrameLength, 0);
}

TEST(ReceiveFrame, LengthTheBufferCannotHoldEndsAsTransmissionError)
{
    MemoryLink m;
    m.state.UnitSerial = 777;
    const QString device = m.state.SerialDevice = QStringLiteral("/dev/ttyTEST");
    m.line.deliver(QByteArray::fromHex("027FFF01") + QByteArray(4000, '\x41'));
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 31);
    EXPECT_EQ(m.state.UnitSerial, 777);
    EXPECT_EQ(m.state.SerialDevice, device);
}

TEST(ReceiveFrame, StopGivesUpSilently)
{
    MemoryLink m;
    m.timer.setInterval(600000);
    m.clock.callAfter(1000, [&] { m.state.StopRequested = true; });
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 0);
    EXPECT_LT(m.clock.elapsedMs(), 600000);

    // While the flag stays set, a waiting frame is not read either.
    m.line.deliver(identityReply());
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 0);
}

TEST(IdentifyUnit, RequestThrowsAwayWhatWasWaiting)
{
    MemoryLink m;
    m.line.deliver(identityReply("999999"));
    m.link.RequestIdentity();
    m.line.deliver(identityReply("111111"));
    ASSERT_TRUE(m.link.IdentifyUnit(m.timer));
    EXPECT_EQ(m.state.UnitSerial, 111111);
}

TEST(IdentifyUnit, SerialWithLettersIsAClearErrorAndKeepsTheLastUnit)
{
    MemoryLink m;
    m.state.UnitSerial = 5;
    m.state.UnitFirmware = "3.3";
    m.line.deliver(identityReply("12O45\x07"));
    const Status identified = m.link.IdentifyUnit(m.timer);
    ASSERT_FALSE(identified);
    // As the workflow shows it: the serial number's label before the characters.
    showError(m.prompter, m.guru, identified.error());
    ASSERT_EQ(m.prompter.shown().size(), 1);
    const Message shown = m.prompter.shown().front();
    EXPECT_EQ(shown.style, MessageStyle::Critical);
    EXPECT_EQ(shown.catalogueId, 62);
    EXPECT_TRUE(shown.text.contains("12O45?")) << qPrintable(shown.text);
    EXPECT_EQ(m.state.UnitSerial, 5);
    EXPECT_EQ(m.state.UnitFirmware, "3.3");
}

TEST(Delay, WholeSecondsOnTheClock)
{
    MemoryLink m;
    const qint64 before = m.clock.elapsedMs();
    m.link.Delay(2);
    const qint64 took = m.clock.elapsedMs() - before;
    EXPECT_GE(took, 2000);
    EXPECT_LT(took, 2600);
}

TEST(LinkTimer, EnabledUntilItsIntervalPasses)
{
    VirtualClock clock;
    LinkTimer timer(clock, 1000);
    EXPECT_FALSE(timer.isEnabled()) << "not started";
    RestartTimer(timer);
    EXPECT_TRUE(timer.isEnabled());
    clock.waitFor(600);
    RestartTimer(timer);
    clock.waitFor(600);
    EXPECT_TRUE(timer.isEnabled()) << "the restart began the interval anew";
    clock.waitFor(500);
    EXPECT_FALSE(timer.isEnabled());
}

namespace {

// A recorded exchange: what the PC wrote, what the unit answered, and the
// outcome the link must reach ("ok TYPE FIRMWARE SERIAL MODE" or "message N").
struct Recording {
    QByteArray pc;
    QByteArray unit;
    QStringList expect;
};

Recording load(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(path);
    Recording r;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("# expect:"))
            r.expect = QString::fromLatin1(line.mid(9)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        else if (line.startsWith("pc"))
            r.pc += QByteArray::fromHex(line.mid(line.indexOf('>') + 1));
        else if (line.startsWith("unit"))
            r.unit += QByteArray::fromHex(line.mid(line.indexOf('>') + 1));
    }
    return r;
}

} // namespace

TEST(RecordedReplies, EachRecordingGivesItsOutcome)
{
    const QDir dir(QStringLiteral(TVQ52_SOURCE_DIR "/tests/fixtures/link"));
    const QStringList files = dir.entryList({QStringLiteral("identify_*.log")}, QDir::Files);
    ASSERT_GE(files.size(), 5);
    for (const QString& name : files) {
        SCOPED_TRACE(qPrintable(name));
        const Recording rec = load(dir.filePath(name));
        ASSERT_EQ(rec.expect.size() >= 2, true);

        test::MemoryLink m;
        m.state.UnitSerial = -1;
        m.line.onWrite([&](const QByteArray&) {
            if (m.line.written() == rec.pc)
                m.line.deliver(rec.unit, 10);
        });
        m.link.RequestIdentity();
        EXPECT_EQ(m.line.written(), rec.pc) << "the request differs from the recorded one";
        const Status ok = m.link.IdentifyUnit(m.timer);

        if (rec.expect.front() == QLatin1String("ok")) {
            ASSERT_TRUE(ok);
            ASSERT_EQ(rec.expect.size(), 5);
            EXPECT_EQ(m.state.UnitType, rec.expect[1].toInt());
            EXPECT_EQ(m.state.UnitFirmware, rec.expect[2]);
            EXPECT_EQ(m.state.UnitSerial, rec.expect[3].toInt());
            EXPECT_EQ(m.state.UnitProgMode, rec.expect[4].toInt());
        } else {
            EXPECT_EQ(test::errorId(ok), rec.expect[1].toInt());
            EXPECT_EQ(m.state.UnitSerial, -1);
        }
    }
}
