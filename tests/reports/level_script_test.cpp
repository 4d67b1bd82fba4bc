#include "i18n/loc_guru.h"
#include "reports/level_script.h"
#include "reports/report_format.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/printers.h"

using namespace tvq52;

namespace {

LevelScript parsed(const QString& text)
{
    auto result = LevelScript::parse(text);
    if (!result)
        ADD_FAILURE() << "script refused: " << result.error().detail.toStdString();
    return std::move(result).value();
}

// What the detail row prints for `variable` after the script ran.
QString printed(const ReportRow& row, const char* variable)
{
    return formatReportValue(row.value(QLatin1String(variable)), QString());
}

TEST(LevelScriptText, BlocksEndInCrLfAndTranslatedQuotesAreDoubled)
{
    LocGuru native;
    const QString script = BuildLevelScript(native);
    EXPECT_TRUE(script.startsWith(QStringLiteral("If [SL1] = 0 Then\r\n")));
    EXPECT_FALSE(script.contains(QRegularExpression(QStringLiteral("[^\\r]\\n"))));

    // A translation holding quotes is doubled in the script and prints whole.
    QTemporaryDir dir;
    QFile file(dir.filePath("lang.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[Localization Guru]\r\nNumberOfLanguages=2\r\nNumberOfStrings=1\r\nLanguage1=English\r\n"
        "Language1_Offset=12\r\n[NATIVE]\r\nS1=Sin calibrar\r\n[ENGLISH]\r\nS1=Not \"calibrated\"\r\n");
    file.close();
    LocGuru english;
    english.sForeignColumnName = QStringLiteral("English");
    ASSERT_TRUE(english.OpenLanguageDatabase(file.fileName(), true, LocGuru::TextFile));
    const QString translated = BuildLevelScript(english);
    EXPECT_TRUE(translated.contains(QStringLiteral(" LByDNA = \"Not \"\"calibrated\"\"\"\r\n")));
    ReportRow row;
    row.set(QStringLiteral("ByDNA"), 255);
    ASSERT_TRUE(parsed(translated).run(row));
    EXPECT_EQ(printed(row, "LByDNA"), QStringLiteral("Not \"calibrated\""));
}

TEST(LevelScriptRun, LevelsCountersAndFlagsOnIntervalAndSessionRows)
{
    LocGuru native;
    const LevelScript script = parsed(BuildLevelScript(native));
    struct Case {
        const char* column;
        QVariant value;
        const char* expected;
    };
    // Levels arrive as the database gives single-precision values: widened floats.
    const Case cases[] = {
        {"SL1", double(0.0f), "---"},          {"SL1", double(59.9f), "und"},
        {"SL1", double(120.1f), "up"},         {"SL1", double(75.0f), "75"},
        {"SL1", double(75.3f), "75.3"},        {"SL5", double(60.0f), "60"},
        {"SL10", double(120.0f), "120"},       {"SMaxFast", double(59.9f), "und"},
        {"SLeqVecino", double(0.0f), "---"},   {"SLeqVecino", double(45.0f), "45"},
        {"SLeqVecino", double(12.5f), "12.5"}, // no under-range mark on the neighbour side
        {"ByENA", 255, "Sin calibrar"},        {"ByENA", 12, "12min"},
        {"ByLineaInsuficiente", 0, "0min"},    {"ByDNA", 254, "254min"},
        {"BoProgramacion", 1, "Sí"},           {"BoProgramacion", -1, "Sí"},
        {"BoProgramacion", true, "Sí"},        {"BoProgramacion", 0, "No"},
        {"BoProgramacion", false, "No"},
    };
    for (const Case& c : cases) {
        ReportRow row;
        row.set(QLatin1String(c.column), c.value);
        ASSERT_TRUE(script.run(row));
        const QByteArray variable = QByteArray("L") + c.column;
        EXPECT_EQ(printed(row, variable.constData()), QString::fromUtf8(c.expected))
            << c.column << " = " << c.value.toString().toStdString();
    }

    // A session row has no percentiles or minute counters: those blocks are
    // skipped and leave nothing behind.
    ReportRow session;
    session.set(QStringLiteral("SLeq"), double(82.4f));
    session.set(QStringLiteral("SMaxFast"), double(121.5f));
    session.set(QStringLiteral("SLeqVecino"), double(0.0f));
    ASSERT_TRUE(script.run(session));
    EXPECT_EQ(printed(session, "LSLeq"), QStringLiteral("82.4"));
    EXPECT_EQ(printed(session, "LSMaxFast"), QStringLiteral("up"));
    EXPECT_EQ(printed(session, "LSLeqVecino"), QStringLiteral("---"));
    for (const char* absent : {"LSL1", "LSL90", "LByENA", "LBoProgramacion", "LSLeqLocal"})
        EXPECT_FALSE(session.has(QLatin1String(absent))) << absent;
}

TEST(LevelScriptRun, LanguageFeaturesAndNullValues)
{
    const LevelScript script =
        parsed(QStringLiteral("If [A] <> 3 Then\r\n"
                              " X = \"say \"\"hi\"\"\" & [A] & \"/\" & Y\r\n"
                              "ElseIf [A] >= 3 Then\r\n"
                              " If [B] <= -2 Then\r\n"
                              "  X = \"nested\"\r\n"
                              " End If\r\n"
                              "End If\r\n"));
    ReportRow a;
    a.set(QStringLiteral("A"), 4);
    a.set(QStringLiteral("B"), 0);
    a.set(QStringLiteral("Y"), QStringLiteral("y"));
    ASSERT_TRUE(script.run(a));
    EXPECT_EQ(a.value(QStringLiteral("X")).toString(), QStringLiteral("say \"hi\"4/y"));

    ReportRow b;
    b.set(QStringLiteral("A"), 3);
    b.set(QStringLiteral("B"), -2.0);
    ASSERT_TRUE(script.run(b));
    EXPECT_EQ(b.value(QStringLiteral("X")).toString(), QStringLiteral("nested"));

    // A null level takes no comparison branch and prints as nothing.
    LocGuru native;
    ReportRow nulls;
    nulls.set(QStringLiteral("SL1"), QVariant());
    ASSERT_TRUE(parsed(BuildLevelScript(native)).run(nulls));
    EXPECT_EQ(printed(nulls, "LSL1"), QString());
}

TEST(LevelScriptParse, MalformedScriptsAreRefusedWithTheirLine)
{
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"If [SL1] = 0 Then\r\n LSL1 = \"---\"\r\n", "line 1"},
        {"Else\r\n", "line 1"},
        {"End If\r\n", "line 1"},
        {"If [SL1] = 0 Then\r\n LSL1 = \"---\r\nEnd If\r\n", "line 2"},
        {"If [SL1] = 0\r\n LSL1 = 1\r\nEnd If\r\n", "line 1"},
        {"If [SL1] = 0 Then\r\n LSL1 == 1\r\nEnd If\r\n", "line 2"},
        {"If [SL1 = 0 Then\r\nEnd If\r\n", "line 1"},
        {"LSL1 = \r\n", "line 1"},
        {"If [SL1] = 0 Then\r\nElse\r\nElse\r\nEnd If\r\n", "line 3"},
        {"Print LSL1\r\n", "line 1"},
    };
    for (const auto& c : cases) {
        auto result = LevelScript::parse(QString::fromUtf8(c.text));
        ASSERT_FALSE(result) << c.text;
        const Error* error = &result.error();
        EXPECT_TRUE(isReportFailure(*error, ReportFailure::Script));
        EXPECT_TRUE(error->detail.startsWith(QLatin1String(c.line))) << error->detail.toStdString();
    }
}

TEST(ReportFormat, DatesInEveryLanguageAndNumbersAsStored)
{
    EXPECT_EQ(formatReportValue(QStringLiteral("2024-03-05"), QStringLiteral("date")), QStringLiteral("05/03/2024"));
    EXPECT_EQ(formatReportValue(QDate(1999, 12, 31), QStringLiteral("date")), QStringLiteral("31/12/1999"));
    EXPECT_EQ(formatReportValue(double(25.5f), QStringLiteral("#.00")), QStringLiteral("25.50"));
    EXPECT_EQ(formatReportValue(double(0.5f), QStringLiteral("#.00")), QStringLiteral(".50"));
    EXPECT_EQ(formatReportValue(7, QStringLiteral("00")), QStringLiteral("07"));
    EXPECT_EQ(formatReportValue(double(75.3f), QStringLiteral("0.00")), QStringLiteral("75.30"));
    EXPECT_EQ(formatReportValue(double(75.3f), QString()), QStringLiteral("75.3"));
    EXPECT_EQ(formatReportValue(QVariant(), QStringLiteral("date")), QString());
}

} // namespace
