#include "exchange/exchange_convert.h"
#include "exchange/exchange_reader.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

ExchangeRecord fieldsRecord(qint64 line, const QStringList& fields, std::vector<bool> quoted = {})
{
    ExchangeRecord r;
    r.kind = ExchangeRecord::Kind::Fields;
    r.line = line;
    r.fields = fields;
    r.quoted = quoted.empty() ? std::vector<bool>(size_t(fields.size()), false) : std::move(quoted);
    return r;
}

// `text` with the control character `c` at `at`.
QString withControl(const char* text, qsizetype at, char16_t c)
{
    return QString::fromLatin1(text).insert(at, QChar(c));
}

SectionConverter converter(const char* section)
{
    return SectionConverter(*exchangeSection(QString::fromLatin1(section)), SqlDialect::SQLite);
}

} // namespace

TEST(SectionConverter, AValueThatDoesNotFitIsRefusedNamingItsLineColumnAndText)
{
    const SectionConverter days = converter("DiaBorrado");
    const SectionConverter inhabil = converter("IntervaloInhabil");
    const struct {
        const SectionConverter& section;
        QStringList fields;
        Refusal::Kind kind;
        const char* column;
        const char* value;
    } cases[] = {
        {days, {"5200x", "2024-03-05", "10:15"}, Refusal::Kind::NotANumber, "LNumeroSerie", "5200x"},
        {days, {"52001", "2024-02-30", "10:15"}, Refusal::Kind::NotADate, "DFecha", "2024-02-30"},
        {days, {"52001", "2024-03-05", "25:99"}, Refusal::Kind::NotATime, "THora", "25:99"},
        {inhabil, {"52001", "300", "L", "08:00", "V", "09:00"}, Refusal::Kind::OutOfRange, "ByIntervalo", "300"},
        {inhabil, {"52001", "1", "L", "ocho", "V", "09:00"}, Refusal::Kind::NotATime, "THoraEmpiezaInt", "ocho"},
        {inhabil,
         {"52001", "1", "L", "08:00", "Viernes por la tarde", "09:00"},
         Refusal::Kind::TooLong,
         "TDiaTerminaInt",
         "Viernes por la tarde"},
        // A control character is never read past: not the digits before a NUL, nor a trimmed tab.
        {days, {withControl("123456", 5, 0), "2024-03-05", "10:15"}, Refusal::Kind::ControlCharacter, "LNumeroSerie", "U+0000"},
        {days, {"52001", withControl("2024-03-05", 10, u'\t'), "10:15"}, Refusal::Kind::ControlCharacter, "DFecha", "U+0009"},
        {days, {"52001", "2024-03-05", withControl("10:15", 5, 0x7F)}, Refusal::Kind::ControlCharacter, "THora", "U+007F"},
        {inhabil, {"52001", "1", "L", withControl("08:00", 0, 0x85), "V", "09:00"}, Refusal::Kind::ControlCharacter, "THoraEmpiezaInt", "U+0085"},
        {inhabil, {"52001", "1", withControl("L", 1, 0), "08:00", "V", "09:00"}, Refusal::Kind::ControlCharacter, "TDiaEmpiezaInt", "U+0000"},
    };
    qint64 line = 40;
    for (const auto& c : cases) {
        QVariantList values;
        const std::optional<Refusal> why = c.section.convert(fieldsRecord(++line, c.fields), values);
        ASSERT_TRUE(why.has_value()) << c.column;
        EXPECT_EQ(why->kind, c.kind) << c.column;
        EXPECT_EQ(why->line, line) << c.column;
        EXPECT_EQ(why->column, QLatin1String(c.column));
        EXPECT_EQ(why->value, QLatin1String(c.value));
    }
}

TEST(SectionConverter, ARecordOfTheWrongShapeIsRefusedBeforeItsFieldsAreRead)
{
    const SectionConverter days = converter("DiaBorrado");
    QVariantList values;
    std::optional<Refusal> why = days.convert(fieldsRecord(7, {"52001", "2024-03-05"}), values);
    ASSERT_TRUE(why);
    EXPECT_EQ(why->kind, Refusal::Kind::FieldCount);
    EXPECT_EQ(why->column, QLatin1String("2/3"));
    EXPECT_EQ(why->line, 7);

    why = days.convert(fieldsRecord(8, {"52001", "2024-03-05", "10:15", "extra"}), values);
    ASSERT_TRUE(why);
    EXPECT_EQ(why->column, QLatin1String(">3"));

    ExchangeRecord cut = fieldsRecord(9, {"52001", "2024-03"});
    cut.unterminated = true;
    why = days.convert(cut, values);
    ASSERT_TRUE(why);
    EXPECT_EQ(why->kind, Refusal::Kind::CutLine);

    ExchangeRecord tooLong;
    tooLong.kind = ExchangeRecord::Kind::TooLong;
    tooLong.line = 10;
    why = days.convert(tooLong, values);
    ASSERT_TRUE(why);
    EXPECT_EQ(why->kind, Refusal::Kind::LineTooLong);
    EXPECT_EQ(why->column, QString::number(longestRowBytes(days.section())));
    EXPECT_EQ(why->line, 10);
}

TEST(SectionConverter, AGoodRecordBecomesTheRowAsStoredWithTheKeyTimesTakenFromItsDateTimes)
{
    const SectionConverter days = converter("DiaBorrado");
    QVariantList values;
    ASSERT_FALSE(days.convert(fieldsRecord(3, {"52001", "05/03/2024", "10:15"}), values));
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0].typeId(), QMetaType::Int);
    EXPECT_EQ(values[0].toInt(), 52001);
    EXPECT_EQ(values[1].toString(), QLatin1String("2024-03-05"));
    EXPECT_EQ(values[2].toString(), QLatin1String("10:15"));

    const SectionConverter intervals = converter("Intervalos");
    const ExchangeSection& s = intervals.section();
    QStringList fields;
    for (const QString& name : s.fileColumns) {
        if (name == QLatin1String("DFechaInicio"))
            fields << QStringLiteral("2024-03-05 10:14:00");
        else if (name == QLatin1String("DFechaFinal"))
            fields << QStringLiteral("2024-03-05 10:16");
        else if (name == QLatin1String("LNumeroSerie"))
            fields << QStringLiteral("52001");
        else
            fields << QString();
    }
    ASSERT_FALSE(intervals.convert(fieldsRecord(4, fields), values));
    const SinkTable& table = intervals.sinkTable();
    ASSERT_EQ(values.size(), qsizetype(table.columns.size()));
    ASSERT_EQ(table.columns.size(), size_t(s.fileColumns.size()) + 2);
    EXPECT_STREQ(table.columns[table.columns.size() - 2]->name, "THoraInicio");
    EXPECT_EQ(values[values.size() - 2].toString(), QLatin1String("10:14"));
    EXPECT_EQ(values[values.size() - 1].toString(), QLatin1String("10:16"));
    // The key is found among the columns a sink writes.
    for (int k : table.keyIndex)
        EXPECT_FALSE(values[k].isNull()) << table.columns[size_t(k)]->name;
}

TEST(SectionConverter, AnEmptyFieldIsNoValueUnlessQuotedAndAMissingKeyIsNamed)
{
    const SectionConverter programming = converter("Programacion");
    const int local = int(programming.section().fileColumns.indexOf(QStringLiteral("TLocal")));
    ASSERT_GE(local, 0);
    QVariant v;
    EXPECT_FALSE(programming.readField(local, QString(), true, &v));
    EXPECT_FALSE(v.isNull()) << "\"\" is an empty text";
    EXPECT_EQ(v.toString(), QString());
    EXPECT_FALSE(programming.readField(local, QString(), false, &v));
    EXPECT_TRUE(v.isNull()) << "an empty field is no value";

    const SectionConverter days = converter("DiaBorrado");
    QVariantList values;
    const std::optional<Refusal> why = days.convert(fieldsRecord(5, {"52001", "", "10:15"}), values);
    ASSERT_TRUE(why);
    EXPECT_EQ(why->kind, Refusal::Kind::NoKey);
    EXPECT_EQ(why->column, QLatin1String("DFecha"));
    EXPECT_EQ(why->line, 5);
}
