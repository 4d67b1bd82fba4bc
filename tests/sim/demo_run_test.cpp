#include "cli/cli_run.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace tvq52;

// tools/run-demo.sh with no display stops before the window, the folder laid out.
TEST(DemoRun, TheFirstRunStoresTheOfficeWithAWeekForOneUnitAndALaterRunLeavesItAsItIs)
{
    test::CliRuns cli;
    auto runDemo = [&] {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("TVQ52_DEMO_HOME"), cli.home.path());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(TVQ52_SOURCE_DIR "/tools/run-demo.sh"), {QStringLiteral(TVQ52_BIN_DIR "/..")});
        EXPECT_TRUE(p.waitForFinished(240000) && p.exitCode() == 0) << p.readAll().constData();
    };
    runDemo();
    const QJsonArray fleet = QJsonDocument::fromJson(cli({"fleet", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(fleet.size(), 4) << "the overview lists the office's units";
    for (const QJsonValue& unit : fleet) {
        EXPECT_EQ(unit[QStringLiteral("lastOutcome")].toString(), "completed") << unit[QStringLiteral("serial")].toInt();
        EXPECT_FALSE(unit[QStringLiteral("phone")].toString().trimmed().isEmpty()) << "so that it can be called again";
    }
    const QJsonArray rows =
        QJsonDocument::fromJson(cli({"csv", "intervals", "21001", "--json"}).out.toUtf8())[QStringLiteral("rows")]
            .toArray();
    ASSERT_FALSE(rows.isEmpty());
    auto day = [](const QJsonValue& row) { return row[QStringLiteral("DFechaInicio")].toString().left(10); };
    EXPECT_GE(QDate::fromString(day(rows.last()), Qt::ISODate).daysTo(QDate::fromString(day(rows.first()), Qt::ISODate)),
              6)
        << "a week of intervals";
    EXPECT_EQ(cli({"verify"}).exitCode, 0) << "the journal holds what was stored";

    const QString journal = cli({"journal", "--json"}).out;
    runDemo();
    EXPECT_EQ(cli({"journal", "--json"}).out, journal) << "nothing was called again";
}
