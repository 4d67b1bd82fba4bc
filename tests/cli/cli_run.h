#pragma once

#include "db/store.h"
#include "sim_process.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace tvq52::test {

// One run of tvq52-cli with nobody at the terminal.
struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

inline CliResult runCli(const QStringList& args, int timeoutMs = 30000,
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), args);
    CliResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("tvq52-cli did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The JSON object a run printed; empty when it printed none.
inline QJsonObject jsonOf(const CliResult& r)
{
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// A time as the command line takes it.
inline QString cliTime(const QDateTime& t)
{
    return t.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// Starts tvq52-cli with nobody at the terminal, for a test that acts while it runs.
inline void startCli(QProcess& process, const QStringList& args)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), args);
}

// The lines a log file (the simulator's --ack-log) holds so far.
inline QStringList fileLines(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts)
                                       : QStringList();
}

// Runs on one data folder, and tvq52-sim when a run needs a unit.
struct CliRuns {
    TempHome home;
    std::unique_ptr<sim::SimProcess> sim;

    CliResult operator()(const QStringList& args) const { return runCli(QStringList{"--home", home.path()} + args); }
    // The run on the simulator's device.
    CliResult onSim(const QStringList& args) const
    {
        return (*this)(QStringList{"--device", sim->devicePath()} + args);
    }
    void startSim(const QStringList& args)
    {
        sim = std::make_unique<sim::SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), args);
        ASSERT_TRUE(sim->start()) << qPrintable(sim->error());
    }
    // The folder as `init` lays it out, holding these units' programming
    // (serial, firmware, telephone), each recording every 15 minutes.
    void storeUnits(const QList<std::tuple<int, const char*, const char*>>& units) const
    {
        ASSERT_EQ((*this)({"init"}).exitCode, 0);
        auto db = home.openDatabase();
        ASSERT_TRUE(db);
        Store store(*db);
        for (const auto& [serial, firmware, phone] : units)
            ASSERT_TRUE(test::succeeded(store.insert(
                QStringLiteral("Programacion"),
                row({{"LNumeroSerie", serial}, {"TVersion", firmware}, {"TTelefono", phone}, {"ByTLeq", 15}}))));
    }
};

} // namespace tvq52::test
