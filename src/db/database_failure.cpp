#include "db/database_failure.h"

#include "db/database.h"

#include <QSqlError>
#include <sqlite3.h>

namespace tvq52 {

bool isSqliteRowError(int code)
{
    switch (code & 0xFF) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
        return true;
    default:
        return false;
    }
}

DatabaseFailure sqliteFailure(int code, const QString& message)
{
    DatabaseFailure f;
    f.detail = message.trimmed();
    switch (code & 0xFF) {
    case SQLITE_FULL:
        f.kind = DatabaseFailure::Kind::DiskFull;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        f.kind = DatabaseFailure::Kind::Locked;
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        f.kind = DatabaseFailure::Kind::ReadOnly;
        break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        f.kind = DatabaseFailure::Kind::DiskError;
        break;
    default:
        f.kind = DatabaseFailure::Kind::Other;
        break;
    }
    return f;
}

DatabaseFailure sqliteFailure(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return sqliteFailure(ok ? code : SQLITE_ERROR, text);
}

bool isServerRowError(const QByteArray& sqlState, bool connectionUp)
{
    return connectionUp && (sqlState.startsWith("22") || sqlState.startsWith("23"));
}

DatabaseFailure serverFailure(const QByteArray& sqlState, const QString& message, bool connectionUp)
{
    DatabaseFailure f;
    f.detail = message.trimmed().section(QLatin1Char('\n'), 0, 0);
    if (!connectionUp || sqlState.startsWith("08") || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03")
        f.kind = DatabaseFailure::Kind::ConnectionLost;
    else if (sqlState == "53100")
        f.kind = DatabaseFailure::Kind::DiskFull;
    else if (sqlState == "25006" || sqlState == "42501")
        f.kind = DatabaseFailure::Kind::ReadOnly;
    else if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "57014")
        f.kind = DatabaseFailure::Kind::Locked;
    else if (sqlState == "58030")
        f.kind = DatabaseFailure::Kind::DiskError;
    else
        f.kind = DatabaseFailure::Kind::Other;
    return f;
}

DatabaseFailure databaseFailure(const QSqlError& error, bool server)
{
    if (error.type() == QSqlError::NoError)
        return {};
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (server)
        return serverFailure(error.nativeErrorCode().toLatin1(), text, !isConnectionLoss(error));
    // SQLite's driver marks every failed step as a connection error: its own
    // result code tells the reason instead; without one nothing more is known.
    bool numeric = false;
    error.nativeErrorCode().toInt(&numeric);
    if (!numeric)
        return DatabaseFailure{DatabaseFailure::Kind::Other, text.trimmed()};
    return sqliteFailure(error);
}

} // namespace tvq52
