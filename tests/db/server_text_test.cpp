#include "db/server_bulk.h"
#include "db/server_text.h"
#include "support/test_backend.h"

#include <QDate>
#include <clocale>
#include <gtest/gtest.h>
#include <limits>

using namespace tvq52;

namespace {

const ColumnDef kSingle{"SLeq", ColumnType::Single};
const ColumnDef kDate{"DFecha", ColumnType::Date};
const ColumnDef kFlag{"BoRS232", ColumnType::Boolean};
const ColumnDef kText{"TLocal", ColumnType::Text, 30};

} // namespace

// What a batch sends must read back as the very value the program holds.
TEST(ServerText, SinglesDatesAndFlagsSurviveTheTextForm)
{
    // A decimal comma in the user's locale must not change what is read.
    const char* locale = std::setlocale(LC_NUMERIC, "es_ES.UTF-8");
    for (const float f : {85.2f, 100.0f, 0.1f, -12.5f, 1e-7f, 3.4e38f, std::numeric_limits<float>::denorm_min()}) {
        const QByteArray text = serverText(kSingle, QVariant(double(f)));
        EXPECT_EQ(fromServerText(kSingle, text.constData()).toFloat(), f) << text.constData();
    }
    if (locale)
        std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(serverText(kSingle, QVariant(85.2)), QByteArray("85.2"));

    const struct {
        QDate date;
        const char* text;
    } dates[] = {
        {QDate(2024, 2, 29), "2024-02-29"}, {QDate(999, 1, 9), "0999-01-09"}, {QDate(1, 12, 31), "0001-12-31"}};
    for (const auto& d : dates) {
        EXPECT_EQ(serverText(kDate, d.date), QByteArray(d.text));
        EXPECT_EQ(serverText(kDate, QString::fromLatin1(d.text)), QByteArray(d.text)); // as SQLite keeps it
        EXPECT_EQ(fromServerText(kDate, d.text).toString(), QString::fromLatin1(d.text));
    }
    EXPECT_TRUE(serverText(kDate, QString()).isNull());

    EXPECT_EQ(serverText(kFlag, QVariant(-1)), QByteArray("t"));
    EXPECT_EQ(serverText(kFlag, QVariant(0)), QByteArray("f"));
    EXPECT_EQ(fromServerText(kFlag, "t").toInt(), 1);
    EXPECT_EQ(fromServerText(kFlag, "f").toInt(), 0);

    // An empty text is a text, not NULL.
    EXPECT_FALSE(serverText(kText, QString(QLatin1String(""))).isNull());
    EXPECT_TRUE(serverText(kText, QVariant()).isNull());
}

TEST(ServerText, ArraysQuoteEveryElementAndKeepNulls)
{
    ServerArray a;
    for (const char* e : {"a,b", "NULL", "\"q\"", "c:\\x", "{}"})
        a.append(QByteArray(e));
    a.append(QByteArray());
    EXPECT_EQ(a.finish(), QByteArray(R"({"a,b","NULL","\"q\"","c:\\x","{}",NULL})"));
    a.append(QByteArray("next"));
    EXPECT_EQ(a.finish(), QByteArray(R"({"next"})")); // a finished array starts again empty
}

namespace {

// The awkward texts a column can hold: what an array element must carry
// unchanged, NULL and the empty text apart.
std::vector<QByteArray> awkwardTexts()
{
    return {QByteArray("back\\slash"),
            QByteArray("tab\there"),
            QByteArray("line\nend\r\n"),
            QByteArray("say \"hi\""),
            QByteArray(""),
            QByteArray(),
            QString::fromUtf8("Ñandú · 東京 · 🎵").toUtf8(),
            QByteArray("NULL"),
            QByteArray("{a,b}")};
}

} // namespace

TEST(ServerText, ArrayElementsEscapeOnlyQuotesAndBackslashes)
{
    QByteArray literal;
    appendServerArrayElement(literal, QByteArray("a\\b\t\"c\"\n"));
    EXPECT_EQ(literal, QByteArray("\"a\\\\b\t\\\"c\\\"\n\""));
    literal.clear();
    appendServerArrayElement(literal, QByteArray(""));
    appendServerArrayElement(literal, QByteArray());
    EXPECT_EQ(literal, QByteArray("\"\"NULL")) << "the empty text is not NULL";
    const QByteArray accents = QString::fromUtf8("Ñandú").toUtf8();
    literal.clear();
    appendServerArrayElement(literal, accents);
    EXPECT_EQ(literal, '"' + accents + '"') << "UTF-8 bytes pass as they are";
}

// The server itself reads the array back element for element, and a
// statement it cannot prepare is an error value, not a dead connection.
TEST(ServerText, AwkwardTextsComeBackAsSentAndABadStatementSaysWhy)
{
    if (!test::onServerBackend())
        GTEST_SKIP() << "server run only";
    test::ServerTestDatabase server;
    std::unique_ptr<Database> db = server.open();
    ASSERT_TRUE(db);
    ServerBulk bulk(db->connection());
    ASSERT_TRUE(bulk.valid());
    ServerArray array;
    const std::vector<QByteArray> texts = awkwardTexts();
    for (const QByteArray& t : texts)
        array.append(t);
    const ServerBulk::Answer r =
        bulk.exec("SELECT u FROM unnest($1::text[]) WITH ORDINALITY AS t (u, n) ORDER BY n", {array.finish()});
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(r.rows(), int(texts.size()));
    for (int i = 0; i < r.rows(); ++i) {
        const QByteArray& sent = texts[size_t(i)];
        EXPECT_EQ(r.isNull(i, 0), sent.isNull()) << "element " << i;
        if (!sent.isNull()) {
            EXPECT_EQ(QByteArray(r.text(i, 0)), sent) << "element " << i;
        }
    }

    const Status prepared = bulk.ensurePrepared("tvq52_broken", "SELECT FROM nowhere_at_all WHERE", 0);
    ASSERT_FALSE(prepared);
    EXPECT_FALSE(prepared.error().detail.isEmpty());
    EXPECT_TRUE(bulk.ensurePrepared("tvq52_fine", "SELECT $1::integer + 1", 1));
    const ServerBulk::Answer fine = bulk.execPrepared("tvq52_fine", {QByteArray("41")});
    ASSERT_TRUE(fine.ok());
    EXPECT_EQ(QByteArray(fine.text(0, 0)), QByteArray("42"));
}
