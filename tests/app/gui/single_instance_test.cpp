#include "app/gui/single_instance.h"
#include "support/temp_home.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace tvq52;
using tvq52::test::TempHome;

namespace {

// The window program started as the desktop starts it, on a private runtime
// folder so that no other run's sockets are seen.
class Programs {
public:
    Programs()
    {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        saved_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
    }
    ~Programs()
    {
        for (auto& p : started_) {
            p->kill();
            p->waitForFinished(5000);
        }
        saved_.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved_);
    }

    QProcess& start(const QStringList& arguments)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env_);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral(TVQ52_BIN_DIR "/tvq52"), arguments);
        EXPECT_TRUE(p->waitForStarted(10000));
        started_.push_back(std::move(p));
        return *started_.back();
    }

private:
    QTemporaryDir runtime_;
    QProcessEnvironment env_;
    QByteArray saved_;
    std::vector<std::unique_ptr<QProcess>> started_;
};

// Whether a program listens on `folder`'s socket within `ms`.
bool listensWithin(const QString& folder, int ms)
{
    const QString socket = SingleInstance::serverName(folder);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        if (QFileInfo(socket).exists())
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Whether `p` is still running after `ms`: a program that kept its window.
bool stillRunningAfter(QProcess& p, int ms)
{
    return !p.waitForFinished(ms) && p.state() == QProcess::Running;
}

} // namespace

TEST(SingleInstance, TheNameIsPerDataFolderAndTheSameThroughALink)
{
    TempHome a;
    TempHome b;
    EXPECT_NE(SingleInstance::serverName(a.path()), SingleInstance::serverName(b.path()));
    ASSERT_TRUE(QFile::link(a.path(), b.file(QStringLiteral("link"))));
    EXPECT_EQ(SingleInstance::serverName(b.file(QStringLiteral("link"))), SingleInstance::serverName(a.path()));
}

// Two real programs: the second start on the same data folder hands its
// argument over and ends; another data folder runs a program of its own;
// after the first is killed outright, a new start takes the folder over.
TEST(SingleInstance, ALaterStartHandsItsArgumentToTheRunningProgram)
{
    Programs programs;
    TempHome home;
    TempHome other;
    QProcess& first = programs.start({"--home", home.path()});
    ASSERT_TRUE(listensWithin(home.path(), 30000)) << first.readAll().toStdString();

    QProcess& second = programs.start({"--home", home.path(), "4711"});
    ASSERT_TRUE(second.waitForFinished(20000)) << "the second start did not end";
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    QProcess& third = programs.start({"--home", home.path()});
    ASSERT_TRUE(third.waitForFinished(20000));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // Another data folder, another program.
    QProcess& elsewhere = programs.start({"--home", other.path()});
    EXPECT_TRUE(listensWithin(other.path(), 30000));
    EXPECT_TRUE(stillRunningAfter(elsewhere, 500));

    // Killed without a chance to tidy up: its socket and lock stay behind.
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    ASSERT_TRUE(QFileInfo::exists(SingleInstance::serverName(home.path())));
    QProcess& heir = programs.start({"--home", home.path()});
    EXPECT_TRUE(stillRunningAfter(heir, 3000)) << heir.readAll().toStdString();
    // ... and it is the one that takes what comes next.
    QProcess& next = programs.start({"--home", home.path(), "4711"});
    ASSERT_TRUE(next.waitForFinished(20000));
    EXPECT_EQ(next.exitCode(), 0);
    EXPECT_EQ(heir.state(), QProcess::Running);
}
