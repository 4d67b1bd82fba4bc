#include "link_fixture.h"
#include "support/simulated_unit.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// The link code against tvq52-sim over a real pseudo-terminal.
class SimLink : public ::testing::Test, public test::SimulatedUnit {
protected:
    bool identify(ExchangeOutcome expected = ExchangeOutcome::Ran)
    {
        bool identified = false;
        EXPECT_EQ(test::identifyExchange(session, prompter, guru, &identified), expected);
        return identified;
    }
};

} // namespace

TEST_F(SimLink, IdentifiesTheUnitByCableSkippingGarbageBeforeTheFrame)
{
    startSim({"--serial", "123456", "--firmware", "3.3", "--type", "4", "--prog-mode", "0", "--fault", "garbage"});
    ASSERT_TRUE(identify()) << qPrintable(sim->log());
    EXPECT_EQ(state.UnitType, 4);
    EXPECT_EQ(state.UnitFirmware, "3.3");
    EXPECT_EQ(state.UnitSerial, 123456);
    EXPECT_EQ(state.UnitProgMode, 0);
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
    session.timer().setInterval(3600 * 1000);
    QElapsedTimer real;
    real.start();
    int failure = -1;
    runExchange(session.link(), catalogueAsker(prompter, guru), {}, [&] {
        session.link().RequestIdentity();
        QTimer::singleShot(100, [&] { state.StopRequested = true; });
        failure = test::errorId(session.link().IdentifyUnit(session.timer()));
    });
    EXPECT_EQ(failure, 0) << "failed with nothing to tell";
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_LT(real.elapsed(), 10000);
}

TEST_F(SimLink, ModemThatAnswersNoCarrierFailsTheExchange)
{
    startSim({"--modem", "--rings", "1", "--ring-ms", "200", "--dial-result", "3"});
    state.ModemMode = 1;
    state.PhoneNumber = "931234567";
    identify(ExchangeOutcome::DialFailed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 35}));
    EXPECT_FALSE(state.ModemConnected);
    EXPECT_FALSE(line.isOpen());
}
