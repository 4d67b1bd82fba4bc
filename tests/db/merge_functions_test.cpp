#include "db/journal_codec.h"
#include "db/merge_functions.h"
#include "db/row_check.h"
#include "db/schema.h"
#include "db/store.h"
#include "evidence/journal.h"

#include <QVariant>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

using namespace tvq52;

namespace {

// An in-memory SQLite connection with the merge functions on it and an
// untyped copy of a table, which keeps every value in the type it is given.
class MergeFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_TRUE(functions_.registerOn(db_));
    }
    void TearDown() override { sqlite3_close(db_); }

    void createUntyped(const TableDef& t)
    {
        QStringList columns;
        for (const ColumnDef& c : t.columns)
            columns << quoteIdentifier(QString::fromUtf8(c.name));
        exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(QString::fromUtf8(t.name)), columns.join(',')));
    }

    void exec(const QString& sql)
    {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error), SQLITE_OK)
            << sql.toStdString() << ": " << (error ? error : "");
        sqlite3_free(error);
    }

    // Runs `sql` and gives every row's columns as SQLite's own types.
    QList<QVariantList> rows(const QString& sql)
    {
        QList<QVariantList> all;
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &stmt, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            QVariantList row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    row << QVariant(qlonglong(sqlite3_column_int64(stmt, c)));
                    break;
                case SQLITE_FLOAT:
                    row << QVariant(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_TEXT:
                    row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                                      sqlite3_column_bytes(stmt, c)));
                    break;
                case SQLITE_BLOB:
                    row << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                               sqlite3_column_bytes(stmt, c)));
                    break;
                default:
                    row << QVariant();
                }
            all << row;
        }
        sqlite3_finalize(stmt);
        return all;
    }

    sqlite3* db_ = nullptr;
    MergeFunctions functions_;
};

const TableDef& intervals()
{
    return *schemaTable(QStringLiteral("Intervalos"));
}

QStringList columnNames(const TableDef& t, const char* prefix = "")
{
    QStringList names;
    for (const ColumnDef& c : t.columns)
        names << QLatin1String(prefix) + quoteIdentifier(QString::fromUtf8(c.name));
    return names;
}

// Values of every kind in every column: the journal's own texts of them are
// what the digest must come to, fast path or not.
TEST_F(MergeFunctionsTest, DigestAndKeyTextAreTheJournalsOwn)
{
    const TableDef& t = intervals();
    createUntyped(t);
    const QStringList odd = {QStringLiteral("NULL"),
                             QStringLiteral("87.1"),
                             QStringLiteral("1.001953125"),
                             QStringLiteral("1e-5"),
                             QStringLiteral("-0.0"),
                             QStringLiteral("3.5e30"),
                             QStringLiteral("123456789.5"),
                             QStringLiteral("80"),
                             QStringLiteral("-1"),
                             QStringLiteral("2"),
                             QStringLiteral("4294967296"),
                             QStringLiteral("'2018-01-31'"),
                             QStringLiteral("'2018-01-31 10:00:00'"),
                             QStringLiteral("'Leq125ms'"),
                             QStringLiteral("'Sala ª € ·'"),
                             QStringLiteral("'12.5'"),
                             QStringLiteral("'x\ty'"),
                             QStringLiteral("X'00ff'"),
                             QStringLiteral("'1e400'"),
                             QStringLiteral("''")};
    // Each row puts the odd values into the columns one place further on.
    for (int shift = 0; shift < int(t.columns.size()); ++shift) {
        QStringList values;
        for (int c = 0; c < int(t.columns.size()); ++c)
            values << odd[(c + shift) % odd.size()];
        exec(QStringLiteral("INSERT INTO Intervalos VALUES (%1)").arg(values.join(',')));
    }
    QStringList keys;
    for (const char* k : t.key)
        keys << quoteIdentifier(QString::fromUtf8(k));
    const QList<QVariantList> digests =
        rows(QStringLiteral("SELECT %1, %2, %3 FROM Intervalos")
                 .arg(columnNames(t).join(','), MergeFunctions::call("tvq52_row_digest", t, columnNames(t)),
                      MergeFunctions::call("tvq52_key_text", t, keys)));
    ASSERT_EQ(digests.size(), qsizetype(t.columns.size()));
    for (const QVariantList& r : digests) {
        Row row;
        for (size_t c = 0; c < t.columns.size(); ++c)
            row.set(QString::fromUtf8(t.columns[c].name), r[qsizetype(c)]);
        const QString canonical = canonicalRowText(QStringLiteral("Intervalos"), row);
        EXPECT_EQ(r[r.size() - 2].toString(), QString::fromLatin1(journal_codec::sha256Hex(canonical.toUtf8())))
            << canonical.toStdString();
        EXPECT_EQ(r.last().toString(), journal_codec::keyText(t, row));
    }
}

// The one check of a stored value, value by value and column kind by kind.
TEST_F(MergeFunctionsTest, RowCheckAgreesWithTheCheckOfImportedValues)
{
    const TableDef& t = *schemaTable(QStringLiteral("Sesiones"));
    const QStringList values = {QStringLiteral("NULL"),
                                QStringLiteral("0"),
                                QStringLiteral("255"),
                                QStringLiteral("256"),
                                QStringLiteral("-1"),
                                QStringLiteral("32767"),
                                QStringLiteral("-32769"),
                                QStringLiteral("2147483648"),
                                QStringLiteral("1.5"),
                                QStringLiteral("1e300"),
                                QStringLiteral("'2011-02-28'"),
                                QStringLiteral("'2011-02-29'"),
                                QStringLiteral("'0000-01-01'"),
                                QStringLiteral("'22:00'"),
                                QStringLiteral("'24:00'"),
                                QStringLiteral("'2:00'"),
                                QStringLiteral("'ñandú'"),
                                QStringLiteral("'ññññññ'"),
                                QStringLiteral("'abcde'"),
                                QStringLiteral("'abcdef'"),
                                QStringLiteral("X'3132'"),
                                QStringLiteral("'07'"),
                                QStringLiteral("'２０１１-０１-０１'")};
    for (const ColumnDef& c : t.columns) {
        for (const QString& v : values) {
            const QList<QVariantList> r = rows(QStringLiteral("SELECT %1").arg(v));
            ASSERT_EQ(r.size(), 1);
            sqlite3_stmt* stmt = nullptr;
            ASSERT_EQ(
                sqlite3_prepare_v2(db_, QStringLiteral("SELECT %1").arg(v).toUtf8().constData(), -1, &stmt, nullptr),
                SQLITE_OK);
            ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
            sqlite3_value* value = sqlite3_value_dup(sqlite3_column_value(stmt, 0));
            EXPECT_EQ(storedValueFits(t, c, value), checkStoredValue(t, c, r[0][0]) == ValueFault::None)
                << c.name << " " << v.toStdString();
            sqlite3_value_free(value);
            sqlite3_finalize(stmt);
        }
    }
}

// A text that is not UTF-8, or holds a NUL, is refused although the check
// of a decoded text would pass it: no server could store it.
TEST_F(MergeFunctionsTest, TextsThatAreNotUtf8AreRefused)
{
    const TableDef& t = *schemaTable(QStringLiteral("Programacion"));
    const ColumnDef& venue = *t.column(QStringLiteral("TLocal"));
    for (const char* bytes : {"CAST(X'C328' AS TEXT)", "CAST(X'610062' AS TEXT)", "CAST(X'C3B1' AS TEXT)"}) {
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db_, QByteArray("SELECT ") + bytes, -1, &stmt, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        sqlite3_value* value = sqlite3_value_dup(sqlite3_column_value(stmt, 0));
        EXPECT_EQ(storedValueFits(t, venue, value), qstrcmp(bytes, "CAST(X'C3B1' AS TEXT)") == 0) << bytes;
        sqlite3_value_free(value);
        sqlite3_finalize(stmt);
    }
}

// The row check tells a row that passes, one whose key passes and one whose
// key does not, and counts each; the present count takes only true values.
TEST_F(MergeFunctionsTest, RowCheckCountsWhatItSees)
{
    const TableDef& t = *schemaTable(QStringLiteral("DiaBorrado"));
    createUntyped(t);
    exec(
        QStringLiteral("INSERT INTO DiaBorrado VALUES (5, '2011-01-01', '10:00'), (5, '2011-01-01', '1:00'), "
                       "(NULL, '2011-01-01', '10:00'), (5, '2011-01-01', '11:00')"));
    const QList<QVariantList> fits =
        rows(QStringLiteral("SELECT %1, tvq52_merge_present(rowid % 2) FROM DiaBorrado ORDER BY rowid")
                 .arg(MergeFunctions::call("tvq52_merge_row", t, columnNames(t))));
    ASSERT_EQ(fits.size(), 4);
    EXPECT_EQ(fits[0][0].toInt(), int(RowFit::Fits));
    EXPECT_EQ(fits[1][0].toInt(), int(RowFit::KeyRefused)); // the time is part of the key
    EXPECT_EQ(fits[2][0].toInt(), int(RowFit::KeyRefused));
    EXPECT_EQ(fits[3][0].toInt(), int(RowFit::Fits));
    EXPECT_EQ(fits[0][1].toInt(), 0);
    EXPECT_EQ(functions_.counts().fitting, 2);
    EXPECT_EQ(functions_.counts().keyRefused, 2);
    EXPECT_EQ(functions_.counts().read(), 4);
    EXPECT_EQ(functions_.counts().presentMisfits, 2);

    const TableDef& units = *schemaTable(QStringLiteral("Programacion"));
    createUntyped(units);
    exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie, TLocal) VALUES (1, '%1')").arg(QString(31, 'x')));
    functions_.resetCounts();
    const QList<QVariantList> unit = rows(QStringLiteral("SELECT %1 FROM Programacion")
                                              .arg(MergeFunctions::call("tvq52_merge_row", units, columnNames(units))));
    ASSERT_EQ(unit.size(), 1);
    EXPECT_EQ(unit[0][0].toInt(), int(RowFit::KeyOnly));
    EXPECT_EQ(functions_.counts().keyOnly, 1);
    EXPECT_EQ(functions_.counts().fitting, 0);

    // Another number of values than the table has columns is an error, not a guess.
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, "SELECT tvq52_merge_row(0, 1, 2)", -1, &stmt, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_ERROR);
    sqlite3_finalize(stmt);
}

} // namespace
