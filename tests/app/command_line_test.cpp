#include "app/command_line.h"
#include "exchange/exchange_format.h"

#include <gtest/gtest.h>

using namespace tvq52;

TEST(GetCommandLineFile, QuotesAndBlanks)
{
    EXPECT_EQ(GetCommandLineFile(QStringLiteral("  \"C:\\datos\\bar 1.TQ52\"  ")),
              QStringLiteral("C:\\datos\\bar 1.TQ52"));
    // A single quote loses just that character, wherever it stands.
    EXPECT_EQ(GetCommandLineFile(QStringLiteral("ab\"cd")), QStringLiteral("abcd"));
    // The third quote stays.
    EXPECT_EQ(GetCommandLineFile(QStringLiteral("\"a\"b\"c")), QStringLiteral("ab\"c"));
    EXPECT_EQ(GetCommandLineFile(QStringLiteral("   ")), QString());
    EXPECT_EQ(GetCommandLineFile(QStringLiteral(" 1234 ")), QStringLiteral("1234"));
    // Blanks inside the quotes are kept; trimming happens before the quotes go.
    EXPECT_EQ(GetCommandLineFile(QStringLiteral("\" 12 \"")), QStringLiteral(" 12 "));
}

// What a later start hands over arrives as it meant it: its exchange file
// named whole, whatever the running program's folder; a serial as it is.
TEST(HandOverArgument, AnExchangeFileArrivesWholeAndExactly)
{
    for (const auto& [argument, arrives] :
         {std::pair{"bar.TQ52", "/w/bar.TQ52"}, std::pair{"\"sub/bar 1.tq52\"", "/w/sub/bar 1.tq52"},
          std::pair{"/x/bar.TQ52", "/x/bar.TQ52"}, std::pair{" \"1002\"", "1002"}})
        EXPECT_EQ(GetCommandLineFile(handOverArgument(QString::fromLatin1(argument), QStringLiteral("/w"))),
                  QString::fromLatin1(arrives))
            << argument;
}

TEST(ExchangeFileName, ExtensionInAnyCase)
{
    for (const char* name : {"bar.TQ52", "bar.tq52", "bar.Tq52", "/x/y/bar.tQ52", ".TQ52"})
        EXPECT_TRUE(isExchangeFileName(QString::fromLatin1(name))) << name;
    for (const char* name : {"12345", "bar.TQ5", "bar.TQ52.bak", "bar.mdb", "TQ52", "bar TQ52"})
        EXPECT_FALSE(isExchangeFileName(QString::fromLatin1(name))) << name;
}

TEST(ParseCommandLine, HomeOptionIsTakenOffTheArgument)
{
    CommandLine cl = parseCommandLine({"tvq52", "--home", "/d", "12345"});
    EXPECT_EQ(cl.home, QStringLiteral("/d"));
    EXPECT_EQ(cl.argument, QStringLiteral("12345"));

    cl = parseCommandLine({"tvq52", "my", "bar.TQ52", "--home=/e"});
    EXPECT_EQ(cl.home, QStringLiteral("/e"));
    EXPECT_EQ(cl.argument, QStringLiteral("my bar.TQ52"));

    cl = parseCommandLine({"tvq52", "--home"});
    EXPECT_FALSE(cl.error.isEmpty());
}

TEST(ParseCommandLine, UnknownOptionsAreRefusedNotTakenForASerialNumber)
{
    for (const char* option : {"--bogus", "-x", "--homes=/d", "--help-me"}) {
        const CommandLine cl = parseCommandLine({"tvq52", option});
        EXPECT_TRUE(cl.error.contains(QString::fromLatin1(option))) << option;
        EXPECT_TRUE(cl.argument.isEmpty()) << option;
    }
    // After "--" everything is the argument, dashes and all.
    CommandLine cl = parseCommandLine({"tvq52", "--", "--odd name.TQ52"});
    EXPECT_TRUE(cl.error.isEmpty());
    EXPECT_EQ(cl.argument, QStringLiteral("--odd name.TQ52"));
    // A lone dash is an argument too.
    EXPECT_EQ(parseCommandLine({"tvq52", "-"}).argument, QStringLiteral("-"));
}

TEST(ParseCommandLine, HelpVersionAndValuesAreReadFromMainsOwnArguments)
{
    const char* const argv[] = {"tvq52", "--database=postgresql://a@b/c", "--help", "--version", "4711"};
    const CommandLine cl = parseCommandLine(5, argv);
    EXPECT_TRUE(cl.help);
    EXPECT_TRUE(cl.version);
    EXPECT_EQ(cl.database, QStringLiteral("postgresql://a@b/c"));
    EXPECT_EQ(cl.argument, QStringLiteral("4711"));
    EXPECT_FALSE(parseCommandLine({"tvq52", "--database"}).error.isEmpty());

    const QString usage = commandLineUsage();
    for (const char* word : {"--home", "--database", "--help", "--version", "~/.local/share/tvq52"})
        EXPECT_TRUE(usage.contains(QString::fromLatin1(word))) << word;
    // Every line is said in the user's language.
    const QString marked = commandLineUsage([](const QString& text) { return QStringLiteral("«%1»").arg(text); });
    for (const QString& line : marked.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(line.contains(QStringLiteral("»"))) << qPrintable(line);
}
