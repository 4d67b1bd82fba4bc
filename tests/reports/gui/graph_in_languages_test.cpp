// The graph window, the whole history and the graph report in the user's
// language, on a unit with a day of records; pictures of them go to
// $TVQ52_SHOTS for a person to look at.
#include "app/data_folder.h"
#include "app/settings.h"
#include "programming/programming_store.h"
#include "records/recorded_data.h"
#include "records/shown_unit.h"
#include "reports/graph_report.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/history_graph.h"
#include "support/layout_checks.h"
#include "support/rows.h"
#include "support/started_program.h"

#include <QBarSet>
#include <QChartView>
#include <QDir>
#include <QStackedBarSeries>

namespace tvq52::test {
namespace {

constexpr qint32 kSerial = 404040;

// Two days and a half of 10-minute intervals with a loud night, passes, a
// sensor-inactive hour and an afternoon without records.
void storeUnitWithRecords(AppContext& ctx)
{
    Store store(*ctx.db);
    ProgrammingRecord r = CreaProgramacio(QDate(2026, 4, 1));
    r.serial = kSerial;
    r.venue = QStringLiteral("Sala \"La Estación\"; 100% rock'n'roll");
    r.version = QStringLiteral("3.3");
    r.nightStart = QStringLiteral("22:00");
    r.nightEnd = QStringLiteral("08:00");
    ASSERT_TRUE(GrabaProgramacio(store, r, unusedIntervals()));
    const QDateTime base = wallClock(QDate(2026, 4, 10), QTime(12, 0));
    ASSERT_TRUE(store.transaction());
    for (int i = 0; i < 6 * 60; ++i) {
        const QDateTime start = base.addSecs(600LL * i);
        if (i >= 150 && i < 170)
            continue; // the unit was off
        const int hour = start.time().hour();
        const bool night = hour >= 22 || hour < 8;
        const double wave = 8 * std::sin(i / 7.0);
        const double venue = (night ? 88 : 72) + wave;
        const bool inactive = i >= 40 && i < 46;
        store.insert(QStringLiteral("Intervalos"),
                     row({{"LNumeroSerie", kSerial},
                          {"DFechaInicio", start.date()},
                          {"THoraInicio", start.time().toString(QStringLiteral("hh:mm"))},
                          {"DFechaFinal", start.addSecs(600).date()},
                          {"THoraFinal", start.addSecs(600).time().toString(QStringLiteral("hh:mm"))},
                          {"ByTLeq", 10},
                          {"SLeqLocal", inactive ? 0.0 : venue},
                          {"SLeqVecino", inactive ? 0.0 : venue - 50},
                          {"SMaxFast", inactive ? 0.0 : venue + 9},
                          {"ByNivelLeqLocal", night ? 85 : 95},
                          {"ByNivelLeqVecino", night ? 30 : 35},
                          {"ByNivelMFast", 105},
                          {"SMaxLeq1min", venue + 4},
                          {"SMinLeq1min", venue - 6},
                          {"SL1", venue + 6},
                          {"SL5", venue + 4},
                          {"SL10", venue + 3},
                          {"SL50", venue},
                          {"SL90", venue - 4},
                          {"IPasadasLocal", venue > (night ? 85 : 95) ? 30 : 0},
                          {"IPasadasVecino", venue - 50 > (night ? 30 : 35) ? 12 : 0},
                          {"IE3", inactive ? 1 : 0},
                          {"IDesco", i == 100 ? 1 : 0},
                          {"BoRS232", false},
                          {"BoProgramacion", false}}));
    }
    ASSERT_TRUE(store.commit());
}

TEST(GraphInLanguages, WindowsAndReportSpeakTheChosenLanguage)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    storeUnitWithRecords(ctx);
    const auto unit = loadShownUnit(*ctx.db, kSerial);
    ASSERT_TRUE(unit);
    const QString shots = qEnvironmentVariable("TVQ52_SHOTS");

    // The event bars' labels, which no window walk sees, and the charts' caption.
    const std::tuple<const char*, const char*, const char*, const char*> languages[] = {
        {"OptionEspañol", "es", "Sensor inactivo", "Gráfica"}, {"OptionAleman", "de", "Sensor inaktiv", "Grafik"}};
    for (const auto& [option, language, inactiveBars, chartsCaption] : languages) {
        program.chooseLanguage(option);
        const QString tag = QString::fromLatin1(language);
        GraphWindow window(ctx.guru, program.prompter, ctx.db.get());
        ASSERT_TRUE(window.load(*unit));
        window.resize(1000, 720);
        window.show();
        settle();
        auto* bars = qobject_cast<QStackedBarSeries*>(window.eventView()->chart()->series().first());
        ASSERT_NE(bars, nullptr);
        EXPECT_EQ(bars->barSets().at(EventSensorInactive)->label(), QString::fromUtf8(inactiveBars));
        // A day's change falls inside the newest 50 ten-minute records.
        window.showPoint(30);
        expectWhole(window, QStringLiteral("Form9_data_") + tag);

        HistoryGraphWindow history(ctx.guru, program.prompter, ctx.db.get());
        ASSERT_TRUE(history.load(*unit));
        history.show();
        settle();
        expectWhole(history, QStringLiteral("FormHistorial_data_") + tag);

        auto built = buildGraphReport(
            *ctx.db, ctx.guru, reportTemplatePath(findAssetFolder(), QStringLiteral("tvq52_4.xml")), kSerial,
            unit->firmware, window.levelPicture(), window.eventPicture(), reportFooterText(ctx),
            window.shownRange()->first, window.shownRange()->second);
        ASSERT_TRUE(built) << built.error().detail.toStdString();
        const RenderedReport& report = *built;
        EXPECT_TRUE(report.pageTexts(report.pageCount() - 1).contains(QString::fromUtf8(chartsCaption)));
        EXPECT_TRUE(report.pageTexts(0).contains(unit->venue));
        if (!shots.isEmpty() && QDir().mkpath(shots)) {
            EXPECT_TRUE(report.writePdf(QDir(shots).filePath(QStringLiteral("graph_report_%1.pdf").arg(tag))));
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
} // namespace tvq52::test
