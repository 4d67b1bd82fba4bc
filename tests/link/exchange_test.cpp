#include "link/exchange.h"
#include "link/frame.h"
#include "link_fixture.h"
#include "support/simulated_unit.h"
#include "support/unit_replies.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::errorId;
using tvq52::test::identityReply;
using tvq52::test::MemoryLink;

namespace {

// A unit on the line that answers identification requests; with a modem in
// front, it answers a dial command with `dialAnswer` after `ringMs`.
struct UnitOnLine : MemoryLink {
    QByteArray dialAnswer = "1\r";
    qint64 ringMs = 4000;
    int dials = 0;
    QByteArray buffer;

    UnitOnLine()
    {
        line.close();
        timer.setInterval(50000);
        line.onWrite([this](const QByteArray& bytes) {
            buffer += bytes;
            if (buffer.endsWith('\r') && buffer.contains("ATE0V0X0D")) {
                ++dials;
                buffer.clear();
                if (!dialAnswer.isEmpty())
                    line.deliver(dialAnswer, ringMs);
            } else if (buffer.endsWith(completeFrame(0x01))) {
                buffer.clear();
                line.deliver(identityReply("012345"), 50);
            }
        });
    }

    ExchangeOutcome identifyExchange(bool* identified = nullptr)
    {
        return test::identifyExchange(session, prompter, translator, identified);
    }
};

} // namespace

TEST(ExchangeOrder, CableAsksToConnectThenOpensIdentifiesAndCloses)
{
    UnitOnLine u;
    u.settings.SerialDevice = "/dev/ttyUSB7";
    bool identified = false;
    int started = 0;
    const ExchangeResult result = runExchange(
        u.link, u.ask, {},
        [&] {
            EXPECT_TRUE(u.line.isOpen());
            EXPECT_EQ(u.line.deviceName(), "/dev/ttyUSB7");
            EXPECT_EQ(u.line.baudRate(), 19200);
            identified = identifyConnectedUnit(u.link, u.timer).ok();
        },
        [&] { ++started; });
    EXPECT_EQ(result.outcome, ExchangeOutcome::Ran);
    EXPECT_TRUE(identified);
    EXPECT_EQ(u.link.unit().serial, 12345);
    EXPECT_EQ(u.prompter.catalogueIds(), QList<int>{15});
    EXPECT_EQ(u.prompter.shown().front().style, MessageStyle::OkCancelInformation);
    EXPECT_FALSE(u.line.isOpen()) << "the cable port closes after every exchange";
    EXPECT_EQ(started, 1);
}

TEST(ExchangeOrder, CancelEndsBeforeAnythingIsOpened)
{
    UnitOnLine u;
    u.prompter.answer(Answer::Cancel);
    const int opens = u.line.openCount();
    bool ran = false;
    const ExchangeResult result = runExchange(u.link, u.ask, {}, [&] { ran = true; });
    EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
    EXPECT_FALSE(result.error);
    EXPECT_FALSE(ran);
    EXPECT_EQ(u.line.openCount(), opens);
}

TEST(ExchangeOrder, PortThatCannotOpenIsReportedOnce)
{
    UnitOnLine u;
    u.settings.SerialDevice = "/dev/ttyMISSING";
    u.line.failOpen("No such file or directory");
    bool ran = false;
    EXPECT_EQ(u.identifyExchange(&ran), ExchangeOutcome::LineFailed);
    EXPECT_FALSE(ran);
    EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{15, 31}));
    EXPECT_TRUE(u.prompter.shown().back().text.contains("/dev/ttyMISSING"));
}

TEST(ExchangeOrder, WrongUnitTypeIsMessage30)
{
    for (std::uint8_t type : {41, 0}) {
        UnitOnLine u;
        u.line.onWrite([&](const QByteArray&) {
            if (u.line.written().endsWith(completeFrame(0x01)))
                u.line.deliver(identityReply("012345", 4, 0, type));
        });
        bool identified = true;
        u.identifyExchange(&identified);
        EXPECT_FALSE(identified) << int(type);
        EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{15, 30}));
    }
}

TEST(ExchangeOrder, ModemWithoutANumberOrWithOneThatIsNoDialStringSendsNothing)
{
    const struct {
        QString prefix, number;
        ExchangeOutcome outcome;
        int message;
    } cases[] = {{"0", "  ", ExchangeOutcome::NoPhoneNumber, 34},
                 {"0", "555;1\rATS0=1", ExchangeOutcome::BadPhoneNumber, 106},
                 {"0;ATZ", "555", ExchangeOutcome::BadPhoneNumber, 106}};
    for (const auto& c : cases) {
        UnitOnLine u;
        u.settings.ModemMode = 1;
        u.settings.DialCode = c.prefix;
        u.settings.PhoneNumber = c.number;
        const int opens = u.line.openCount();
        EXPECT_EQ(u.identifyExchange(), c.outcome) << qPrintable(c.number);
        EXPECT_EQ(u.prompter.catalogueIds(), QList<int>{c.message});
        EXPECT_TRUE(u.line.written().isEmpty());
        EXPECT_EQ(u.line.openCount(), opens);
    }
}

TEST(ExchangeOrder, ModemDialsEscapesAndWaitsOnTheClock)
{
    UnitOnLine u;
    u.settings.ModemMode = 1;
    u.settings.ModemSpeed = 9600;
    u.settings.TonePulse = 0;
    u.settings.DialCode = " 0 ";
    u.settings.PhoneNumber = "931112233";
    u.prompter.answer(Answer::Ok);
    u.prompter.answer(Answer::No); // keep the call up
    bool identified = false;
    const qint64 before = u.clock.elapsedMs();
    EXPECT_EQ(u.identifyExchange(&identified), ExchangeOutcome::Ran);
    EXPECT_TRUE(identified);
    EXPECT_EQ(u.line.baudRate(), 9600);
    EXPECT_TRUE(u.line.written().startsWith("+++ATE0V0X0DP0,931112233\r"));
    EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{33, 112}));
    EXPECT_TRUE(u.line.modemCallUp());
    EXPECT_TRUE(u.line.isOpen());
    // Five 1 s delays, the ring time, 3 s and 10 s, then the identification.
    EXPECT_GE(u.clock.elapsedMs() - before, 18000 + 4000);
}

TEST(ExchangeOrder, SecondExchangeDuringACallNeitherRedialsNorAsks)
{
    UnitOnLine u;
    u.settings.ModemMode = 1;
    u.settings.PhoneNumber = "555";
    u.prompter.answer(Answer::Ok);
    u.prompter.answer(Answer::No);
    ASSERT_EQ(u.identifyExchange(), ExchangeOutcome::Ran);
    ASSERT_EQ(u.dials, 1);

    u.prompter.clear();
    u.line.clearWritten();
    u.prompter.answer(Answer::Yes); // now hang up
    bool identified = false;
    EXPECT_EQ(u.identifyExchange(&identified), ExchangeOutcome::Ran);
    EXPECT_TRUE(identified);
    EXPECT_EQ(u.dials, 1);
    EXPECT_FALSE(u.line.written().contains("AT"));
    EXPECT_EQ(u.prompter.catalogueIds(), QList<int>{112});
    EXPECT_FALSE(u.line.modemCallUp());
    EXPECT_FALSE(u.line.isOpen()) << "Yes hangs up by closing the port";
}

TEST(ExchangeOrder, AFailedDialIsToldOnceWhileThePortIsUpBeforeTheModemsTenSecondPause)
{
    // Notes the clock and the port as message 35 is shown.
    struct Watch : ForwardingPrompter {
        UnitOnLine& u;
        qint64 toldAtMs = -1;
        bool portOpen = false;
        explicit Watch(UnitOnLine& unit) : ForwardingPrompter(unit.prompter), u(unit) {}
        Answer message(const Message& m) override
        {
            if (m.catalogueId == 35) {
                toldAtMs = u.clock.elapsedMs();
                portOpen = u.line.isOpen();
            }
            return ForwardingPrompter::message(m);
        }
    };
    UnitOnLine u;
    u.dialAnswer = "3\r"; // no carrier
    u.settings.ModemMode = 1;
    u.settings.PhoneNumber = "555";
    Watch watch(u);
    EXPECT_EQ(test::identifyExchange(u.session, watch, u.translator), ExchangeOutcome::DialFailed);
    EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{33, 35}));
    EXPECT_TRUE(watch.portOpen);
    EXPECT_GE(u.clock.elapsedMs() - watch.toldAtMs, 10000) << "the pause follows the message";
}

TEST(ConnectModem, AnswersThatConnectAndThoseThatDoNot)
{
    const struct {
        QByteArray answer;
        bool connects;
    } cases[] = {{"1\r", true},  {"10\r", true}, {"3\r", false},
                 {"4\r", false}, {"", false},    {"\r\nCONNECT\r\n", false}}; // verbose answers are no numeric code
    for (const auto& c : cases) {
        UnitOnLine u;
        u.dialAnswer = c.answer;
        (void)u.line.open();
        const ModemResult r = u.link.ConnectModem("123");
        EXPECT_EQ(r == ModemResult::Connected, c.connects) << c.answer.constData();
        EXPECT_EQ(u.line.bytesAvailable(), 0) << "the answer is not left for the frame receiver";
    }
}

TEST(ConnectModem, SilentModemGivesUpAfterSixtySecondsOrWhenTheDialIsCancelled)
{
    UnitOnLine u;
    u.dialAnswer.clear();
    (void)u.line.open();
    qint64 before = u.clock.elapsedMs();
    EXPECT_EQ(u.link.ConnectModem("123"), ModemResult::Failed);
    const qint64 took = u.clock.elapsedMs() - before;
    EXPECT_GE(took, 5000 + 60000 + 13000);
    EXPECT_LT(took, 5000 + 60000 + 13000 + 5000);

    // Pressed 10 s (on the clock) into the call, during the wait for the answer.
    u.clock.callAfter(10000, [&] { u.link.cancelDial(); });
    before = u.clock.elapsedMs();
    EXPECT_EQ(u.link.ConnectModem("123"), ModemResult::Failed);
    EXPECT_LT(u.clock.elapsedMs() - before, 40000);
}

namespace {

// The link code against tvq52-sim over a real pseudo-terminal.
class SimLink : public ::testing::Test, public test::SimulatedUnit {
protected:
    bool identify(ExchangeOutcome expected = ExchangeOutcome::Ran)
    {
        bool identified = false;
        EXPECT_EQ(test::identifyExchange(session, prompter, translator, &identified), expected);
        return identified;
    }
};

} // namespace

TEST_F(SimLink, IdentifiesTheUnitByCableSkippingGarbageBeforeTheFrame)
{
    startSim({"--serial", "123456", "--firmware", "3.3", "--type", "4", "--prog-mode", "0", "--fault", "garbage"});
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    const UnitIdentity& unit = session.unit();
    EXPECT_EQ(unit.type, 4);
    EXPECT_EQ(unit.firmware, "3.3");
    EXPECT_EQ(unit.serial, 123456);
    EXPECT_EQ(unit.progMode, 0);
    EXPECT_EQ(line.written.toHex(' '), "02 00 06 01 03 06");
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_FALSE(line.isOpen());
}

TEST_F(SimLink, FaultsEndWithTheirMessageAndNothingElse)
{
    const struct {
        const char* fault;
        int message;
    } cases[] = {
        {"bad-check:1", 62}, {"stall:1", 31}, {"silent", 31}, {"long-frame:1", 31}, {"short-length:1", 31},
    };
    session.timer().setInterval(5000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        prompter.clear();
        startSim({"--fault", QString::fromLatin1(c.fault)});
        EXPECT_FALSE(identify());
        EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, c.message}));
        // The failed reply identified no unit and left no frame behind.
        EXPECT_EQ(session.unit().serial, 0);
        EXPECT_EQ(session.unit().firmware, QString());
        EXPECT_TRUE(session.link().frame().empty());
        EXPECT_EQ(settings.SerialDevice, sim->devicePath());
        EXPECT_FALSE(line.isOpen());
    }
}

TEST_F(SimLink, StopDuringTheWaitEndsItAtOnceAndSilently)
{
    startSim({"--fault", "silent"});
    session.timer().setInterval(3600 * 1000);
    QElapsedTimer real;
    real.start();
    int failure = -1;
    runExchange(session.link(), catalogueAsker(prompter, translator), {}, [&] {
        session.link().RequestIdentity();
        QTimer::singleShot(100, [&] { session.requestStop(); });
        failure = test::errorId(session.link().IdentifyUnit(session.timer()).status());
    });
    EXPECT_EQ(failure, 0) << "failed with nothing to tell";
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_LT(real.elapsed(), 10000);
}

TEST_F(SimLink, ModemThatAnswersNoCarrierFailsTheExchange)
{
    startSim({"--modem", "--rings", "1", "--ring-ms", "200", "--dial-result", "3"});
    settings.ModemMode = 1;
    settings.PhoneNumber = "931234567";
    identify(ExchangeOutcome::DialFailed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 35}));
    EXPECT_FALSE(line.modemCallUp());
    EXPECT_FALSE(line.isOpen());
}

TEST(ReceiveFrame, WholeFrameLandsInTheBuffer)
{
    MemoryLink m;
    const QByteArray frame = completeFrame(0x02, QByteArray::fromHex("0000012C800000000000000700000010"));
    m.line.deliver(QByteArray::fromHex("0000FF") + frame);
    ASSERT_TRUE(m.link.ReceiveFrame(m.timer));
    const std::span<const std::uint8_t> got = m.link.frame();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(got.data()), qsizetype(got.size())), frame);
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
    EXPECT_TRUE(m.link.frame().empty());
}

TEST(ReceiveFrame, LengthTheBufferCannotHoldEndsAsTransmissionError)
{
    MemoryLink m;
    m.line.deliver(QByteArray::fromHex("027FFF01") + QByteArray(4000, '\x41'));
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 31);
    EXPECT_TRUE(m.link.frame().empty());
    EXPECT_EQ(m.link.unit().serial, 0);
}

TEST(ReceiveFrame, StopGivesUpSilently)
{
    MemoryLink m;
    m.timer.setInterval(600000);
    m.clock.callAfter(1000, [&] { m.session.requestStop(); });
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 0);
    EXPECT_LT(m.clock.elapsedMs(), 600000);

    // While the flag stays set, a waiting frame is not read either.
    m.line.deliver(identityReply());
    EXPECT_EQ(errorId(m.link.ReceiveFrame(m.timer)), 0);
}

TEST(IdentifyUnit, RequestThrowsAwayWhatWasWaitingAndASerialWithLettersIsAClearErrorKeepingTheLastUnit)
{
    MemoryLink m;
    m.line.deliver(identityReply("999999"));
    m.link.RequestIdentity();
    m.line.deliver(identityReply("000005"));
    const Result<UnitIdentity> first = m.link.IdentifyUnit(m.timer);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->serial, 5);
    EXPECT_EQ(m.link.unit().serial, 5);

    m.line.deliver(identityReply("12O45\x07"));
    const Result<UnitIdentity> identified = m.link.IdentifyUnit(m.timer);
    ASSERT_FALSE(identified);
    // As the workflow shows it: the serial number's label before the characters.
    showError(m.prompter, m.translator, identified.error());
    ASSERT_EQ(m.prompter.shown().size(), 1);
    const Message shown = m.prompter.shown().front();
    EXPECT_EQ(shown.style, MessageStyle::Critical);
    EXPECT_EQ(shown.catalogueId, 62);
    EXPECT_TRUE(shown.text.contains("12O45?")) << qPrintable(shown.text);
    EXPECT_EQ(m.link.unit().serial, 5);
    EXPECT_EQ(m.link.unit().firmware, first->firmware);
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
        m.line.onWrite([&](const QByteArray&) {
            if (m.line.written() == rec.pc)
                m.line.deliver(rec.unit, 10);
        });
        m.link.RequestIdentity();
        EXPECT_EQ(m.line.written(), rec.pc) << "the request differs from the recorded one";
        const Result<UnitIdentity> ok = m.link.IdentifyUnit(m.timer);

        if (rec.expect.front() == QLatin1String("ok")) {
            ASSERT_TRUE(ok);
            ASSERT_EQ(rec.expect.size(), 5);
            EXPECT_EQ(ok->type, rec.expect[1].toInt());
            EXPECT_EQ(ok->firmware, rec.expect[2]);
            EXPECT_EQ(ok->serial, rec.expect[3].toInt());
            EXPECT_EQ(ok->progMode, rec.expect[4].toInt());
            EXPECT_EQ(m.link.unit().serial, ok->serial) << "the session keeps it";
        } else {
            EXPECT_EQ(test::errorId(ok.status()), rec.expect[1].toInt());
            EXPECT_EQ(m.link.unit().serial, 0);
        }
    }
}
