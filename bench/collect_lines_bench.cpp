// A collect round over several modem lines against the same round over one:
// paced simulated units (the line's real byte rate), tvq52-cli started as a
// user starts it. Full run: 12 units over 4 lines must take at most 0.35 of
// the time over one line.
#include "app/data_folder.h"
#include "bench_journaled.h"
#include "bench_support.h"
#include "db/database.h"
#include "db/store.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

using namespace tvq52;

namespace {

struct Office {
    int units = 0;
    int lines = 0;
    int days = 0;
};

QString phoneOf(int k)
{
    return QStringLiteral("5%1").arg(k, 3, 10, QLatin1Char('0'));
}

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0;
}

// A data folder that knows every unit of the office and its telephone number.
bool prepareHome(const QString& home, const Office& office)
{
    if (!provisionDataFolder(home))
        return false;
    auto db = Database::openSqlite(databasePath(home));
    if (!db)
        return false;
    Store store(**db);
    for (int k = 1; k <= office.units; ++k) {
        Row r;
        r.set(QStringLiteral("LNumeroSerie"), 3000 + k);
        r.set(QStringLiteral("TVersion"), QStringLiteral("4.0"));
        r.set(QStringLiteral("TTelefono"), phoneOf(k));
        r.set(QStringLiteral("ByTLeq"), 15);
        if (!store.insert(QStringLiteral("Programacion"), r))
            return false;
    }
    QString list;
    for (int k = 1; k <= office.units; ++k)
        list += QString::number(3000 + k) + QLatin1Char('\n');
    return writeText(QDir(home).filePath(QStringLiteral("units.txt")), list);
}

// Seconds the round took on `devices`; nothing when a unit was not collected.
std::optional<double> timedRound(const QString& home, const QStringList& devices, int units)
{
    QStringList args{QStringLiteral("--clock-speed"), QStringLiteral("50")};
    for (const QString& d : devices)
        args << QStringLiteral("--device") << d;
    args << QStringLiteral("collect") << QDir(home).filePath(QStringLiteral("units.txt")) << QStringLiteral("--quiet");
    const bench::CliRun run = bench::runCli(QStringLiteral(TVQ52_CLI), home, args, 30 * 60);
    const QByteArray done = QByteArray::number(units) + " of " + QByteArray::number(units) + " units collected";
    const bool collected = run.ok && run.out.contains(done);
    if (run.ok && !collected)
        std::fputs(run.out.constData(), stdout); // what it said instead; a failed run was shown already
    return collected ? std::optional<double>(run.seconds) : std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict verdict(argc, argv);
    QCoreApplication app(argc, argv);
    const Office office{verdict.size(12, 2), verdict.size(4, 2), verdict.size(2, 1)};
    QTemporaryDir work;
    QString officeText;
    for (int k = 1; k <= office.units; ++k)
        officeText += QStringLiteral("%1 %2 days=%3\n").arg(phoneOf(k)).arg(3000 + k).arg(office.days);
    const QString officeFile = work.filePath(QStringLiteral("office.txt"));
    const QString one = work.filePath(QStringLiteral("one")), many = work.filePath(QStringLiteral("many"));
    if (!writeText(officeFile, officeText) || !QDir().mkpath(one) || !QDir().mkpath(many) || !prepareHome(one, office)
        || !prepareHome(many, office)) {
        verdict.failed(QStringLiteral("the data folders could not be prepared"));
        return verdict.exitCode();
    }
    sim::SimProcess sim(QStringLiteral(TVQ52_SIM),
                        {QStringLiteral("--modem"), QStringLiteral("--lines"), QString::number(office.lines),
                         QStringLiteral("--pace"), QStringLiteral("--rings"), QStringLiteral("1"),
                         QStringLiteral("--ring-ms"), QStringLiteral("100"), QStringLiteral("--guard-ms"),
                         QStringLiteral("50"), QStringLiteral("--office"), officeFile});
    if (!sim.start(10000, office.lines)) {
        verdict.failed(QStringLiteral("the simulator did not start: ") + sim.error());
        return verdict.exitCode();
    }
    const std::optional<double> oneLine = timedRound(one, sim.devicePaths().mid(0, 1), office.units);
    const std::optional<double> allLines = timedRound(many, sim.devicePaths(), office.units);
    if (!oneLine || !allLines) {
        verdict.failed(QStringLiteral("a collect round did not collect every unit"));
        return verdict.exitCode();
    }
    std::printf("%d units of %d days, paced: one line %.1f s (%.1f units/min), %d lines %.1f s (%.1f units/min)\n",
                office.units, office.days, *oneLine, office.units * 60.0 / *oneLine, office.lines, *allLines,
                office.units * 60.0 / *allLines);
    verdict.atMost(QStringLiteral("%1 units over %2 lines against one line").arg(office.units).arg(office.lines),
                   *allLines / *oneLine, 0.35, "of the time");
    return verdict.exitCode();
}
