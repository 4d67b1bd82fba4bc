#include "core/command_line_parser.h"
#include "core/own_words.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

const std::vector<OptionSpec> kOptions{{QStringLiteral("--home"), QStringLiteral("DIR")},
                                       {QStringLiteral("--device"), QStringLiteral("PATH")},
                                       {QStringLiteral("--json"), {}, {}, false},
                                       {QStringLiteral("--help"), {}, QStringLiteral("-h")}};

// The words read back as one line: arguments, then name=value of each option given, then the fault.
QString read(const QStringList& words, ParserRules rules)
{
    const ParsedWords p = parseWords(words, kOptions, rules);
    QStringList out{p.arguments.join(QLatin1Char('|'))};
    for (const auto& [name, value] : p.given)
        out << name + QLatin1Char('=') + value;
    if (p.fault)
        out << QStringLiteral("! ") + untranslatedText(*p.fault);
    return out.join(QLatin1Char(' '));
}

} // namespace

TEST(CommandLineParser, EachSyntaxReadsAsThePrograms)
{
    const ParserRules window;
    const ParserRules command{.singleDashOptions = false, .keepForCommand = true};
    const struct {
        QStringList words;
        ParserRules rules;
        const char* expected;
    } cases[] = {
        {{"--home", "/d", "4711"}, window, "4711 --home=/d"},
        {{"4711", "--home=/d=e"}, window, "4711 --home=/d=e"},
        // A value is the next word whatever it looks like, an empty one too.
        {{"--device", "--json", "--device="}, window, " --device=--json --device="},
        {{"-h", "-", "--", "--json", "-x"}, window, "-|--json|-x --help="},
        {{"-x"}, window, " ! Opción desconocida: -x"},
        {{"--homes=/d"}, window, " ! Opción desconocida: --homes=/d"},
        {{"--home"}, window, " ! La opción --home necesita un valor"},
        {{"--json=1"}, window, " ! La opción --json no admite valor"},
        {{"--json", "a", "--json"}, window, "a --json= ! La opción --json está repetida"},
        {{"--home", "a", "--home", "b"}, window, " --home=a --home=b"},
        // A command's own options stay with it, "--" too; shared ones are taken anywhere before "--".
        {{"-x", "--from=1", "-h", "--home", "/d", "--", "--home"}, command, "-x|--from=1|--|--home --help= --home=/d"},
        {{"--from", "download"}, command, " ! Opción desconocida: --from"},
        {{"--", "download", "--home", "/d"}, command, "download|--home|/d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.words, c.rules), QString::fromUtf8(c.expected)) << qPrintable(c.words.join(' '));
    const ParsedWords p = parseWords({"--home", "a", "--device", "x", "--home", "b"}, kOptions);
    EXPECT_EQ(p.value(QStringLiteral("--home")), QStringLiteral("b"));
    EXPECT_EQ(p.values(QStringLiteral("--home")), QStringList({"a", "b"}));
    EXPECT_TRUE(p.value(QStringLiteral("--json")).isNull());
}

TEST(CommandLineParser, HelpLinesLineUpTheTexts)
{
    const QString lines = optionLines(kOptions, {"folder", "line", "as JSON"});
    EXPECT_EQ(lines,
              QStringLiteral("  --home DIR     folder\n"
                             "  --device PATH  line\n"
                             "  --json         as JSON\n"
                             "  -h, --help\n"));
}
