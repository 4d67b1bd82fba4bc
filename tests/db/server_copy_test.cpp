#include "db/schema.h"
#include "db/server_copy.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// The fields of one staged row of a binary COPY stream, each as its bytes
// (nullopt for NULL), read the way the server reads them.
std::vector<std::optional<std::string>> readFields(std::string_view row, size_t* used)
{
    std::vector<std::optional<std::string>> fields;
    const auto count = qFromBigEndian<qint16>(row.data());
    size_t at = 2;
    for (int i = 0; i < count; ++i) {
        const auto size = qFromBigEndian<qint32>(row.data() + at);
        at += 4;
        if (size < 0) {
            fields.emplace_back();
            continue;
        }
        fields.emplace_back(std::string(row.substr(at, size_t(size))));
        at += size_t(size);
    }
    *used = at;
    return fields;
}

} // namespace

// Each value goes in the form and size its column takes, long texts and
// NULLs included; a value of another kind refuses the row and leaves what
// the stream held before it as it was.
TEST(ServerCopy, AStagedRowReadsBackFieldByFieldAndAMisfitLeavesTheStreamAsItWas)
{
    const TableDef& def = *schemaTable(QStringLiteral("Intervalos"));
    SinkTable table{&def, {}, {}};
    for (const ColumnDef& c : def.columns)
        table.columns.push_back(&c);
    const ServerCopyTable copy(table);
    const std::string longText(3000, 'x');
    SinkRow row;
    for (const ColumnDef* c : table.columns) {
        switch (c->type) {
        case ColumnType::Text:
            row.addText(c == table.columns.back() ? std::string_view(longText) : std::string_view("ñ"));
            break;
        case ColumnType::Date:
            row.addText("2024-02-29");
            break;
        case ColumnType::Single:
            row.addReal(-87.25);
            break;
        case ColumnType::Boolean:
            row.addNull();
            break;
        default:
            row.addInteger(-7);
        }
    }
    const std::string key(500, 'k');
    packed_lines::Digest digest{};
    digest.fill(0xab);

    std::string out = "before";
    ASSERT_TRUE(copy.encodeStaged(42, true, key, digest.data(), 9, row, out));
    ASSERT_EQ(out.substr(0, 6), "before");
    size_t used = 0;
    const auto fields = readFields(std::string_view(out).substr(6), &used);
    EXPECT_EQ(6 + used, out.size());
    ASSERT_EQ(fields.size(), 5 + table.columns.size());
    EXPECT_EQ(qFromBigEndian<qint64>(fields[0]->data()), 42);
    EXPECT_EQ(*fields[1], std::string(1, '\1'));
    EXPECT_EQ(*fields[2], key);
    EXPECT_EQ(*fields[3], std::string(32, char(0xab)));
    EXPECT_EQ(qFromBigEndian<qint32>(fields[4]->data()), 9);
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = *table.columns[i];
        const std::optional<std::string>& f = fields[5 + i];
        SCOPED_TRACE(c.name);
        switch (c.type) {
        case ColumnType::Text:
            EXPECT_EQ(*f, i + 1 == table.columns.size() ? longText : std::string("ñ"));
            break;
        case ColumnType::Date: // days since 2000-01-01
            ASSERT_EQ(f->size(), 4u);
            EXPECT_EQ(qFromBigEndian<qint32>(f->data()), 8825);
            break;
        case ColumnType::Single: {
            ASSERT_EQ(f->size(), 4u);
            const quint32 bits = qFromBigEndian<quint32>(f->data());
            EXPECT_EQ(std::bit_cast<float>(bits), -87.25f);
            break;
        }
        case ColumnType::Boolean:
            EXPECT_FALSE(f.has_value());
            break;
        case ColumnType::Long:
            ASSERT_EQ(f->size(), 4u);
            EXPECT_EQ(qFromBigEndian<qint32>(f->data()), -7);
            break;
        case ColumnType::Short:
        case ColumnType::Byte:
            ASSERT_EQ(f->size(), 2u);
            EXPECT_EQ(qFromBigEndian<qint16>(f->data()), -7);
            break;
        }
    }

    // A later row of its key carries no journal fields.
    std::string later;
    ASSERT_TRUE(copy.encodeStaged(43, false, {}, nullptr, 0, row, later));
    const auto laterFields = readFields(later, &used);
    EXPECT_FALSE(laterFields[2] || laterFields[3] || laterFields[4]);

    // A text where a date goes, then a row short of its last value.
    SinkRow misfit = row;
    misfit.clear();
    for (const ColumnDef* c : table.columns)
        c->type == ColumnType::Date ? misfit.addText("29/02/2024") : misfit.addInteger(1);
    const std::string kept = out;
    EXPECT_FALSE(copy.encodeStaged(44, true, key, digest.data(), 9, misfit, out));
    EXPECT_EQ(out, kept);
    SinkRow shortRow;
    for (size_t i = 0; i + 1 < table.columns.size(); ++i)
        shortRow.addNull();
    EXPECT_FALSE(copy.encodeStaged(45, true, key, digest.data(), 9, shortRow, out));
    EXPECT_EQ(out, kept);
}
