#include "core/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <utility>

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
    EXPECT_EQ(Sha256::hex(QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
    EXPECT_EQ(Sha256::hex(QByteArray(1000000, 'a')),
              QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
    EXPECT_EQ(Sha256::hex(QByteArray()), reference(QByteArray()));
    QRandomGenerator random(52);
    for (int length = 0; length <= 300; ++length) {
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random.bounded(256));
        EXPECT_EQ(Sha256::hex(bytes), reference(bytes)) << length;
        unsigned char raw[32];
        Sha256::hashInto(bytes, raw);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(raw), 32).toHex(), reference(bytes)) << length;
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
    // A copy carries on from the same point, and adding to it leaves the source alone.
    Sha256 copy = h;
    copy.add("!");
    EXPECT_EQ(copy.result().toHex(), reference("hello world!"));
    EXPECT_EQ(h.result().toHex(), reference("hello world"));
    h.reset();
    h.add("world");
    EXPECT_EQ(h.result().toHex(), reference("world"));
    Sha256 moved = std::move(copy);
    EXPECT_EQ(moved.result().toHex(), reference("hello world!"));
    const QByteArray large(3 * 1024 * 1024 + 17, 'x');
    EXPECT_EQ(Sha256::hex(large), reference(large));
}
