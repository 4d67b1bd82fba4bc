#include "exchange/exchange_convert.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"
#include "support/exchange_lines.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace tvq52;
using tvq52::test::dataLine;

namespace {

// A record as the reader gives it with splitting left for later.
ExchangeRecord rawRecord(const QByteArray& raw, bool utf8 = false)
{
    ExchangeRecord r;
    r.kind = ExchangeRecord::Kind::Fields;
    r.line = 9;
    r.raw = raw;
    r.utf8 = utf8;
    r.fields = splitFields(utf8 ? QString::fromUtf8(raw) : decodeWindows1252(raw), -1, &r.quoted);
    return r;
}

// What the general way makes of the record, as a sink row; false when it refuses it.
bool generalRow(const SectionConverter& c, const ExchangeRecord& r, SinkRow* row)
{
    QVariantList values;
    if (c.convert(r, values))
        return false;
    fillSinkRow(values, *row);
    return true;
}

void expectSameRow(const SinkRow& fast, const SinkRow& general, const QByteArray& raw)
{
    ASSERT_EQ(fast.size(), general.size()) << raw.constData();
    for (size_t i = 0; i < fast.size(); ++i) {
        EXPECT_EQ(int(fast[i].kind), int(general[i].kind)) << raw.constData() << " column " << i;
        if (fast[i].kind == SinkValue::Kind::Integer) {
            EXPECT_EQ(fast[i].integer, general[i].integer) << raw.constData() << " column " << i;
        } else if (fast[i].kind == SinkValue::Kind::Real) {
            EXPECT_EQ(fast[i].real, general[i].real) << raw.constData() << " column " << i;
        }
        EXPECT_EQ(fast.text(i), general.text(i)) << raw.constData() << " column " << i;
    }
}

// A record of `section` with `given` fields and the others by default.
QByteArray line(const char* section, const tvq52::test::Fields& given)
{
    return dataLine(section, given, "");
}

// Reads each record both ways: whether the byte reading takes it is
// `taken`; when it does, the row is the one the general reading gives.
void checkBothWays(const char* section, const std::vector<std::pair<QByteArray, bool>>& records, bool utf8 = false)
{
    const SectionConverter c(*exchangeSection(QString::fromLatin1(section)), SqlDialect::SQLite);
    for (const auto& [raw, taken] : records) {
        const ExchangeRecord r = rawRecord(raw, utf8);
        SinkRow fast, general;
        const bool byBytes = c.convertBytes(r, fast);
        EXPECT_EQ(byBytes, taken) << raw.constData();
        if (byBytes) {
            ASSERT_TRUE(generalRow(c, r, &general)) << raw.constData() << ": the general way refuses it";
            expectSameRow(fast, general, raw);
        }
    }
}

} // namespace

TEST(ExchangeBytes, TheFormsADownloadOrAnExportWritesAreReadFromTheBytesAsTheGeneralWayReadsThem)
{
    checkBothWays("DiaBorrado", {
                                    {"52001;2024-03-05;\"10:15\"", true},
                                    {"52001;05/03/2024;10:15", true},
                                    {"52001;2024/03/05 00:00:00;10:15", true},
                                    {"-7;2024-02-29 23:59;\"23:59\"", true},
                                });
    // The day of a level's minute as a download writes it.
    auto session = [](tvq52::test::Fields given) {
        given.try_emplace(QStringLiteral("TFechaMaxLeq1min"), QStringLiteral("\"05/03/2024\""));
        given.try_emplace(QStringLiteral("TFechaMinLeq1min"), QStringLiteral("\"2024-03-05\""));
        return line("Sesiones", given);
    };
    checkBothWays("Sesiones", {
                                  {session({{"DFechaInicio", "2024-03-05 22:00:00"}, {"SLeq", "70,25"}}), true},
                                  {session({{"DFechaInicio", "2024-03-05 22:00"}, {"DFechaFinal", ""}, {"SLeq", ""}}),
                                   true},
                                  {session({{"DFechaInicio", "2024-03-05"}, {"SLeq", "1e2"}, {"LDesco", "-1"}}), true},
                                  {session({{"SMaxFast", "0.1"}, {"SL1", "3.4028234e38"}, {"SL5", "-1.5e-7"}}), true},
                                  {session({{"TFechaMinLeq1min", "\"5/3/24\""}}), false},
                                  {session({{"TFechaMinLeq1min", "\"\""}}), true},
                                  {session({{"TFechaMinLeq1min", ""}}), true},
                              });
    checkBothWays("Programacion",
                  {{line("Programacion", {{"BoCambioHora", "True"}}), true},
                   {line("Programacion", {{"BoCambioHora", "-1"}}), true},
                   {line("Programacion", {{"BoCambioHora", "FALSE"}}), true}});
}

TEST(ExchangeBytes, TextsKeepTheirQuotesSemicolonsAndCharactersInEitherEncoding)
{
    const QByteArray texts[] = {"\"Bar \xAA \x80 \xB7 O'Neill;s\"", "\"Jos\xE9 \x93Pepe\x94 \"\"el\"\" ;\"", "\"\"",
                                "sin comillas \xE9", ""};
    auto record = [](const QByteArray& local) {
        return line("Programacion", {{"TLocal", "LOCAL"}}).replace("LOCAL", local);
    };
    for (const QByteArray& text : texts)
        checkBothWays("Programacion", {{record(text), true}});
    checkBothWays("Programacion", {{record("\"Caf\xC3\xA9 \xE2\x82\xAC\""), true}}, true);

    const SectionConverter programming(*exchangeSection(QStringLiteral("Programacion")), SqlDialect::SQLite);
    const size_t local = size_t(programming.section().fileColumns.indexOf(QStringLiteral("TLocal")));
    SinkRow row;
    ASSERT_TRUE(programming.convertBytes(rawRecord(record(texts[1])), row));
    EXPECT_EQ(row.text(local), std::string_view("Jos\xC3\xA9 \xE2\x80\x9CPepe\xE2\x80\x9D \"el\" ;"));
    ASSERT_TRUE(programming.convertBytes(rawRecord(record("\"\"")), row));
    EXPECT_FALSE(row.isNull(local)) << "\"\" is an empty text";
    ASSERT_TRUE(programming.convertBytes(rawRecord(record("")), row));
    EXPECT_TRUE(row.isNull(local)) << "an empty field is no value";
}

// The byte reading leaves to the general one what it does not read itself:
// the general one then reads it or says why not.
TEST(ExchangeBytes, AnythingElseIsLeftToTheGeneralReading)
{
    checkBothWays("DiaBorrado", {
                                    {"52001; 2024-03-05;10:15", false},        // a blank the general way trims
                                    {"+52001;2024-03-05;10:15", false},        // a sign it reads
                                    {"52001;2024-03-05;\"10\"\":15\"", false}, // a quote inside
                                    {"52001;2024-02-30;10:15", false},         // no such day: refused
                                    {"52001;2024-03-05;25:00", false},         // no such time: refused
                                    {"52001;2024-03-05", false},               // a field short
                                    {"52001;2024-03-05;10:15;x", false},       // a field over
                                    {"5200000000;2024-03-05;10:15", false},    // beyond its column
                                    {"52001;;10:15", false},                   // no key
                                    {"52001;2024-03-05;\"10:15\"x", false},    // a quoted stretch and more
                                });
    checkBothWays("Sesiones", {{line("Sesiones", {{"SLeq", "1e39"}}), false},
                               {line("Sesiones", {{"SLeq", " 70"}}), false},
                               {line("Sesiones", {{"THoraInicioNoche", "\"22:00 y algo m\xE1s\""}}), false}});
    checkBothWays("IntervaloInhabil", {{line("IntervaloInhabil", {{"THoraEmpiezaInt", "\"08:00\""}}), false}});
    // Bytes that are not UTF-8 in a UTF-8 file.
    const QByteArray notUtf8 = line("Programacion", {{"TLocal", "LOCAL"}}).replace("LOCAL", "\"\xFF\xFE\"");
    checkBothWays("Programacion", {{notUtf8, false}}, true);
}

// The export's singles: the shortest text that the import reads back to the
// same single, never one beyond the largest single, which it refuses.
TEST(ExchangeSingles, TheShortestTextReadsBackToTheSameSingle)
{
    const float max = std::numeric_limits<float>::max();
    const std::pair<float, const char*> cases[] = {{0.1f, "0.1"},     {32.9f, "32.9"}, {1e-7f, "1e-07"},
                                                   {-0.0f, "-0"},     {max, nullptr},  {-max, nullptr},
                                                   {1e-45f, "1e-45"}, {87.1f, "87.1"}};
    for (const auto& [value, shortest] : cases) {
        QByteArray text;
        appendSingle(text, value);
        if (shortest) {
            EXPECT_EQ(text, QByteArray(shortest));
        }
        const std::optional<double> read = parseDecimal(QString::fromLatin1(text));
        ASSERT_TRUE(read) << text.constData();
        const double back = *read;
        EXPECT_EQ(float(back), value) << text.constData();
        EXPECT_EQ(std::signbit(back), std::signbit(value)) << text.constData();
        EXPECT_LE(std::fabs(back), double(max)) << text.constData();
    }
}
