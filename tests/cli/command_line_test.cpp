#include "cli_run.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::runCli;

namespace {

// A data folder whose messages are in the language `localeId`.
void useLanguage(const CliRuns& cli, const char* localeId)
{
    const CliResult set = cli({"config", "set", "Language", localeId});
    ASSERT_EQ(set.exitCode, 0) << qPrintable(set.err);
}

} // namespace

TEST(CliCommandLine, EachCommandHasItsOwnHelpAndABareRunIsAUsageError)
{
    CliRuns cli;
    useLanguage(cli, "1033");
    const CliResult own = cli({"download", "--help"});
    EXPECT_EQ(own.exitCode, 0);
    EXPECT_FALSE(own.out.contains(QStringLiteral("collect FILE"))) << "only the command asked about";
    EXPECT_LT(own.out.count(QLatin1Char('\n')), 15);
    EXPECT_EQ(cli({"help", "download"}).out, own.out);
    EXPECT_EQ(cli({"-h", "download"}).out, own.out);
    EXPECT_EQ(cli({"download", "-h"}).out, own.out);

    // The program with two forms shows both.
    const CliResult program = cli({"help", "program"});
    EXPECT_TRUE(program.out.contains(QStringLiteral("program get [--save] [--json]\n")));
    EXPECT_TRUE(program.out.contains(QStringLiteral("program put SERIAL")));

    const CliResult all = cli({"--help"});
    EXPECT_EQ(all.exitCode, 0);
    for (const char* command : {"identify", "init", "config get KEY", "program get", "monitor", "download", "collect",
                                "verify", "journal", "merge", "report programming", "import", "export", "csv"})
        EXPECT_TRUE(all.out.contains(QStringLiteral("\n  ") + QLatin1String(command))) << command;
    EXPECT_TRUE(all.out.contains(QStringLiteral("--database URI")));

    const CliResult bare = runCli({});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_TRUE(bare.out.isEmpty()) << "usage of a bare run goes to standard error";
    EXPECT_EQ(bare.err, runCli({"--help"}).out);
}

// The help of tvq52-cli and of tvq52-sim speaks the data folder's language;
// in English it reads word for word as it always has.
TEST(CliCommandLine, HelpIsInTheUsersLanguage)
{
    CliRuns cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TVQ52_HOME"), cli.home.path());
    const auto simHelp = [&environment] {
        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), {QStringLiteral("--help")});
        sim.waitForFinished();
        return QString::fromUtf8(sim.readAllStandardOutput());
    };
    const struct {
        const char* language;
        QStringList args; // empty: the simulator's help
        const char* text;
    } cases[] = {
        {"1033",
         {"help", "download"},
         "usage: tvq52-cli [options] download [--from WHEN] [--to WHEN] [--json] [--quiet]\n\n"
         "    Downloads the recorded data of the unit on the line into the database; by\n"
         "    default from its newest stored interval to now. WHEN is \"dd/mm/yy hh:nn\",\n"
         "    \"dd/mm/yyyy hh:nn\" or ISO 8601 (2026-12-01T22:00 or \"2026-12-01 22:00\").\n"
         "    Progress is one line on a terminal, one summary line otherwise; --quiet\n"
         "    shows none. Ctrl-C stops the download as the window's Stop does (exit\n"
         "    status 130). Exit status 0 only when the download completed.\n\n"
         "The shared options (--home, --database, --device, ...) are listed by tvq52-cli --help.\n"},
        {"1033", {"--help"}, "usage: tvq52-cli [options] COMMAND [options]\n\nCommands:\n  identify [--json]\n"},
        {"1033", {"--help"}, "\n  --home DIR        data folder (default $TVQ52_HOME or the per-user folder)\n"},
        {"1033", {"help", "verify-report"}, " says so).\n    Exit status 0 when"},
        {"1033", {}, " Log the traffic on standard error.\n"},
        {"1033", {}, "Make a fault: garbage, bad-check, stall,"},
        {"1031", {"help", "download"}, "Aufruf: tvq52-cli [Optionen] download [--from WHEN]"},
        {"1031", {"help", "download"}, "\n    Lädt die aufgezeichneten Daten des Geräts an der Leitung in die"},
        {"1031", {"help", "collect"}, "Aufruf: tvq52-cli [Optionen] collect --scheduled [FILE]\n"},
        {"1031", {"help", "config"}, "Gibt eine Einstellung der Einstellungsdatei des Datenordners aus"},
        {"1031", {"--help"}, "Befehle:\n  identify [--json]\n    Identifiziert das Gerät"},
        {"1031",
         {"--help"},
         "Optionen (vor oder nach dem Befehl; --name=VALUE wirkt wie --name VALUE):\n  --home DIR        Datenordner"},
        {"1031", {}, "Schaltet ein Hayes-Modem vor das Gerät.\n"},
        {"1031", {}, "Erzeugt einen Fehler: garbage, bad-check, stall,"},
        {"1031", {}, "Die Uhr des Geräts, yyyy-MM-ddTHH:mm, vor dem Ende der Historie"},
    };
    for (const auto& c : cases) {
        useLanguage(cli, c.language);
        const QString help = c.args.isEmpty() ? simHelp() : cli(c.args).out;
        EXPECT_TRUE(help.contains(QString::fromUtf8(c.text)))
            << c.language << ' ' << qPrintable(c.args.join(' ') + ":\n" + help);
        // The flowed lines fit a terminal in every language; a synopsis is as long as it is.
        for (const QString& line : c.args.isEmpty() ? QStringList() : help.split(QLatin1Char('\n')))
            EXPECT_TRUE(!line.startsWith(QLatin1String("    ")) || line.size() <= 79) << qPrintable(line);
    }
}

TEST(CliCommandLine, OptionsTakeTheirValueAfterAnEqualsSignToo)
{
    CliRuns cli;
    const QString home = QStringLiteral("--home=") + cli.home.path();
    ASSERT_EQ(runCli({home, "config", "set", "User", "Inspección Norte"}).exitCode, 0);
    // The shared options stand before or after the command, in either form; "--" ends them.
    const QString dir = cli.home.path();
    for (const QStringList& args :
         {QStringList{home, "config", "get", "User"}, {"config", "get", "User", home},
          {"config", "--home", dir, "get", "User"}, {"--home", dir, "--", "config", "get", "User"},
          {"config", "get", "--home", dir, "--", "User"}}) {
        const CliResult got = runCli(args);
        EXPECT_EQ(got.exitCode, 0) << qPrintable(args.join(' ') + ": " + got.err);
        EXPECT_EQ(got.out, QStringLiteral("Inspección Norte\n")) << qPrintable(args.join(' '));
    }
    EXPECT_EQ(runCli({"config", "get", "User", "--", home}).exitCode, 2) << "after \"--\" it is the command's word";
    // A command's own option with "=": the date is read, then refused for the range.
    useLanguage(cli, "1033");
    const CliResult range = cli({"download", "--from=2026-12-01T22:00", "--to=01/12/26 21:00"});
    EXPECT_EQ(range.exitCode, 2);
    EXPECT_TRUE(range.err.contains(QStringLiteral("tvq52-cli: The range's end is not after its start")))
        << qPrintable(range.err);
    // A value that is not a date is named, whatever form it came in.
    const CliResult bad = cli({"download", "--from=2026-02-30T10:00"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("tvq52-cli: Not a date and time: 2026-02-30T10:00")))
        << qPrintable(bad.err);
}

// Every refusal goes to standard error, prefixed, in the data folder's language.
TEST(CliCommandLine, RefusalsAreErrorsInTheUsersLanguage)
{
    CliRuns cli;
    useLanguage(cli, "1031");
    const struct {
        QStringList args;
        int exitCode;
        const char* text;
    } cases[] = {
        {{"frobnicate"}, 2, "tvq52-cli: Unbekannter Befehl: frobnicate"},
        {{"help", "frobnicate"}, 2, "tvq52-cli: Unbekannter Befehl: frobnicate"},
        {{"--frob", "identify"}, 2, "tvq52-cli: Unbekannte Option: --frob"},
        {{"identify", "--frob"}, 2, "tvq52-cli: Unbekannte Option: --frob"},
        {{"journal", "--serial"}, 2, "tvq52-cli: Die Option --serial braucht einen Wert"},
        {{"journal", "--json", "--json"}, 2, "tvq52-cli: Die Option --json ist doppelt angegeben"},
        {{"journal", "--json=yes"}, 2, "tvq52-cli: Die Option --json nimmt keinen Wert"},
        {{"--yes=1", "identify"}, 2, "tvq52-cli: Die Option --yes nimmt keinen Wert"},
        {{"--home"}, 2, "tvq52-cli: Die Option --home braucht einen Wert"},
        {{"verify", "1", "2"}, 2, "tvq52-cli: Überzähliges Argument: 2"},
        {{"collect"}, 2, "tvq52-cli: Es fehlen Argumente"},
        {{"--port", "300", "identify"}, 2, "tvq52-cli: --port braucht eine Zahl von 0 bis 255"},
        {{"--device", "", "download"}, 2, "tvq52-cli: --device braucht den Pfad eines Geräts: er wurde leer angegeben"},
        {{"--device= ", "identify"}, 2, "tvq52-cli: --device braucht den Pfad eines Geräts"},
        {{"config", "get", "Colour"}, 2, "tvq52-cli: Unbekannte Einstellung: Colour"},
        {{"config", "set", "Modem", "x"}, 2, "tvq52-cli: Modem kann nicht gesetzt werden"},
        {{"import", cli.home.file(QStringLiteral("missing.TQ52"))}, 1, "tvq52-cli: "},
        {{"merge", cli.home.file(QStringLiteral("missing.db"))}, 1, "tvq52-cli: "},
        {{"csv", "grids", "1"}, 2, "tvq52-cli: Unbekannte Tabellenart: grids"},
        {{"roles", "grant", "ana", "owner"}, 2, "tvq52-cli: Unbekannte Stufe: owner"},
        {{"roles", "list", "x"}, 2, "tvq52-cli: Überzähliges Argument: x"},
        {{"roles", "list"}, 1, "tvq52-cli: Rollen gibt es nur in einer Serverdatenbank"},
        {{"export", cli.home.file(QStringLiteral("x.TQ52")), "999"},
         1,
         "tvq52-cli: Vom Gerät 999 ist nichts gespeichert"},
        {{"csv", "sessions", "999"}, 1, "tvq52-cli: Das Gerät 999 ist nicht gespeichert\n"},
        {{"report", "programming", "999", "--pdf", cli.home.file(QStringLiteral("p.pdf"))},
         1,
         "tvq52-cli: Das Gerät 999 ist nicht gespeichert\n"},
        {{"report", "sessions", "999", "--from", "2026-12-01", "--to", "2026-12-02", "--pdf",
          cli.home.file(QStringLiteral("s.pdf"))},
         1,
         "tvq52-cli: Das Gerät 999 ist nicht gespeichert\n"},
        {{"csv", "intervals", "999", "--from", "2026-12-02", "--to", "2026-12-01T23:00"},
         2,
         "tvq52-cli: Das Ende des Zeitraums liegt nicht nach seinem Anfang"},
    };
    for (const auto& c : cases) {
        const CliResult r = cli(c.args);
        const QString what = c.args.join(QLatin1Char(' '));
        EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(what + ": " + r.err);
        EXPECT_TRUE(r.err.startsWith(QString::fromUtf8(c.text))) << qPrintable(what + ": " + r.err);
        EXPECT_TRUE(r.out.isEmpty()) << qPrintable(what + ": " + r.out);
    }
    // Refusing a unit with nothing stored leaves no file behind.
    for (const char* name : {"x.TQ52", "p.pdf", "s.pdf"})
        EXPECT_FALSE(QFile::exists(cli.home.file(QLatin1String(name)))) << name;
}

// Words that are refused are refused before the data folder is touched.
TEST(CliCommandLine, ARefusedCommandLineLaysOutNothing)
{
    CliRuns cli;
    for (const QStringList& args :
         {QStringList{"bogus"}, {"help", "bogus"}, {"download", "--bogus"}, {"--port", "x", "identify"},
          {"csv", "intervals"}, {"csv", "grids", "1"}, {"program", "bogus"}, {"config", "get", "Colour"},
          {"report", "programming", "x", "--pdf", "x.pdf"}, {"csv", "intervals", "1", "--to", "2026-12-31T25:00"}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' ') + ": " + r.err);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("tvq52-cli: "))) << qPrintable(r.err);
        EXPECT_TRUE(QDir(cli.home.path()).isEmpty()) << qPrintable(args.join(' '));
    }
}

TEST(CliCommandLine, DatesAreTakenInEitherFormWhereverADateIsTaken)
{
    CliRuns cli;
    useLanguage(cli, "1033");
    for (const char* when : {"2026-12-01T22:00", "2026-12-01 22:00", "2026-12-01T22:00:30", "01/12/26 22:00",
                             "01/12/2026 22:00", "2026-12-01", "2026-12-01T22:00Z", "2026-12-01 22:00:30-03:00"}) {
        // With no unit on the line the download fails after taking the date;
        // csv of a unit not stored says so once the date is taken.
        const CliResult download = cli(
            {"--device", cli.home.file(QStringLiteral("no-port")), "download", "--from", QString::fromLatin1(when)});
        EXPECT_EQ(download.exitCode, 1) << when << qPrintable(download.err);
        EXPECT_FALSE(download.err.contains(QStringLiteral("Not a date"))) << when;
        const CliResult csv = cli({"csv", "intervals", "5", "--machine", "--to", QString::fromLatin1(when)});
        EXPECT_EQ(csv.exitCode, 1) << when << qPrintable(csv.err);
        EXPECT_EQ(csv.err, QStringLiteral("tvq52-cli: Unit 5 is not stored\n")) << when;
    }
    for (const char* when : {"2026-12-01Z", "2026-12-01T25:00", "31/11/26 10:00", "1/12/26"}) {
        const CliResult r = cli({"csv", "sessions", "5", "--from", QString::fromLatin1(when)});
        EXPECT_EQ(r.exitCode, 2) << when;
        EXPECT_TRUE(r.err.contains(QStringLiteral("Not a date and time: ") + QLatin1String(when))) << qPrintable(r.err);
    }
}

// The shipped bash completion offers every command the help lists, and after
// a command every option its help gives.
TEST(CliCommandLine, BashCompletionOffersEveryCommandAndOptionTheHelpLists)
{
    const auto complete = [](const QStringList& words) {
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   QStringList{"-c", R"(source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tvq52_cli;
                                   printf '%s\n' "${COMPREPLY[@]}")",
                               "bash", TVQ52_SOURCE_DIR "/packaging/bash-completion/tvq52-cli", "tvq52-cli"}
                       + words);
        bash.waitForFinished();
        return QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    const QStringList offered = complete({""});
    static const QRegularExpression commandLine(QStringLiteral("^  ([a-z][a-z-]*)"),
                                                QRegularExpression::MultilineOption);
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    QSet<QString> commands;
    for (const auto& m : commandLine.globalMatch(runCli({"--help"}).out))
        commands << m.captured(1);
    ASSERT_GT(commands.size(), 10);
    for (const QString& command : commands) {
        EXPECT_TRUE(offered.contains(command)) << qPrintable(command);
        const QStringList options = complete({command, "--"});
        for (const auto& m : option.globalMatch(runCli({"help", command}).out.section(QStringLiteral("\n\n"), 0, 0)))
            EXPECT_TRUE(options.contains(m.captured(0))) << qPrintable(command + ' ' + m.captured(0));
    }
    EXPECT_EQ(complete({"--de"}), QStringList({"--device"}));
    EXPECT_EQ(complete({"csv", "s"}), QStringList({"sessions"}));
}
