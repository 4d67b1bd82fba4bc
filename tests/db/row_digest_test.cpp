#include "db/packed_lines.h"

#include <gtest/gtest.h>

using namespace tvq52;

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
