#include "db/server_bulk.h"

#include <algorithm>

#include <QSqlDriver>
#include <libpq-fe.h>

namespace tvq52 {

pg_conn* serverHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by its struct.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    PGconn* conn = *static_cast<PGconn* const*>(handle.constData());
    return conn && PQstatus(conn) == CONNECTION_OK ? conn : nullptr;
}

ServerBulk::ServerBulk(const QSqlDatabase& db) : conn_(serverHandle(db)) {}

ServerBulk::~ServerBulk()
{
    if (owned_) {
        PQfinish(conn_);
        return;
    }
    // Prepared statements live as long as the session; the connection is Qt's
    // and outlives us.
    for (const QByteArray& name : prepared_) {
        const QByteArray sql = "DEALLOCATE " + name;
        PQclear(PQexec(conn_, sql.constData()));
    }
}

std::unique_ptr<ServerBulk> ServerBulk::sibling(const std::vector<QByteArray>& settings) const
{
    if (!conn_)
        return nullptr;
    // The options the connection was made with, a password given included.
    PQconninfoOption* options = PQconninfo(conn_);
    if (!options)
        return nullptr;
    std::vector<const char*> keys, values;
    for (const PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) {
            keys.push_back(o->keyword);
            values.push_back(o->val);
        }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    PQconninfoFree(options);
    if (!conn)
        return nullptr;
    std::unique_ptr<ServerBulk> side(new ServerBulk(conn));
    if (PQstatus(conn) != CONNECTION_OK)
        return nullptr;
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    for (const QByteArray& setting : settings)
        if (!side->exec(setting, {}).ok())
            return nullptr;
    return side;
}

int ServerBulk::Answer::rows() const
{
    return result_ ? PQntuples(result_.get()) : 0;
}

qint64 ServerBulk::Answer::affected() const
{
    return result_ ? QByteArray(PQcmdTuples(result_.get())).toLongLong() : 0;
}

bool ServerBulk::Answer::isNull(int row, int column) const
{
    return PQgetisnull(result_.get(), row, column) != 0;
}

const char* ServerBulk::Answer::text(int row, int column) const
{
    return PQgetvalue(result_.get(), row, column);
}

ServerBulk::Answer ServerBulk::finish(PGresult* raw)
{
    Answer r;
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

ServerBulk::Answer ServerBulk::exec(const QByteArray& sql, const std::vector<QByteArray>& params)
{
    if (!conn_) {
        Answer r;
        r.error_ = QStringLiteral("no PostgreSQL connection");
        r.connectionUp_ = false;
        return r;
    }
    const ParamArray p(params);
    return finish(
        PQexecParams(conn_, sql.constData(), int(params.size()), nullptr, p.values.data(), nullptr, nullptr, 0));
}

Status ServerBulk::prepare(const QByteArray& name, const QByteArray& sql, int paramCount)
{
    if (!conn_)
        return Error(0, QStringLiteral("no PostgreSQL connection"));
    const Answer r = finish(PQprepare(conn_, name.constData(), sql.constData(), paramCount, nullptr));
    if (!r.ok())
        return Error(0, r.error());
    prepared_.push_back(name);
    return Status();
}

Status ServerBulk::ensurePrepared(const QByteArray& name, const QByteArray& sql, int paramCount)
{
    if (std::find(prepared_.begin(), prepared_.end(), name) != prepared_.end())
        return Status();
    return prepare(name, sql, paramCount);
}

ServerBulk::Answer ServerBulk::execNamed(const QByteArray& name, const QByteArray& sql,
                                         const std::vector<QByteArray>& params)
{
    if (!ensurePrepared(name, sql, int(params.size())))
        return exec(sql, params);
    return execPrepared(name, params);
}

ServerBulk::Answer ServerBulk::execPrepared(const QByteArray& name, const std::vector<QByteArray>& params)
{
    const ParamArray p(params);
    return finish(PQexecPrepared(conn_, name.constData(), int(params.size()), p.values.data(), nullptr, nullptr, 0));
}

bool ServerBulk::sendPrepared(const QByteArray& name, const std::vector<QByteArray>& params)
{
    const ParamArray p(params);
    return conn_
        && PQsendQueryPrepared(conn_, name.constData(), int(params.size()), p.values.data(), nullptr, nullptr, 0) == 1;
}

ServerBulk::Answer ServerBulk::receive()
{
    // The statement's result, then a null one that ends it.
    PGresult* last = nullptr;
    while (PGresult* r = PQgetResult(conn_)) {
        PQclear(last);
        last = r;
    }
    return finish(last);
}

bool ServerBulk::busy() const
{
    return conn_ && PQconsumeInput(conn_) == 1 && PQisBusy(conn_) == 1;
}

Status ServerBulk::startCopy(const QByteArray& sql)
{
    if (!conn_)
        return Error(0, QStringLiteral("no PostgreSQL connection"));
    PGresult* started = PQexec(conn_, sql.constData());
    if (started && PQresultStatus(started) == PGRES_COPY_IN) {
        PQclear(started);
        return Status();
    }
    return Error(0, finish(started).error());
}

bool ServerBulk::putCopyData(QByteArrayView data)
{
    return conn_ && PQputCopyData(conn_, data.constData(), int(data.size())) == 1;
}

void ServerBulk::sizeTempBuffers(const QByteArray& size)
{
    if (const Answer fresh = exec("SELECT pg_my_temp_schema() = 0", {});
        fresh.ok() && fresh.rows() == 1 && fresh.text(0, 0)[0] == 't')
        exec("SET temp_buffers = '" + size + "'", {});
}

ServerBulk::Answer ServerBulk::endCopy()
{
    if (!conn_ || PQputCopyEnd(conn_, nullptr) != 1) {
        Answer r;
        r.error_ = connectionError();
        r.connectionUp_ = connectionUp();
        return r;
    }
    return receive();
}

} // namespace tvq52
