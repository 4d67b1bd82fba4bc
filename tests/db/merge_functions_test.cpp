#include "db/journal_codec.h"
#include "db/merge_functions.h"
#include "db/row_check.h"
#include "db/row_sink.h"
#include "db/schema.h"
#include "db/sqlite_value.h"
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

// One value of an edge case, in a column of Intervalos, as each path gets
// it: SQL for the merge hook (which also gives the typed value), a QVariant
// for the journal codec and the sinks (none: a value no QVariant carries),
// and what the canonical text and the check must come to.
struct EdgeCase {
    const char* column;
    const char* sql;
    QVariant variant;
    std::string canonical;
    ValueFault fault;
};

const std::vector<EdgeCase>& edgeCases()
{
    using V = ValueFault;
    static const std::vector<EdgeCase> cases = {
        {"SLeqLocal", "NULL", QVariant(), "", V::None},
        {"LNumeroSerie", "NULL", QVariant(), "", V::NoKey},
        {"SLeqLocal", "-0.0", QVariant(-0.0), "0", V::None},
        {"SLeqLocal", "87.1", QVariant(87.1), "87.0999985", V::None},
        {"SLeqLocal", "1.001953125", QVariant(1.001953125), "1.00195313", V::None}, // a tie: away from zero
        {"SLeqLocal", "3.4028234663852886e38", QVariant(3.4028234663852886e38), "3.40282347e+38", V::None},
        {"SLeqLocal", "-1.401298464324817e-45", QVariant(-1.401298464324817e-45), "-1.40129846e-45", V::None},
        {"SLeqLocal", "1e39", QVariant(1e39), "inf", V::OutOfRange},
        {"SLeqLocal", "80", QVariant(80), "80", V::None},
        {"SLeqLocal", "'12.5'", QVariant(QStringLiteral("12.5")), "12.5", V::WrongType},
        {"LNumeroSerie", "2147483647", QVariant(2147483647), "2147483647", V::None},
        {"LNumeroSerie", "-2147483649", QVariant(-2147483649LL), "-2147483649", V::OutOfRange},
        {"IDesco", "2.5", QVariant(2.5), "2.5", V::WrongType},
        {"IDesco", "-32769", QVariant(-32769), "-32769", V::OutOfRange},
        {"IDesco", "-32768", QVariant(-32768), "-32768", V::None},
        {"ByTLeq", "256", QVariant(256), "256", V::OutOfRange},
        {"ByTLeq", "255", QVariant(255), "255", V::None},
        {"ByTLeq", "-1", QVariant(-1), "-1", V::OutOfRange},
        {"ByTLeq", "'07'", QVariant(QStringLiteral("07")), "07", V::WrongType},
        {"BoRS232", "-1", QVariant(-1), "1", V::None},
        {"BoRS232", "2", QVariant(2), "1", V::NotABit},
        {"DFechaFinal", "'2018-01-31'", QVariant(QStringLiteral("2018-01-31")), "2018-01-31", V::None},
        {"DFechaFinal", "'0001-01-01 10:00:00'", QVariant(QStringLiteral("0001-01-01 10:00:00")), "0001-01-01",
         V::NotADate},
        {"DFechaFinal", "'2011-02-29'", QVariant(QStringLiteral("2011-02-29")), "2011-02-29", V::NotADate},
        {"DFechaFinal", "'2000-02-29'", QVariant(QStringLiteral("2000-02-29")), "2000-02-29", V::None},
        {"DFechaFinal", "'1900-02-29'", QVariant(QStringLiteral("1900-02-29")), "1900-02-29", V::NotADate},
        {"DFechaFinal", "'2018-04-31'", QVariant(QStringLiteral("2018-04-31")), "2018-04-31", V::NotADate},
        {"DFechaFinal", "'0000-12-31'", QVariant(QStringLiteral("0000-12-31")), "0000-12-31", V::NotADate},
        {"DFechaFinal", "20180131123", QVariant(20180131123LL), "2018013112", V::NotADate},
        {"TTipoActuacionLocal", "'Sala ª€'", QVariant(QStringLiteral("Sala ª€")), "Sala ª€", V::None},
        {"TTipoActuacionLocal", "'Leq125ms'", QVariant(QStringLiteral("Leq125ms")), "Leq125ms", V::None},
        {"TTipoActuacionLocal", "'Leq125msX'", QVariant(QStringLiteral("Leq125msX")), "Leq125msX", V::TooLong},
        {"TTipoActuacionLocal", "'ñandúñandú'", QVariant(QStringLiteral("ñandúñandú")), "ñandúñandú", V::TooLong},
        {"TTipoActuacionLocal", "CAST(X'610062' AS TEXT)", QVariant(QString(QStringLiteral("a%1b")).arg(QChar(0))),
         std::string("a\0b", 3), V::ControlCharacter},
        {"TTipoActuacionLocal", "CAST(X'C328' AS TEXT)", QVariant(), "\xEF\xBF\xBD(", V::ControlCharacter},
        {"TTipoActuacionLocal", "CAST(X'EFBBBF6869' AS TEXT)", QVariant(), "hi", V::None}, // decoding drops the mark
        {"TTipoActuacionLocal", "X'3132'", QVariant(), "12", V::WrongType},
        {"THoraMaxLeq1min", "'24:00'", QVariant(QStringLiteral("24:00")), "24:00", V::None},
        {"THoraInicio", "'24:00'", QVariant(QStringLiteral("24:00")), "24:00", V::NotATime},
    };
    return cases;
}

// The merge hook, the sinks' digests, the journal codec and the check each
// come to the canonical encoder's bytes and fault for every edge value,
// alone in a row whose other values are NULL.
TEST_F(MergeFunctionsTest, EveryPathGivesTheCanonicalBytesAndFault)
{
    const TableDef& t = intervals();
    createUntyped(t);
    SinkTable sinkTable{&t, {}, {}};
    for (const ColumnDef& c : t.columns)
        sinkTable.columns.push_back(&c);
    RowDigest sinkDigest(sinkTable);
    CanonicalEncoder encoder;
    QStringList keys;
    for (const char* k : t.key)
        keys << quoteIdentifier(QString::fromUtf8(k));
    const QString select = QStringLiteral("SELECT %1, %2, %3 FROM Intervalos")
                               .arg(columnNames(t).join(','), MergeFunctions::call("tvq52_row_digest", t, columnNames(t)),
                                    MergeFunctions::call("tvq52_key_text", t, keys));
    // The tables as the program makes them, with their CHECKs.
    sqlite3* typed = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &typed), SQLITE_OK);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closeTyped(typed, sqlite3_close);
    for (const QString& sql : createSchemaStatements(SqlDialect::SQLite))
        ASSERT_EQ(sqlite3_exec(typed, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(typed);
    for (const EdgeCase& e : edgeCases()) {
        SCOPED_TRACE(std::string(e.column) + " " + e.sql);
        const ColumnDef& column = *t.column(QString::fromLatin1(e.column));
        const size_t at = size_t(&column - t.columns.data());
        exec(QStringLiteral("DELETE FROM Intervalos"));
        exec(QStringLiteral("INSERT INTO Intervalos (%1) VALUES (%2)")
                 .arg(quoteIdentifier(QString::fromLatin1(e.column)), QString::fromUtf8(e.sql)));
        std::string rowText(t.columns.size() - 1, canonical::kFieldSeparator);
        rowText.insert(rowText.begin() + qsizetype(at), e.canonical.begin(), e.canonical.end());
        const QByteArray digest = Sha256::hex(QByteArrayView(rowText.data(), qsizetype(rowText.size())));

        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db_, select.toUtf8().constData(), -1, &stmt, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        const StoredValue stored = storedValueOf(sqlite3_column_value(stmt, int(at)));
        std::string text;
        encoder.append(text, column.type, stored, canonical::kCurrentVersion);
        EXPECT_EQ(text, e.canonical);
        EXPECT_EQ(checkValue(column, columnRole(t, column), stored), e.fault);
        const int columns = int(t.columns.size());
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, columns))), digest);
        const QByteArray mergeKey(reinterpret_cast<const char*>(sqlite3_column_text(stmt, columns + 1)),
                                  sqlite3_column_bytes(stmt, columns + 1));

        // A sink row carries what the database keeps; a blob never reaches one.
        if (stored.kind != StoredValue::Kind::Blob) {
            SinkRow sinkRow;
            for (size_t c = 0; c < t.columns.size(); ++c)
                if (c != at || stored.kind == StoredValue::Kind::Null)
                    sinkRow.addNull();
                else if (stored.kind == StoredValue::Kind::Integer)
                    sinkRow.addInteger(stored.integer);
                else if (stored.kind == StoredValue::Kind::Real)
                    sinkRow.addReal(stored.real);
                else
                    sinkRow.addText(stored.bytes);
            QByteArray sinkKey, sinkHex;
            sinkDigest.compute(sinkRow, &sinkKey, &sinkHex);
            EXPECT_EQ(sinkHex, digest);
            EXPECT_EQ(sinkKey, mergeKey);
        }
        sqlite3_finalize(stmt);

        // The merge's insert lists the value in a row whose key is given:
        // the same text, or the row refused by the same check.
        std::vector<std::string> fields(t.columns.size());
        const std::vector<std::string> keyValues = {"52001", "2018-01-01", "10:00"};
        const QStringList keyLiterals = {"52001", "'2018-01-01'", "'10:00'"};
        QStringList keySql;
        for (size_t k = 0; k < t.key.size(); ++k) {
            const size_t place = size_t(t.column(QString::fromLatin1(t.key[k])) - t.columns.data());
            fields[place] = place == at ? e.canonical : keyValues[k];
            keySql << QStringLiteral("%1 = %2").arg(quoteIdentifier(QString::fromLatin1(t.key[k])), keyLiterals[k]);
        }
        fields[at] = e.canonical;
        // The merge leaves the tables' CHECKs to this check: what it lets
        // through, they let through.
        if (e.fault == ValueFault::None) {
            QStringList names, values = keyLiterals;
            for (const char* k : t.key)
                names << quoteIdentifier(QString::fromLatin1(k));
            const qsizetype keyAt = names.indexOf(quoteIdentifier(QString::fromLatin1(e.column)));
            if (keyAt < 0)
                names << quoteIdentifier(QString::fromLatin1(e.column));
            (keyAt < 0 ? values.emplaceBack() : values[keyAt]) = QString::fromUtf8(e.sql);
            const QString insert = QStringLiteral("INSERT OR REPLACE INTO Intervalos (%1) VALUES (%2)")
                                       .arg(names.join(','), values.join(','));
            EXPECT_EQ(sqlite3_exec(typed, insert.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK)
                << sqlite3_errmsg(typed);
        }
        exec(QStringLiteral("UPDATE Intervalos SET %1").arg(keySql.join(',')));
        exec(QStringLiteral("UPDATE Intervalos SET %1 = %2")
                 .arg(quoteIdentifier(QString::fromLatin1(e.column)), QString::fromUtf8(e.sql)));
        std::string listedText, listedKey;
        for (size_t c = 0; c < fields.size(); ++c)
            listedText += (c > 0 ? std::string(1, canonical::kFieldSeparator) : std::string()) + fields[c];
        for (const char* k : t.key)
            listedKey += (listedKey.empty() ? "" : " ")
                + fields[size_t(t.column(QString::fromLatin1(k)) - t.columns.data())];
        const bool key = columnRole(t, column).key;
        const RowFit fit = e.fault == ValueFault::None ? RowFit::Fits : key ? RowFit::KeyRefused : RowFit::KeyOnly;
        const QList<QVariantList> listed = rows(
            QStringLiteral("SELECT %1 FROM Intervalos").arg(MergeFunctions::call("tvq52_merge_list", t, columnNames(t))));
        ASSERT_EQ(listed.size(), 1);
        EXPECT_EQ(listed[0][0].toInt(), int(fit));
        ASSERT_EQ(functions_.hasListed(), fit == RowFit::Fits);
        if (fit == RowFit::Fits) {
            EXPECT_EQ(functions_.listedKey(), listedKey);
            const QByteArray raw(reinterpret_cast<const char*>(functions_.takeListed()), 32);
            EXPECT_EQ(raw.toHex(), Sha256::hex(QByteArrayView(listedText.data(), qsizetype(listedText.size()))));
            EXPECT_FALSE(functions_.hasListed());
        }

        if (e.variant.isValid() || qstrcmp(e.sql, "NULL") == 0) {
            Row row;
            row.set(QString::fromLatin1(e.column), e.variant);
            EXPECT_EQ(journal_codec::canonicalValue(column, e.variant, canonical::kCurrentVersion).toStdString(),
                      e.canonical);
            EXPECT_EQ(canonicalRowText(QStringLiteral("Intervalos"), row).toUtf8(),
                      QByteArray(rowText.data(), qsizetype(rowText.size())));
            EXPECT_EQ(journal_codec::keyText(t, row).toUtf8(), mergeKey);
            EXPECT_EQ(checkStoredValue(t, column, e.variant), e.fault);
        }
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
