#include "core/own_words.h"
#include "db/database_failure.h"

#include <QRegularExpression>
#include <QSqlError>
#include <utility>
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
        {"permission denied for function tvq52_admin_delete_unit", "42501", true, Kind::PermissionDenied},
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
    // A refused function of ours names the level it needs by its prefix.
    const DatabaseFailure refused =
        databaseFailure(failedStep("permission denied for function tvq52_admin_delete_unit", "42501", true), true);
    EXPECT_TRUE(untranslatedText(toldFailure(refused, FailureWording::Download)).contains(QStringLiteral("«admin»")));
    for (const bool server : {false, true})
        EXPECT_FALSE(databaseFailure(QSqlError(), server).failed());
}

// libpq's words when no connection could be made, by what the user can do about it.
TEST(DatabaseFault, AConnectionRefusedIsToldByWhatWouldFixIt)
{
    const std::pair<const char*, Kind> cases[] = {
        {"FATAL:  password authentication failed for user \"ana\"", Kind::Authentication},
        {"fe_sendauth: no password supplied", Kind::Authentication},
        {"FATAL:  no pg_hba.conf entry for host \"10.0.0.7\", user \"ana\"", Kind::Authentication},
        // A role that does not exist is the user's to fix, not the database's.
        {"FATAL:  role \"nobody\" does not exist", Kind::Authentication},
        {"FATAL:  database \"oficina\" does not exist", Kind::NoDatabase},
        {"could not connect to server: Connection refused", Kind::Unreachable},
        {"could not translate host name \"nowhere\" to address", Kind::Unreachable},
        {"timeout expired", Kind::Unreachable},
        {"SSL error: certificate verify failed", Kind::Other},
    };
    for (const auto& [words, kind] : cases)
        EXPECT_EQ(connectFailure(QString::fromUtf8(words)), kind) << words;
}

// Every kind travels in an Error and back, has words of its own somewhere,
// and whatever place tells it fills every argument its words name.
TEST(DatabaseFault, EveryKindHasWordsWhereverItIsTold)
{
    const FailureSubject subject{*DatabaseTarget::fromUri(QStringLiteral("postgresql://ana@db.example:5433/oficina")),
                                 QStringLiteral("/home/ana/datos"), 52001};
    const QRegularExpression unfilled(QStringLiteral("%[1-9]"));
    for (int k = int(Kind::None) + 1; k <= int(Kind::PermissionDenied); ++k) {
        const DatabaseFailure failure{Kind(k), QStringLiteral("the database's words\nand more")};
        const DatabaseFailure back = databaseFailureOf(databaseError(failure));
        EXPECT_EQ(back.kind, failure.kind) << k;
        EXPECT_EQ(back.detail, failure.detail) << k;
        bool ownWords = false;
        for (const FailureWording as : {FailureWording::Opening, FailureWording::Download, FailureWording::Cause}) {
            ownWords = ownWords || hasOwnWords(failure.kind, as);
            const Error told = toldFailure(failure, as, subject);
            EXPECT_EQ(databaseFailureOf(told).kind, failure.kind) << k;
            EXPECT_FALSE(told.text.isEmpty()) << k;
            EXPECT_FALSE(untranslatedText(told).contains(unfilled)) << k << ' ' << int(as);
        }
        EXPECT_TRUE(ownWords) << "kind " << k << " has no words of its own";
    }
    EXPECT_EQ(databaseFailureOf(Error(17)).kind, Kind::Other);
}
