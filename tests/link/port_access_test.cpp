#include "core/own_words.h"
#include "core/catalogue_ids.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/serial_line.h"
#include "pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

using namespace tvq52;

namespace {

PortAccess permission(bool groupMayUse, bool inGroup, bool sessionHasGroup)
{
    PortAccess a;
    a.fault = PortFault::NoPermission;
    a.device = QStringLiteral("/dev/ttyUSB0");
    a.user = QStringLiteral("ana");
    a.owner = QStringLiteral("root");
    a.group = QStringLiteral("dialout");
    a.groupMayUse = groupMayUse;
    a.userInGroup = inGroup;
    a.sessionHasGroup = sessionHasGroup;
    return a;
}

PortAccess fault(PortFault kind, qint64 holder = 0, const QString& holderName = {})
{
    PortAccess a;
    a.fault = kind;
    a.device = QStringLiteral("/dev/ttyUSB0");
    a.holderPid = holder;
    a.holderName = holderName;
    a.systemText = QStringLiteral("Input/output error");
    return a;
}

PortAccess speedRefused(int speed)
{
    PortAccess a = fault(PortFault::Speed);
    a.speed = speed;
    return a;
}

} // namespace

// What each failure tells the user to do, and that every one of those texts
// has its row in the shipped language database with the values kept.
TEST(PortAccessMessages, EachFailureSaysWhatToDoInEveryLanguage)
{
    const struct {
        const char* what;
        PortAccess access;
        QString says;
        QStringList values; // shown in every language
    } cases[] = {
        {"missing", fault(PortFault::Missing), "El puerto /dev/ttyUSB0 no existe", {"/dev/ttyUSB0"}},
        {"not in the group",
         permission(true, false, false),
         "Añádalo con «sudo adduser ana dialout» y vuelva a iniciar la sesión",
         {"/dev/ttyUSB0", "sudo adduser ana dialout"}},
        {"added but not logged in again",
         permission(true, true, false),
         "ya es del grupo dialout, que puede usar el puerto /dev/ttyUSB0",
         {"ana", "dialout"}},
        // Joining a group that may not use the device would not help.
        {"group may not use it",
         permission(false, false, false),
         "(propietario root, grupo dialout). Pida acceso al administrador",
         {"root", "dialout"}},
        {"held by a program",
         fault(PortFault::Busy, 4242, "minicom"),
         "ocupado por otro programa (minicom, proceso 4242)",
         {"minicom", "4242"}},
        {"held by an unknown program",
         fault(PortFault::Busy),
         "«fuser -v /dev/ttyUSB0» muestra cuál es",
         {"fuser -v /dev/ttyUSB0"}},
        {"not a serial port", fault(PortFault::NotSerial), "/dev/ttyUSB0 no es un puerto serie", {"/dev/ttyUSB0"}},
        {"speed refused", speedRefused(1234), "no admite la velocidad de 1234 bit/s", {"1234", "ModemSpeed"}},
    };

    Translator translator;
    ASSERT_TRUE(translator.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, Translator::SqlDb));
    for (const auto& c : cases) {
        const Error error = portAccessError(c.access);
        EXPECT_EQ(error.catalogueId, msg::TransmissionTimeout) << c.what;
        translator.foreignColumnName = QStringLiteral("Español");
        const QString spanish = errorText(translator, error);
        EXPECT_TRUE(spanish.contains(c.says)) << c.what << ": " << spanish.toStdString();
        EXPECT_FALSE(spanish.contains(translator.text(msg::TransmissionTimeout))) << c.what;
        for (const char* language : {"Català", "English", "Deutsch", "Français", "Italiano", "Português"}) {
            translator.foreignColumnName = QString::fromUtf8(language);
            const QString translated = errorText(translator, error);
            EXPECT_NE(translated, spanish) << c.what << " in " << language;
            for (const QString& value : c.values)
                EXPECT_TRUE(translated.contains(value))
                    << c.what << " in " << language << ": " << translated.toStdString();
            EXPECT_FALSE(translated.contains(QRegularExpression(QStringLiteral("%\\d")))) << translated.toStdString();
        }
    }

    // Anything else keeps the transmission text with the system's words under it.
    translator.foreignColumnName = QStringLiteral("English");
    const QString other = errorText(translator, portAccessError(fault(PortFault::Other)));
    EXPECT_TRUE(other.startsWith(translator.text(msg::TransmissionTimeout))) << other.toStdString();
    EXPECT_TRUE(other.endsWith("/dev/ttyUSB0: Input/output error")) << other.toStdString();
}

// An argument that looks like a placeholder is shown as it is.
TEST(PortAccessMessages, ValuesAreFilledInOnce)
{
    PortAccess a = fault(PortFault::Busy, 7, QStringLiteral("odd%1%3name"));
    a.device = QStringLiteral("/tmp/%2");
    Translator translator;
    const QString text = errorText(translator, portAccessError(a));
    EXPECT_TRUE(text.startsWith("El puerto /tmp/%2 está ocupado por otro programa (odd%1%3name, proceso 7)"))
        << text.toStdString();
}

namespace {

// A child process, stopped and reaped when it goes.
struct Child {
    QProcess process;
    ~Child()
    {
        process.kill();
        process.waitForFinished(3000);
    }
};

// Waits until the child has `fd` open and has become `sleep`: the shell opens
// the fd first and only then turns into sleep, and a diagnosis in between
// would rightly name the shell.
bool hasFd(qint64 pid, int fd)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    for (int k = 0; k < 200; ++k) {
        const bool open = QFileInfo::exists(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(fd));
        QByteArray name;
        if (comm.open(QIODevice::ReadOnly)) {
            name = comm.readAll().trimmed();
            comm.close();
        }
        if (open && name == "sleep")
            return true;
        QThread::msleep(10);
    }
    return false;
}

} // namespace

// A port that cannot be opened is held only by a program that opened it
// itself: not by this process, nor by one that merely has it as a standard
// stream (as every shell has /dev/null or its terminal); a device that is no
// terminal at all is no serial port, whoever has it open.
TEST(PortDiagnosis, OnlyAProgramThatOpenedThePortItselfIsNamedAsHoldingIt)
{
    test::PseudoTerminal pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    const int ours = ::open(QFile::encodeName(pty.slave).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(ours, 3);
    Child onStdin;
    onStdin.process.start(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("exec sleep 30 <\"$0\""), pty.slave});
    ASSERT_TRUE(onStdin.process.waitForStarted());
    ASSERT_TRUE(hasFd(onStdin.process.processId(), 0));

    PortAccess a = diagnoseOpenFailure(pty.slave, QSerialPort::PermissionError, QString());
    EXPECT_EQ(a.fault, PortFault::Busy);
    EXPECT_EQ(a.holderPid, 0) << "named " << a.holderName.toStdString();

    Child opener;
    opener.process.start(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("exec 3<>\"$0\"; exec sleep 30"), pty.slave});
    ASSERT_TRUE(opener.process.waitForStarted());
    ASSERT_TRUE(hasFd(opener.process.processId(), 3));
    a = diagnoseOpenFailure(pty.slave, QSerialPort::PermissionError, QString());
    EXPECT_EQ(a.fault, PortFault::Busy);
    EXPECT_EQ(a.holderPid, opener.process.processId());
    EXPECT_EQ(a.holderName, QStringLiteral("sleep"));
    ::close(ours);

    for (const QString& device :
         {QStringLiteral("/dev/null"), QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), QStringLiteral("/tmp")}) {
        a = diagnoseOpenFailure(device, QSerialPort::UnknownError, QStringLiteral("Unknown error"));
        EXPECT_EQ(a.fault, PortFault::NotSerial) << device.toStdString();
        EXPECT_EQ(a.holderPid, 0) << device.toStdString();
    }
    EXPECT_EQ(checkPortAccess(QStringLiteral("/tmp")).fault, PortFault::NotSerial);
    Translator translator;
    EXPECT_TRUE(errorText(translator, portAccessError(a)).startsWith(QStringLiteral("/tmp no es un puerto serie.")));
}

namespace {

// The line open on the slave.
class SerialLineWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(unit.slave.isEmpty());
        line.setDeviceName(unit.slave);
        const Status opened = line.open();
        ASSERT_TRUE(opened) << (opened ? "" : qPrintable(untranslatedText(opened.error())));
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
