#include "db/database_failure.h"

#include <QSqlError>
#include <gtest/gtest.h>

using namespace tvq52;
using Kind = DatabaseFailure::Kind;

namespace {

// As Qt's drivers report a failed statement: SQLite's always as a
// "connection error" with its result code, PostgreSQL's with its SQLSTATE.
QSqlError failedStep(const char* words, const char* code, bool server)
{
    return QSqlError(QStringLiteral("Unable to fetch row"), QString::fromLatin1(words),
                     server ? QSqlError::StatementError : QSqlError::ConnectionError, QString::fromLatin1(code));
}

} // namespace

// One classifier for both backends: the same failure of the database is the
// same kind whichever holds the records, and only a server loses a connection.
TEST(DatabaseFault, EachBackendTellsTheSameReasonsByItsOwnCodes)
{
    struct Case {
        const char* words;
        const char* code;
        bool server;
        Kind kind;
    };
    const Case cases[] = {
        {"database or disk is full", "13", false, Kind::DiskFull},
        {"database is locked", "5", false, Kind::Locked},
        {"database table is locked", "6", false, Kind::Locked},
        {"attempt to write a readonly database", "8", false, Kind::ReadOnly},
        {"disk I/O error", "10", false, Kind::DiskError},
        {"unable to open database file", "14", false, Kind::DiskError},
        // Extended codes: a short write, a read-only file that cannot roll back.
        {"disk I/O error", "778", false, Kind::DiskError},
        {"attempt to write a readonly database", "264", false, Kind::ReadOnly},
        // A refused value says nothing of the file; no code says nothing either.
        {"UNIQUE constraint failed", "19", false, Kind::Other},
        {"no such table", "", false, Kind::Other},
        {"could not extend file: No space left on device", "53100", true, Kind::DiskFull},
        {"cannot execute INSERT in a read-only transaction", "25006", true, Kind::ReadOnly},
        {"permission denied for table Intervalos", "42501", true, Kind::ReadOnly},
        {"could not obtain lock on row", "55P03", true, Kind::Locked},
        {"could not write to file", "58030", true, Kind::DiskError},
        {"server closed the connection unexpectedly", "08006", true, Kind::ConnectionLost},
        {"terminating connection due to administrator command", "57P01", true, Kind::ConnectionLost},
        {"value too long for type character varying(50)", "22001", true, Kind::Other},
        {"duplicate key value violates unique constraint", "23505", true, Kind::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(databaseFailure(failedStep(c.words, c.code, c.server), c.server).kind, c.kind) << c.words;
    EXPECT_EQ(databaseFailure(failedStep("server closed the connection", "", true), true).kind, Kind::ConnectionLost);
    for (const bool server : {false, true})
        EXPECT_FALSE(databaseFailure(QSqlError(), server).failed());
}
