#include "i18n/catalogue_message.h"
#include "i18n/loc_guru.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/link_state.h"
#include "link/link_timer.h"
#include "link/serial_line.h"
#include "sim_process.h"
#include "support/scripted_prompter.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/recording_serial_line.h"

using namespace tvq52;

namespace {

const QString kSimulator = test::kSimulatorProgram;
using test::RecordingSerialLine;

// The link code against tvq52-sim over a real pseudo-terminal. The clock runs
// fast; success paths get a generous silence limit so that a busy machine
// does not turn into a false time-out.
class SimLink : public ::testing::Test {
protected:
    void startSim(QStringList args)
    {
        sim = std::make_unique<sim::SimProcess>(kSimulator, args << QStringLiteral("--verbose"));
        ASSERT_TRUE(sim->start()) << qPrintable(sim->error());
        state.SerialDevice = sim->devicePath();
    }

    // The exchange as a workflow runs it: what fails is shown once.
    bool identify()
    {
        bool identified = false;
        const ExchangeResult result = runExchange(link, ask, state.PhoneNumber, [&] {
            const Status status = identifyConnectedUnit(link, timer);
            showFailure(prompter, guru, status);
            identified = status.ok();
        });
        if (result.error)
            showError(prompter, guru, *result.error);
        outcome = result.outcome;
        return identified;
    }

    FastClock clock{20.0};
    LinkState state;
    RecordingSerialLine line;
    test::ScriptedPrompter prompter;
    LocGuru guru;
    AskCatalogue ask = catalogueAsker(prompter, guru);
    DeviceLink link{state, line, clock};
    LinkTimer timer{clock, 5000};
    std::unique_ptr<sim::SimProcess> sim;
    ExchangeOutcome outcome = ExchangeOutcome::Cancelled;
};

} // namespace

TEST_F(SimLink, IdentifiesTheUnitByCable)
{
    startSim({"--serial", "123456", "--firmware", "3.3", "--type", "4", "--prog-mode", "0"});
    timer.setInterval(40000);
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_EQ(outcome, ExchangeOutcome::Ran);
    EXPECT_EQ(state.UnitType, 4);
    EXPECT_EQ(state.UnitFirmware, "3.3");
    EXPECT_EQ(state.UnitSerial, 123456);
    EXPECT_EQ(state.UnitProgMode, 0);
    EXPECT_EQ(line.written.toHex(' '), "02 00 06 01 03 06");
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_FALSE(line.isOpen());
}

TEST_F(SimLink, GarbageBeforeTheFrameIsSkipped)
{
    startSim({"--fault", "garbage"});
    timer.setInterval(40000);
    EXPECT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_EQ(state.UnitSerial, 12345);
}

TEST_F(SimLink, FaultsEndWithTheirMessageAndNothingElse)
{
    const struct {
        const char* fault;
        int message;
    } cases[] = {
        {"bad-check:1", 62}, {"stall:1", 31}, {"silent", 31}, {"long-frame:1", 31}, {"short-length:1", 31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        prompter.clear();
        state.UnitSerial = 4242;
        state.UnitFirmware = QStringLiteral("9.9");
        startSim({"--fault", QString::fromLatin1(c.fault)});
        EXPECT_FALSE(identify());
        EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, c.message}));
        // The failed reply changed no unit field and left no frame behind.
        EXPECT_EQ(state.UnitSerial, 4242);
        EXPECT_EQ(state.UnitFirmware, "9.9");
        EXPECT_EQ(state.FrameLength, 0);
        EXPECT_EQ(state.SerialDevice, sim->devicePath());
        EXPECT_FALSE(line.isOpen());
    }
}

TEST_F(SimLink, StopDuringTheWaitEndsItAtOnceAndSilently)
{
    startSim({"--fault", "silent"});
    timer.setInterval(3600 * 1000);
    QElapsedTimer real;
    real.start();
    bool identified = true;
    int failure = -1;
    runExchange(link, ask, {}, [&] {
        link.RequestIdentity();
        QTimer::singleShot(100, [&] { state.StopRequested = true; });
        const Status status = link.IdentifyUnit(timer);
        identified = status.ok();
        failure = identified ? -1 : status.error().catalogueId;
    });
    EXPECT_FALSE(identified);
    EXPECT_EQ(failure, 0) << "nothing to tell";
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_LT(real.elapsed(), 10000);
}

TEST_F(SimLink, IdentifiesThroughTheModemAndKeepsTheCallForTheNextExchange)
{
    startSim({"--modem", "--rings", "1", "--ring-ms", "400", "--guard-ms", "20", "--serial", "777"});
    state.ModemMode = 1;
    state.DialCode = "0";
    state.PhoneNumber = "931234567";
    timer.setInterval(40000);
    prompter.answer(Answer::Ok);
    prompter.answer(Answer::No); // keep the call up
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_EQ(outcome, ExchangeOutcome::Ran);
    EXPECT_EQ(state.UnitSerial, 777);
    EXPECT_TRUE(state.ModemConnected);
    EXPECT_TRUE(line.isOpen());
    EXPECT_TRUE(line.written.contains("ATE0V0X0DT0,931234567\r"));
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 112}));

    // The second exchange goes straight to the unit over the open call.
    line.written.clear();
    prompter.clear();
    state.UnitSerial = 0;
    prompter.answer(Answer::Yes);
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_EQ(state.UnitSerial, 777);
    EXPECT_EQ(line.written.toHex(' '), "02 00 06 01 03 06") << "no escape, no dial";
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{112});
    EXPECT_FALSE(state.ModemConnected);
    EXPECT_FALSE(line.isOpen());
}

TEST_F(SimLink, ModemThatAnswersNoCarrierFailsTheExchange)
{
    startSim({"--modem", "--rings", "1", "--ring-ms", "400", "--dial-result", "3"});
    state.ModemMode = 1;
    state.PhoneNumber = "931234567";
    EXPECT_FALSE(identify());
    EXPECT_EQ(outcome, ExchangeOutcome::DialFailed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 35}));
    EXPECT_FALSE(state.ModemConnected);
    EXPECT_FALSE(line.isOpen());
}

TEST_F(SimLink, HangingUpDropsTheCallSoTheNextExchangeDialsAgain)
{
    startSim({"--modem", "--rings", "1", "--ring-ms", "400", "--guard-ms", "20"});
    state.ModemMode = 1;
    state.PhoneNumber = "1";
    timer.setInterval(40000);
    ASSERT_TRUE(identify()) << qPrintable(sim->log()); // answers Yes to 112
    EXPECT_FALSE(state.ModemConnected);
    line.written.clear();
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_TRUE(line.written.contains("ATE0V0X0DT,1\r"));
    // The simulator saw the port close twice and so dropped the call each time.
    EXPECT_GE(sim->log().count("call dropped"), 1);
}
