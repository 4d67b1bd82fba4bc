#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/startup.h"
#include "exchange/database_merge_workflow.h"
#include "support/result_checks.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::ScriptedPrompter;
using tvq52::test::TempHome;

namespace {

// Records what start-up asked of the main window, in order.
class RecordingHost : public StartupHost {
public:
    QStringList calls;
    bool smallFonts = true;
    bool mergeResult = false;
    Prompter* realMerge = nullptr; // runs the program's merge when set
    AppContext* ctx = nullptr;

    void setCaption(const QString& title) override { calls << QStringLiteral("caption:") + title; }
    bool isSmallFontsScreen() override { return smallFonts; }
    void translateMainWindow() override { calls << QStringLiteral("translate"); }
    void showMainWindow() override { calls << QStringLiteral("show"); }
    void setImportPanelVisible(bool visible) override
    {
        calls << (visible ? QStringLiteral("panel:on") : QStringLiteral("panel:off"));
    }
    bool mergeDatabase(const QString& source) override
    {
        calls << QStringLiteral("merge:") + QFileInfo(source).fileName();
        if (realMerge)
            return ctx->db && runDatabaseMerge(*ctx->db, ctx->translator, *realMerge, source);
        return mergeResult;
    }
    void openImportWindow() override { calls << QStringLiteral("import:") + ctx->SelectedFile; }
    void openProgrammingWindow() override { calls << QStringLiteral("programming:") + ctx->CommandLineFile; }
    // What the database dialog answers, one a call.
    QList<std::optional<DatabaseTarget>> databaseChoices;
    std::optional<DatabaseTarget> chooseDatabase(const QString&) override
    {
        calls << QStringLiteral("database dialog");
        return databaseChoices.isEmpty() ? std::nullopt : databaseChoices.takeFirst();
    }
};

struct Started {
    TempHome home;
    AppContext ctx{home.path()};
    ScriptedPrompter prompter;
    RecordingHost host;
    Started()
    {
        home.provision();
        host.ctx = &ctx;
    }
    void run(const QString& commandLine = {}) { runStartup(ctx, prompter, host, commandLine); }
};

} // namespace

TEST(Startup, ProvisionedFolderStartsCleanlyAndOpensTheDatabase)
{
    Started s;
    s.run();
    EXPECT_TRUE(s.prompter.shown().isEmpty()) << s.prompter.shown().value(0).text.toStdString();
    EXPECT_EQ(s.host.calls, QStringList({"caption:TVQ-52", "translate", "show"}));
    ASSERT_TRUE(s.ctx.db);
    EXPECT_EQ(s.ctx.LanguageCodeValue, 1000);
    EXPECT_EQ(s.ctx.languageName, QStringLiteral("Español"));
}

TEST(Startup, LargeFontsWarnWithCatalogueText177AndGoOn)
{
    Started s;
    s.host.smallFonts = false;
    s.run();
    ASSERT_EQ(s.prompter.catalogueIds(), QList<int>({177}));
    EXPECT_EQ(s.prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("fuentes grandes")));
    EXPECT_TRUE(s.ctx.db);
    EXPECT_EQ(s.host.calls.last(), QStringLiteral("show"));
}

TEST(Startup, CommandLineChoosesImportOrProgramming)
{
    for (const auto& [commandLine, opened] :
         {std::pair{"\"/tmp/bar 1.tq52\"", "import:/tmp/bar 1.tq52"}, std::pair{" 4711 ", "programming:4711"},
          std::pair{"notes.txt", "programming:notes.txt"}}) {
        Started s;
        s.run(QString::fromUtf8(commandLine));
        EXPECT_EQ(s.host.calls, QStringList({"caption:TVQ-52", "translate", opened, "show"})) << commandLine;
        EXPECT_TRUE(s.ctx.SelectedFile.isEmpty());
    }
    Started s;
    s.run(QStringLiteral("\"/tmp/bar 1.tq52\""));
    EXPECT_EQ(s.ctx.CommandLineFile, QStringLiteral("/tmp/bar 1.tq52"));
}

// The marker is itself the database to restore, merged by the real merge.
TEST(Startup, RestoreMarkerGoesOnlyAfterASuccessfulMergeAndStartUpGoesOnEitherWay)
{
    Started s;
    s.host.realMerge = &s.prompter;
    const QString marker = restoreMarkerPath(s.home.path());

    // Junk: told, kept, and the command line still handled.
    s.home.writeFile(QStringLiteral("backupTVQ52.bak"), QByteArray("junk, not a database\n").repeated(40));
    s.run(QStringLiteral("4711"));
    EXPECT_TRUE(QFileInfo::exists(marker));
    ASSERT_EQ(s.prompter.shown().size(), 1);
    EXPECT_EQ(s.prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("backupTVQ52.bak")));
    EXPECT_TRUE(s.host.calls.contains(QStringLiteral("programming:4711")));
    const QStringList panel{"panel:on", "merge:backupTVQ52.bak", "panel:off"};
    EXPECT_EQ(s.host.calls.mid(3, 3), panel);

    // A backup lacking a table: what could be read is merged, the marker stays.
    QFile::remove(marker);
    ASSERT_TRUE(test::succeeded(Database::createSqlite(marker)));
    {
        auto backup = test::take(Database::openSqlite(marker));
        QSqlQuery q(backup->connection());
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (4711)")));
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE Sesiones")));
    }
    s.prompter.clear();
    s.run();
    EXPECT_TRUE(QFileInfo::exists(marker));
    ASSERT_EQ(s.prompter.shown().size(), 1);
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("Sesiones")));

    // Whole again: merged (the unit is present by now), then the marker goes.
    {
        auto backup = test::take(Database::openSqlite(marker));
        QSqlQuery q(backup->connection());
        ASSERT_TRUE(
            q.exec(createSchemaStatements(SqlDialect::SQLite).filter(QStringLiteral("TABLE \"Sesiones\"")).value(0)));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (4712)")));
    }
    s.prompter.clear();
    s.run();
    // Reading the backup left its log beside it: all of it goes.
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_FALSE(QFileInfo::exists(marker + QLatin1String(suffix))) << suffix;
    ASSERT_EQ(s.prompter.shown().size(), 1);
    EXPECT_EQ(s.prompter.shown()[0].style, MessageStyle::Information);
    QSqlQuery q(s.ctx.db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM Programacion WHERE LNumeroSerie IN (4711, 4712)"))
                && q.next());
    EXPECT_EQ(q.value(0).toInt(), 2);
}

// The rest of start-up is skipped, the command line included; the window shows.
TEST(Startup, AMissingSettingsFileOrADatabaseNotOursShowsTheFaultAndTheWindowWithoutDatabase)
{
    for (const bool noSettings : {true, false}) {
        Started s;
        if (noSettings) {
            QFile::remove(settingsPath(s.home.path()));
        } else {
            QFile::remove(databasePath(s.home.path()));
            s.home.writeFile(QStringLiteral("tvq52.db"),
                             "this is not a database at all, just some text that fills a page");
        }
        s.run(QStringLiteral("12345"));
        ASSERT_EQ(s.prompter.shown().size(), 1) << noSettings;
        EXPECT_EQ(s.prompter.shown()[0].style, MessageStyle::Critical);
        if (noSettings) {
            EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("SerialPort")));
        }
        EXPECT_FALSE(s.ctx.db);
        EXPECT_EQ(s.host.calls, QStringList({"show"})) << noSettings;
    }

    // A missing database is not silently replaced by an empty one.
    Started t;
    QFile::remove(databasePath(t.home.path()));
    t.run();
    EXPECT_FALSE(t.ctx.db);
    EXPECT_FALSE(QFileInfo::exists(databasePath(t.home.path())));
}

// A server that cannot be reached is told, and the database dialog offered
// until the user picks what opens or gives up.
TEST(Startup, AnUnreachableServerOffersTheDatabaseDialog)
{
    QTemporaryDir nowhere;
    const QString unreachable = QStringLiteral("postgresql://ana@/records?host=%1").arg(nowhere.path());
    {
        Started s;
        s.ctx.databaseOverride = unreachable;
        s.host.databaseChoices << std::nullopt;
        EXPECT_FALSE(runStartup(s.ctx, s.prompter, s.host, QStringLiteral("4711")));
        EXPECT_EQ(s.host.calls, QStringList({"database dialog"})) << "nothing more runs, not even the window";
        ASSERT_EQ(s.prompter.shown().size(), 1);
        EXPECT_EQ(s.prompter.shown()[0].style, MessageStyle::Critical);
        EXPECT_TRUE(s.prompter.shown()[0].text.contains(nowhere.path()));
        EXPECT_FALSE(s.ctx.db);
    }
    Started s;
    s.ctx.databaseOverride = unreachable;
    // The same again, then the folder's own file.
    s.host.databaseChoices << *DatabaseTarget::fromUri(unreachable)
                           << DatabaseTarget::sqlite(databasePath(s.home.path()));
    EXPECT_TRUE(runStartup(s.ctx, s.prompter, s.host, QString()));
    EXPECT_EQ(s.host.calls, QStringList({"database dialog", "database dialog", "caption:TVQ-52", "translate", "show"}));
    EXPECT_EQ(s.prompter.shown().size(), 2);
    ASSERT_TRUE(s.ctx.db);
    EXPECT_FALSE(s.ctx.db->isServer());
    EXPECT_FALSE(s.ctx.localDb) << "one connection when the records are the folder's";
}
