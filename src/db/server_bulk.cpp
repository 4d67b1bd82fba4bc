#include "db/server_bulk.h"

#include <algorithm>

#include <QDate>
#include <QSqlDriver>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>

namespace tvq52 {

ServerBulk::ServerBulk(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by its struct.
    if (handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        conn_ = *static_cast<PGconn* const*>(handle.constData());
    if (conn_ && PQstatus(conn_) != CONNECTION_OK)
        conn_ = nullptr;
}

ServerBulk::~ServerBulk()
{
    // Prepared statements live as long as the session; the connection is Qt's
    // and outlives us.
    for (const QByteArray& name : prepared_) {
        const QByteArray sql = "DEALLOCATE " + name;
        PQclear(PQexec(conn_, sql.constData()));
    }
}

int ServerBulk::Result::rows() const
{
    return result_ ? PQntuples(result_.get()) : 0;
}

qint64 ServerBulk::Result::affected() const
{
    return result_ ? QByteArray(PQcmdTuples(result_.get())).toLongLong() : 0;
}

bool ServerBulk::Result::isNull(int row, int column) const
{
    return PQgetisnull(result_.get(), row, column) != 0;
}

const char* ServerBulk::Result::text(int row, int column) const
{
    return PQgetvalue(result_.get(), row, column);
}

ServerBulk::Result ServerBulk::finish(PGresult* raw)
{
    Result r;
    r.result_ = std::shared_ptr<PGresult>(raw, PQclear);
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    r.ok_ = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
    if (!r.ok_) {
        r.error_ = QString::fromUtf8(raw ? PQresultErrorMessage(raw) : PQerrorMessage(conn_)).trimmed();
        if (raw)
            if (const char* state = PQresultErrorField(raw, PG_DIAG_SQLSTATE))
                r.sqlState_ = state;
        r.connectionUp_ = connectionUp();
    }
    return r;
}

QString ServerBulk::connectionError() const
{
    return conn_ ? QString::fromUtf8(PQerrorMessage(conn_)).trimmed() : QStringLiteral("no PostgreSQL connection");
}

bool ServerBulk::connectionUp() const
{
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

namespace {

struct ParamArray {
    explicit ParamArray(const std::vector<QByteArray>& params)
    {
        values.reserve(params.size());
        for (const QByteArray& p : params)
            values.push_back(p.isNull() ? nullptr : p.constData());
    }
    std::vector<const char*> values;
};

} // namespace

ServerBulk::Result ServerBulk::exec(const QByteArray& sql, const std::vector<QByteArray>& params)
{
    if (!conn_) {
        Result r;
        r.error_ = QStringLiteral("no PostgreSQL connection");
        r.connectionUp_ = false;
        return r;
    }
    const ParamArray p(params);
    return finish(
        PQexecParams(conn_, sql.constData(), int(params.size()), nullptr, p.values.data(), nullptr, nullptr, 0));
}

bool ServerBulk::prepare(const QByteArray& name, const QByteArray& sql, int paramCount, QString* error)
{
    if (!conn_) {
        *error = QStringLiteral("no PostgreSQL connection");
        return false;
    }
    const Result r = finish(PQprepare(conn_, name.constData(), sql.constData(), paramCount, nullptr));
    if (!r.ok()) {
        *error = r.error();
        return false;
    }
    prepared_.push_back(name);
    return true;
}

bool ServerBulk::ensurePrepared(const QByteArray& name, const QByteArray& sql, int paramCount, QString* error)
{
    if (std::find(prepared_.begin(), prepared_.end(), name) != prepared_.end())
        return true;
    return prepare(name, sql, paramCount, error);
}

ServerBulk::Result ServerBulk::execNamed(const QByteArray& name, const QByteArray& sql,
                                         const std::vector<QByteArray>& params)
{
    QString error;
    if (!ensurePrepared(name, sql, int(params.size()), &error))
        return exec(sql, params);
    return execPrepared(name, params);
}

ServerBulk::Result ServerBulk::execPrepared(const QByteArray& name, const std::vector<QByteArray>& params)
{
    const ParamArray p(params);
    return finish(PQexecPrepared(conn_, name.constData(), int(params.size()), p.values.data(), nullptr, nullptr, 0));
}

void ServerArray::append(const QByteArray& element)
{
    if (text_.size() > 1)
        text_ += ',';
    if (element.isNull()) {
        text_ += "NULL";
        return;
    }
    text_ += '"';
    for (const char c : element) {
        if (c == '"' || c == '\\')
            text_ += '\\';
        text_ += c;
    }
    text_ += '"';
}

QByteArray ServerArray::finish()
{
    text_ += '}';
    QByteArray done = std::move(text_);
    text_ = QByteArrayLiteral("{");
    return done;
}

bool ServerBulk::sendPrepared(const QByteArray& name, const std::vector<QByteArray>& params)
{
    const ParamArray p(params);
    return conn_
        && PQsendQueryPrepared(conn_, name.constData(), int(params.size()), p.values.data(), nullptr, nullptr, 0) == 1;
}

ServerBulk::Result ServerBulk::receive()
{
    // The statement's result, then a null one that ends it.
    PGresult* last = nullptr;
    while (PGresult* r = PQgetResult(conn_)) {
        PQclear(last);
        last = r;
    }
    return finish(last);
}

QByteArray serverText(const ColumnDef& column, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QByteArray();
    switch (column.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QByteArray::number(value.toLongLong());
    case ColumnType::Single: {
        // The shortest text that reads back as the same single.
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.toFloat());
        return QByteArray(buffer, int(end.ptr - buffer));
    }
    case ColumnType::Boolean:
        return value.toBool() ? QByteArrayLiteral("t") : QByteArrayLiteral("f");
    case ColumnType::Date: {
        const QDate d = value.typeId() == QMetaType::QDate ? value.toDate()
                                                           : QDate::fromString(value.toString().left(10), Qt::ISODate);
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            return QByteArray();
        char text[10];
        const int parts[] = {d.year() / 100, d.year() % 100, d.month(), d.day()};
        for (int i = 0, at = 0; i < 4; ++i) {
            if (i >= 2)
                text[at++] = '-';
            text[at++] = char('0' + parts[i] / 10);
            text[at++] = char('0' + parts[i] % 10);
        }
        return QByteArray(text, 10);
    }
    case ColumnType::Text: {
        QByteArray text = value.toString().toUtf8();
        if (text.isNull())
            text = QByteArray("");
        return text;
    }
    }
    return QByteArray();
}

QVariant fromServerText(const ColumnDef& column, const char* text)
{
    if (!text)
        return QVariant();
    switch (column.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QVariant(qlonglong(std::strtoll(text, nullptr, 10)));
    case ColumnType::Single: {
        // Not strtof: the program runs under the user's locale.
        float v = 0;
        std::from_chars(text, text + std::strlen(text), v);
        return QVariant(double(v));
    }
    case ColumnType::Boolean:
        return QVariant(text[0] == 't' ? 1 : 0);
    case ColumnType::Date:
    case ColumnType::Text:
        return QVariant(QString::fromUtf8(text));
    }
    return QVariant();
}

QString serverCast(const ColumnDef& column)
{
    switch (column.type) {
    case ColumnType::Long:
        return QStringLiteral("integer");
    case ColumnType::Short:
    case ColumnType::Byte:
        return QStringLiteral("smallint");
    case ColumnType::Single:
        return QStringLiteral("real");
    case ColumnType::Boolean:
        return QStringLiteral("boolean");
    case ColumnType::Date:
        return QStringLiteral("date");
    case ColumnType::Text:
        // Not varchar(n): that cast would cut a longer text without a word.
        return QStringLiteral("text");
    }
    return QStringLiteral("text");
}

} // namespace tvq52
