#include "app/data_folder.h"
#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "programming/programming_store.h"
#include "support/result_checks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;

namespace {

// The programming stored for unit 4711, after `change` is saved into it.
StoredProgramming stored4711(const CliRuns& cli, const std::function<void(StoredProgramming&)>& change = {})
{
    auto db = test::take(Database::openSqlite(databasePath(cli.home.path())));
    EXPECT_TRUE(db);
    Store store(*db);
    auto stored = test::take(loadProgramming(store, 4711));
    EXPECT_TRUE(stored.has_value());
    if (stored && change) {
        change(*stored);
        EXPECT_TRUE(saveProgramming(store, stored->record, stored->intervals));
    }
    return stored.value_or(StoredProgramming{});
}

} // namespace

// get --save, change the stored record, put it, get it back from the unit.
// The clock runs 20 times fast: the paced put takes 1 s instead of 19.
TEST(CliProgram, GetSavePutAndGetBack)
{
    CliRuns cli;
    cli.startSim({"--serial", "4711", "--firmware", "4.0"});
    const auto run = [&](const QStringList& args) { return cli.onSim(QStringList{"--clock-speed", "20"} + args); };

    const CliResult get = run({"program", "get", "--save"});
    ASSERT_EQ(get.exitCode, 0) << qPrintable(get.err);
    // The record is printed in the data folder's language, Spanish here.
    EXPECT_TRUE(get.out.contains(QString::fromUtf8("N. Serie: 4711\nVersión: 4.0\n"))) << qPrintable(get.out);
    EXPECT_TRUE(get.out.contains(QString::fromUtf8("Sesión lunes: Cerrado\n"))) << qPrintable(get.out);
    EXPECT_TRUE(get.out.contains(QString::fromUtf8("Tiempo atenuación: 300 s\n")));
    EXPECT_TRUE(get.err.contains(QStringLiteral("Se ha guardado la programación de la unidad 4711")));

    stored4711(cli, [](StoredProgramming& p) {
        p.record.leqMinutes = 30;
        p.record.language = QStringLiteral("Italiano");
        p.record.octaves[0] = 20.3f;
        p.intervals[9] = {"01/05/24", "00:00", "02/05/24", "06:30"};
    });

    // With nobody at the terminal, a stored programming that differs from the
    // unit's is kept; the differences are one a line.
    const CliResult kept = run({"program", "get", "--save"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_TRUE(kept.err.contains(QRegularExpression(
        QString::fromUtf8("\\n +PC <-> TVQ52\\n\\nIdioma: +Italiano <-> Español\\nTiempo de Leq: +30 <-> \\d+\\n"))))
        << qPrintable(kept.err);
    EXPECT_TRUE(
        kept.err.contains(QString::fromUtf8("\n¿Desea reemplazar la programación existente por la recibida? [Cancel]")))
        << qPrintable(kept.err);
    EXPECT_FALSE(kept.out.contains("Tiempo de Leq: 30 min")) << "the unit's programming is shown";
    EXPECT_EQ(stored4711(cli).record.leqMinutes, 30);

    const CliResult put = run({"program", "put", "4711"});
    ASSERT_EQ(put.exitCode, 0) << qPrintable(put.err);
    EXPECT_TRUE(put.err.contains("377 de 377 bytes enviados, quedan 0 s")) << qPrintable(put.err);
    EXPECT_TRUE(put.err.contains("Transmisión realizada correctamente"));

    const CliResult back = run({"program", "get"});
    ASSERT_EQ(back.exitCode, 0) << qPrintable(back.err);
    EXPECT_TRUE(back.out.contains("Tiempo de Leq: 30 min\n")) << qPrintable(back.out);
    EXPECT_TRUE(back.out.contains("Idioma: Italiano\n"));
    EXPECT_TRUE(back.out.contains(QString::fromUtf8("Intervalo inhábil 10: 01/05/24 00:00 - 02/05/24 06:30\n")));
    // A level is given as the unit's single reads, not as the double nearest it.
    const CliResult json = run({"program", "get", "--json"});
    const QJsonArray octaves = QJsonDocument::fromJson(json.out.toUtf8()).object().value("octaves").toArray();
    EXPECT_EQ(octaves.at(0).toDouble(), 20.3) << qPrintable(json.out);

    // --yes replaces a differing stored programming with the unit's.
    stored4711(cli, [](StoredProgramming& p) { p.record.leqMinutes = 45; });
    const CliResult replaced = run({"--yes", "program", "get", "--save"});
    EXPECT_EQ(replaced.exitCode, 0) << qPrintable(replaced.err);
    EXPECT_EQ(stored4711(cli).record.leqMinutes, 30);
}

TEST(CliProgram, PutOfAnUnknownSerialAndGetFromASilentUnitFail)
{
    CliRuns cli;
    cli.startSim({"--serial", "4711"});
    const CliResult unknown = cli.onSim({"program", "put", "99"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("tvq52-cli: No hay programación guardada del número de serie 99"))
        << qPrintable(unknown.err);
    cli.startSim({"--fault", "silent"});
    const CliResult silent = cli.onSim({"--timeout-ms", "300", "program", "get"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_TRUE(silent.out.isEmpty());
}

TEST(CliMonitor, OneReadingALineForCountReadings)
{
    CliRuns cli;
    cli.startSim({"--serial", "4711", "--realtime-cases", "--realtime-ms", "0"});
    const CliResult r = cli.onSim({"monitor", "--count", "8", "--serial", "4711"});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << qPrintable(r.out);
    EXPECT_TRUE(lines[0].endsWith("(Día)   UND dBA   0 dB")) << qPrintable(lines[0]);
    EXPECT_TRUE(lines[1].endsWith(" 60.0 dBA  -7 dB")) << qPrintable(lines[1]);
    EXPECT_TRUE(lines[3].contains("   UP dBA -60 dB")) << qPrintable(lines[3]);
    EXPECT_TRUE(lines[4].endsWith("  --- dBA  -3 dB SENSOR INACTIVO")) << qPrintable(lines[4]);
    EXPECT_TRUE(lines[5].endsWith(QString::fromUtf8("-60 dB DESCONEXIÓN DE RED"))) << qPrintable(lines[5]);
    EXPECT_TRUE(lines[7].contains(QString::fromUtf8("(Noche)"))) << qPrintable(lines[7]);
    // --json: the same readings, one document a line, for programs.
    const CliResult json = cli.onSim({"monitor", "--count", "8", "--serial", "4711", "--json"});
    ASSERT_EQ(json.exitCode, 0) << qPrintable(json.err);
    const QStringList docs = json.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(docs.size(), 8) << qPrintable(json.out);
    const auto reading = [&](int k) { return QJsonDocument::fromJson(docs[k].toUtf8()).object(); };
    EXPECT_EQ(reading(1).value("level").toDouble(), 60.0) << qPrintable(docs[1]);
    EXPECT_EQ(reading(1).value("attenuation").toInt(), 7);
    EXPECT_TRUE(reading(4).value("sensorOff").toBool());
    EXPECT_TRUE(reading(4).value("level").isNull());
    EXPECT_TRUE(reading(5).value("mainsOff").toBool());
    EXPECT_TRUE(reading(7).value("night").toBool());
    EXPECT_TRUE(QDateTime::fromString(reading(0).value("time").toString(), Qt::ISODate).isValid());

    const CliResult other = cli.onSim({"monitor", "--count", "1", "--serial", "99"});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_TRUE(other.err.contains("no corresponde a la ficha actual")) << qPrintable(other.err);
}

TEST(CliMonitor, AStreamErrorAfterAReadingExitsNonZero)
{
    // Frame 1 answers the identification, frame 3 is the second reading.
    CliRuns cli;
    cli.startSim({"--realtime-ms", "0", "--fault", "bad-check:3"});
    const CliResult r = cli({"monitor", "--device", cli.sim->devicePath(), "--count", "5"});
    EXPECT_EQ(r.out.count('\n'), 1) << qPrintable(r.out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("Error en la transmisión de datos"))) << qPrintable(r.err);
}
