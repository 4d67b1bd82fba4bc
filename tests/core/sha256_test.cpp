#include "core/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

QByteArray reference(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

// Every length around the block and padding edges, whole and in pieces.
TEST(Sha256, GivesTheStandardHashForEveryLengthAndAnySplit)
{
    EXPECT_EQ(Sha256::hex(QByteArray("abc")),
              QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(Sha256::hex(QByteArray()), reference(QByteArray()));
    QRandomGenerator random(52);
    for (int length = 0; length <= 300; ++length) {
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random.bounded(256));
        EXPECT_EQ(Sha256::hex(bytes), reference(bytes)) << length;
        Sha256 pieces;
        for (int at = 0; at < length;) {
            const int take = std::min(length - at, 1 + int(random.bounded(70)));
            pieces.add(QByteArrayView(bytes).sliced(at, take));
            at += take;
        }
        EXPECT_EQ(pieces.result().toHex(), reference(bytes)) << length << " in pieces";
    }
}

TEST(Sha256, AResultLeavesTheHashToGoOnAndAResetStartsAgain)
{
    Sha256 h;
    h.add("hello ");
    const QByteArray early = h.result();
    EXPECT_EQ(early.toHex(), reference("hello "));
    h.add("world");
    EXPECT_EQ(h.result().toHex(), reference("hello world"));
    h.reset();
    h.add("world");
    EXPECT_EQ(h.result().toHex(), reference("world"));
    const QByteArray large(3 * 1024 * 1024 + 17, 'x');
    EXPECT_EQ(Sha256::hex(large), reference(large));
}
