// Start-up as a user sees it: from starting the program to its main window
// first painted, with an empty database and with a million interval records
// stored. The program itself is started, each time afresh; it says when the
// window is painted (TVQ52_STARTUP_PROBE) and ends.
#include "app/data_folder.h"
#include "bench_support.h"
#include "db/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <vector>

using namespace tvq52;

namespace {

void fillIntervals(const QString& home, int rows)
{
    auto opened = Database::openSqlite(databasePath(home));
    if (!opened)
        qFatal("cannot open the bench database");
    QSqlDatabase c = (*opened)->connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(QStringLiteral(
        "INSERT INTO \"Intervalos\" (\"LNumeroSerie\", \"DFechaInicio\", \"THoraInicio\", \"DFechaFinal\", "
        "\"THoraFinal\", \"SLeqLocal\", \"SLeqVecino\", \"ByTLeq\") VALUES (?, ?, ?, ?, ?, ?, ?, 5)"));
    const QDate start(2020, 1, 1);
    for (int i = 0; i < rows; ++i) {
        const int slot = i / 20;
        const QString day = start.addDays(slot / 288).toString(Qt::ISODate);
        const QString t = QStringLiteral("%1:%2")
                              .arg(slot % 288 / 12, 2, 10, QLatin1Char('0'))
                              .arg(slot % 12 * 5, 2, 10, QLatin1Char('0'));
        for (const QVariant& v : QVariantList{1000 + i % 20, day, t, day, t, 80.5, 40.5})
            q.addBindValue(v);
        if (!q.exec())
            qFatal("cannot fill the bench database");
    }
    c.commit();
}

// Milliseconds from starting the program to its word that the main window
// was painted; nothing when it never came or the program failed.
std::optional<double> timedStart(const QString& home)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TVQ52_STARTUP_PROBE"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(TVQ52_PROGRAM), {QStringLiteral("--home"), home});
    QByteArray said;
    while (!said.contains("first paint") && clock.elapsed() < 60000 && program.state() != QProcess::NotRunning) {
        program.waitForReadyRead(100);
        said += program.readAllStandardOutput();
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    const bool ended = program.waitForFinished(10000);
    if (!said.contains("first paint") || !ended || program.exitStatus() != QProcess::NormalExit
        || program.exitCode() != 0) {
        program.kill();
        return std::nullopt;
    }
    return ms;
}

// The median of `runs` starts after one that warms the file cache.
std::optional<double> medianStart(const QString& home, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i <= runs; ++i) {
        const std::optional<double> one = timedStart(home);
        if (!one)
            return std::nullopt;
        if (i > 0)
            ms.push_back(*one);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict verdict(argc, argv);
    QCoreApplication app(argc, argv);
    const int stored = verdict.size(1000000, 20000);
    const int runs = verdict.size(9, 1);
    QTemporaryDir emptyHome, fullHome;
    for (const QTemporaryDir* home : {&emptyHome, &fullHome})
        if (!provisionDataFolder(home->path()))
            qFatal("cannot provision a data folder");
    fillIntervals(fullHome.path(), stored);

    const std::optional<double> empty = medianStart(emptyHome.path(), runs);
    const std::optional<double> full = medianStart(fullHome.path(), runs);
    if (!empty || !full) {
        verdict.failed(QStringLiteral("the program did not start and paint its main window"));
        return verdict.exitCode();
    }
    verdict.atMost(QStringLiteral("start to main window painted, empty database"), *empty, 400, "ms");
    verdict.atMost(QStringLiteral("start to main window painted, %1 intervals stored").arg(stored), *full, 400, "ms");
    // Start-up reads nothing that grows with the records.
    verdict.atMost(QStringLiteral("what the stored intervals add to the start"), *full - *empty, 50, "ms");
    return verdict.exitCode();
}
