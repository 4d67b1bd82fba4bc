#include "db/journal_codec.h"
#include "db/packed_lines.h"
#include "db/row_sink.h"
#include "evidence/journal.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// A value of the column's kind, varied by `n`; a few of them none.
QVariant valueFor(const ColumnDef& c, int n)
{
    if (!std::string_view(c.name).starts_with("LNumero") && n % 7 == 3)
        return QVariant();
    switch (c.type) {
    case ColumnType::Long:
        return QVariant(52000 + n * 7919 % 100000 - 50000);
    case ColumnType::Short:
    case ColumnType::Byte:
        return QVariant(n * 37 % 256);
    case ColumnType::Single: {
        const double levels[] = {0.1, 87.1, -3.25, 1e-7, 3.4028234e38, 123456.789, 70.04, 0};
        return QVariant(double(float(levels[n % 8] * (1 + n / 8))));
    }
    case ColumnType::Boolean:
        return QVariant(n % 2);
    case ColumnType::Date:
        return QVariant(QDate(1999, 12, 31).addDays(n * 113).toString(Qt::ISODate));
    case ColumnType::Text:
        if (c.width == 5)
            return QVariant(QStringLiteral("%1:%2").arg(n % 24, 2, 10, QLatin1Char('0')).arg(n * 7 % 60, 2, 10,
                                                                                             QLatin1Char('0')));
        return QVariant(QString::fromUtf8(n % 2 ? "Caf\xC3\xA9 \xE2\x82\xAC;\"" : "") + QString::number(n));
    }
    return QVariant();
}

} // namespace

// The listing a sink writes for a row is the one the journal computes from
// the row as stored, which is what verifying it compares with.
TEST(RowDigest, TheKeyAndDigestOfARowAreTheJournalsOwn)
{
    for (const char* name : {"Intervalos", "Sesiones", "DiaBorrado", "Programacion"}) {
        SinkTable t;
        t.table = schemaTable(QString::fromLatin1(name));
        // The sink's order need not be the table's: reversed here.
        for (auto c = t.table->columns.rbegin(); c != t.table->columns.rend(); ++c)
            t.columns.push_back(&*c);
        RowDigest digest(t);
        EXPECT_EQ(digest.listed(), qstrcmp(name, "Programacion") != 0) << name;
        for (int n = 0; n < 40; ++n) {
            QVariantList values;
            Row stored;
            for (const ColumnDef* c : t.columns) {
                values << valueFor(*c, n + int(values.size()));
                stored.set(QString::fromUtf8(c->name), values.back());
            }
            SinkRow sinkRow;
            fillSinkRow(values, sinkRow);
            QByteArray key, hex;
            digest.compute(sinkRow, &key, &hex);
            EXPECT_EQ(QString::fromUtf8(key), journal_codec::keyText(*t.table, stored)) << name << ' ' << n;
            EXPECT_EQ(hex, journal_codec::sha256Hex(canonicalRowText(QString::fromLatin1(name), stored).toUtf8()))
                << name << ' ' << n;
        }
    }
}

// Lines split by table and unit and when full; every record comes back with
// its key and digest, and a cut or foreign value is refused, not misread.
TEST(PackedLines, RecordsComeBackAsGivenAndDamageIsRefused)
{
    packed_lines::Packer packer(3);
    std::vector<std::pair<std::string, std::string>> given; // slot, key
    for (int n = 0; n < 8; ++n) {
        const std::string key = (n % 2 ? "52 " : "5 ") + std::string("2010-03-1") + char('0' + n) + " 10:30";
        packed_lines::Digest d{};
        d.fill(static_cast<unsigned char>(n));
        packer.add(n == 7 ? "Sesiones" : "Intervalos", key, d);
    }
    std::vector<packed_lines::Line> lines = packer.take(false);
    ASSERT_EQ(lines.size(), 2u); // the first three intervals of each unit
    EXPECT_EQ(lines[0].firstKey, "5 2010-03-10 10:30");
    EXPECT_EQ(lines[0].lastKey, "5 2010-03-14 10:30");
    for (packed_lines::Line& l : packer.take(true))
        lines.push_back(std::move(l));
    ASSERT_EQ(lines.size(), 4u);
    int seen = 0;
    for (const packed_lines::Line& l : lines) {
        EXPECT_EQ(l.digest, packed_lines::packedDigest(l.packed));
        const auto records = packed_lines::unpack(l.packed);
        ASSERT_TRUE(records) << records.error().text.toStdString();
        ASSERT_EQ(int(records->size()), l.records);
        EXPECT_EQ(records->front().key, l.firstKey.toStdString());
        EXPECT_EQ(records->back().key, l.lastKey.toStdString());
        for (const packed_lines::Record& r : *records) {
            const int n = r.key[r.key.find(' ') + 10] - '0';
            EXPECT_EQ(r.digest[31], n);
            EXPECT_EQ(r.key.starts_with("52 "), n % 2 == 1);
            ++seen;
        }
    }
    EXPECT_EQ(seen, 8);
    EXPECT_FALSE(packed_lines::unpack(lines[0].packed.chopped(1)));
    EXPECT_FALSE(packed_lines::unpack(QByteArray("\x02") + lines[0].packed.mid(1)));
    const auto [low, high] = packed_lines::unitKeyBounds(5);
    EXPECT_TRUE(low <= QStringLiteral("5 2010-03-10 10:30") && QStringLiteral("5 2010-03-10 10:30") < high);
    EXPECT_FALSE(low <= QStringLiteral("52 2010-03-10 10:30") && QStringLiteral("52 2010-03-10 10:30") < high);
}
