#include "link/serial_line.h"
#include "pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <poll.h>

using namespace tvq52;

namespace {

// The line open on the slave.
class SerialLineWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(unit.slave.isEmpty());
        line.setDeviceName(unit.slave);
        ASSERT_TRUE(line.open()) << qPrintable(line.errorString());
    }
    void TearDown() override { line.close(); }

    test::PseudoTerminal unit;
    SerialLine line;
};

} // namespace

TEST_F(SerialLineWrite, AnAckIsOnTheLineWhenWriteReturnsWithoutAnEventLoopTurn)
{
    for (const QByteArray& bytes : {QByteArray(1, '\x06'), QByteArray("\x02\x00\x06\x01\x03\x06", 6)}) {
        line.write(bytes);
        // No event loop has run: the bytes went to the device in write().
        EXPECT_EQ(line.bytesToWrite(), 0);
        pollfd p{unit.master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 100), 1) << "the unit can read them at once";
        EXPECT_EQ(unit.arrived().toHex(), bytes.toHex());
    }
}

TEST_F(SerialLineWrite, WhatTheDeviceCannotTakeAtOnceFollowsInOrder)
{
    // More than a terminal's buffers hold: the rest waits in the port.
    QByteArray big(256 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    line.write(big);
    line.write(QByteArray(1, '\x18'));
    EXPECT_GT(line.bytesToWrite(), 0) << "the device took only part";

    QByteArray got;
    QElapsedTimer waited;
    waited.start();
    while (got.size() < big.size() + 1 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        got += unit.arrived();
    }
    ASSERT_EQ(got.size(), big.size() + 1);
    EXPECT_TRUE(got.startsWith(big)) << "nothing lost or reordered";
    EXPECT_EQ(got.back(), '\x18') << "a byte written behind waiting ones goes after them";
}
