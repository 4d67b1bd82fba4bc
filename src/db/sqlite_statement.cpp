#include "db/sqlite_statement.h"

#include "db/database_failure.h"

#include <QSqlDriver>
#include <sqlite3.h>
#include <utility>

namespace tvq52 {

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

bool SqliteStep::rowRefused() const
{
    return failed() && isSqliteRowError(code);
}

DatabaseFailure SqliteStep::databaseFailure() const
{
    return sqliteFailure(code, message);
}

SqliteStep sqliteExec(sqlite3* db, const char* sql)
{
    if (!db)
        return SqliteStep{SqliteStep::State::Failed, SQLITE_MISUSE, QStringLiteral("no SQLite connection")};
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return SqliteStep{};
    return SqliteStep{SqliteStep::State::Failed, rc, QString::fromUtf8(sqlite3_errmsg(db))};
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr))
{}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

SqliteStep SqliteStatement::failure(int code) const
{
    return SqliteStep{SqliteStep::State::Failed, code,
                      db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("no SQLite connection")};
}

SqliteStep SqliteStatement::prepare(sqlite3* db, const QString& sql)
{
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    db_ = db;
    if (!db)
        return failure(SQLITE_MISUSE);
    const int rc = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt_, nullptr);
    return rc == SQLITE_OK ? SqliteStep{} : failure(rc);
}

void SqliteStatement::bind(int index, const QVariant& v)
{
    const int i = index + 1;
    if (v.isNull()) {
        sqlite3_bind_null(stmt_, i);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool:
        sqlite3_bind_int64(stmt_, i, v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt_, i, v.toDouble());
        break;
    default: {
        const QString text = v.toString();
        sqlite3_bind_text16(stmt_, i, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    }
    }
}

void SqliteStatement::bind(int index, const SinkRow& row, size_t at)
{
    const SinkValue& v = row[at];
    switch (v.kind) {
    case SinkValue::Kind::Null:
        sqlite3_bind_null(stmt_, index + 1);
        break;
    case SinkValue::Kind::Integer:
        sqlite3_bind_int64(stmt_, index + 1, v.integer);
        break;
    case SinkValue::Kind::Real:
        sqlite3_bind_double(stmt_, index + 1, v.real);
        break;
    case SinkValue::Kind::Text: {
        bindText(index, row.text(at));
    }
    }
}

void SqliteStatement::bindInteger(int index, qint64 value)
{
    sqlite3_bind_int64(stmt_, index + 1, value);
}

void SqliteStatement::bindText(int index, std::string_view text)
{
    sqlite3_bind_text(stmt_, index + 1, text.empty() ? "" : text.data(), int(text.size()), SQLITE_STATIC);
}

void SqliteStatement::bindBlob(int index, std::string_view bytes)
{
    sqlite3_bind_blob(stmt_, index + 1, bytes.data(), int(bytes.size()), SQLITE_STATIC);
}

SqliteStep SqliteStatement::step()
{
    if (!stmt_)
        return failure(SQLITE_MISUSE);
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return SqliteStep{SqliteStep::State::Row, 0, {}};
    if (rc == SQLITE_DONE)
        return SqliteStep{};
    return failure(rc);
}

void SqliteStatement::reset()
{
    sqlite3_reset(stmt_);
}

QVariant SqliteStatement::column(int i) const
{
    switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, i));
    case SQLITE_NULL:
        return QVariant();
    default: {
        const void* text = sqlite3_column_text16(stmt_, i);
        return QVariant(QString::fromUtf16(static_cast<const char16_t*>(text), sqlite3_column_bytes16(stmt_, i) / 2));
    }
    }
}

bool SqliteStatement::isNull(int i) const
{
    return sqlite3_column_type(stmt_, i) == SQLITE_NULL;
}

int SqliteStatement::type(int i) const
{
    return sqlite3_column_type(stmt_, i);
}

qint64 SqliteStatement::integer(int i) const
{
    return sqlite3_column_int64(stmt_, i);
}

double SqliteStatement::real(int i) const
{
    return sqlite3_column_double(stmt_, i);
}

const char* SqliteStatement::text(int i) const
{
    return reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
}

int SqliteStatement::bytes(int i) const
{
    return sqlite3_column_bytes(stmt_, i);
}

sqlite3_value* SqliteStatement::value(int i) const
{
    return sqlite3_column_value(stmt_, i);
}

int SqliteStatement::columnCount() const
{
    return sqlite3_column_count(stmt_);
}

QString SqliteStatement::columnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

} // namespace tvq52
