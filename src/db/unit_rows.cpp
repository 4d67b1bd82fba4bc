#include "db/unit_rows.h"

#include "db/database.h"
#include "db/server_bulk.h"
#include "db/sqlite_statement.h"

#include <charconv>
#include <cstring>

namespace tvq52 {

class UnitRows::Backend {
public:
    virtual ~Backend() = default;
    virtual bool next(Status& status) = 0;
    virtual bool isNull(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual bool boolean(int column) const = 0;
    virtual std::string_view text(int column) const = 0;
};

namespace {

QString selectSql(const TableDef& table, const QStringList& columns, qint32 serial, SqlDialect dialect)
{
    QStringList names;
    for (const QString& name : columns) {
        const ColumnDef* c = table.column(name);
        const QString q = quoteIdentifier(c ? QString::fromUtf8(c->name) : name);
        // The server's date text follows its DateStyle; this one does not.
        names << (c && c->type == ColumnType::Date && dialect == SqlDialect::PostgreSQL
                      ? QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(q)
                      : q);
    }
    QStringList key;
    for (const char* k : table.key)
        key << quoteIdentifier(QString::fromUtf8(k));
    return QStringLiteral("SELECT %1 FROM %2 WHERE \"LNumeroSerie\" = %3 ORDER BY %4")
        .arg(names.join(QStringLiteral(", ")), quoteIdentifier(QString::fromUtf8(table.name)))
        .arg(serial)
        .arg(key.join(QStringLiteral(", ")));
}

class SqliteRows final : public UnitRows::Backend {
public:
    Status open(sqlite3* db, const QString& sql)
    {
        const SqliteStep prepared = statement_.prepare(db, sql);
        if (prepared.failed())
            return Error(0, prepared.message);
        return {};
    }
    bool next(Status& status) override
    {
        const SqliteStep step = statement_.step();
        if (step.failed())
            status = Error(0, step.message);
        return step.row();
    }
    bool isNull(int column) const override { return statement_.isNull(column); }
    qint64 integer(int column) const override { return statement_.integer(column); }
    double real(int column) const override { return statement_.real(column); }
    bool boolean(int column) const override { return statement_.integer(column) != 0; }
    std::string_view text(int column) const override
    {
        const char* t = statement_.text(column);
        return t ? std::string_view(t, size_t(statement_.bytes(column))) : std::string_view();
    }

private:
    SqliteStatement statement_;
};

// A cursor of its own read-only transaction, fetched a piece at a time.
class ServerRows final : public UnitRows::Backend {
public:
    explicit ServerRows(const QSqlDatabase& db) : bulk_(db) {}
    ~ServerRows() override
    {
        if (begun_)
            bulk_.exec(ended_ ? "COMMIT" : "ROLLBACK", {});
    }
    bool valid() const { return bulk_.valid(); }
    Status open(const QString& sql)
    {
        ServerBulk::Answer r = bulk_.exec("BEGIN READ ONLY", {});
        begun_ = r.ok();
        // Every digit a single needs, whatever the server's default.
        if (r.ok())
            r = bulk_.exec("SET LOCAL extra_float_digits = 3", {});
        if (r.ok())
            r = bulk_.exec("DECLARE tvq52_unit_rows NO SCROLL CURSOR FOR " + sql.toUtf8(), {});
        if (!r.ok())
            return Error(0, r.error());
        return {};
    }
    bool next(Status& status) override
    {
        if (++row_ < piece_.rows())
            return true;
        if (ended_)
            return false;
        piece_ = bulk_.exec("FETCH 20000 FROM tvq52_unit_rows", {});
        row_ = 0;
        if (!piece_.ok()) {
            status = Error(0, piece_.error());
            ended_ = true;
            return false;
        }
        if (piece_.rows() == 0) {
            bulk_.exec("CLOSE tvq52_unit_rows", {});
            ended_ = true;
            return false;
        }
        return true;
    }
    bool isNull(int column) const override { return piece_.isNull(row_, column); }
    qint64 integer(int column) const override
    {
        const std::string_view t = text(column);
        qint64 v = 0;
        std::from_chars(t.data(), t.data() + t.size(), v);
        return v;
    }
    double real(int column) const override
    {
        const std::string_view t = text(column);
        double v = 0;
        std::from_chars(t.data(), t.data() + t.size(), v);
        return v;
    }
    bool boolean(int column) const override { return text(column).substr(0, 1) == "t"; }
    std::string_view text(int column) const override { return piece_.text(row_, column); }

private:
    ServerBulk bulk_;
    ServerBulk::Answer piece_;
    int row_ = -1;
    bool begun_ = false;
    bool ended_ = false;
};

} // namespace

UnitRows::UnitRows(Database& database) : database_(database) {}

UnitRows::~UnitRows() = default;

Status UnitRows::open(const TableDef& table, const QStringList& columns, qint32 serial)
{
    backend_.reset();
    // A server that went away and came back gets a new connection here.
    if (database_.connectionLost())
        (void)database_.reconnect();
    const QSqlDatabase db = database_.connection();
    const QString sql = selectSql(table, columns, serial, database_.dialect());
    if (sqlite3* handle = sqliteHandle(db)) {
        auto rows = std::make_unique<SqliteRows>();
        status_ = rows->open(handle, sql);
        backend_ = std::move(rows);
    } else if (auto rows = std::make_unique<ServerRows>(db); rows->valid()) {
        status_ = rows->open(sql);
        backend_ = std::move(rows);
    } else {
        status_ = Error(0, QStringLiteral("no open database connection"));
    }
    return status_;
}

bool UnitRows::next()
{
    return backend_ && status_.ok() && backend_->next(status_);
}

Status UnitRows::status() const
{
    return status_;
}

bool UnitRows::isNull(int column) const
{
    return backend_->isNull(column);
}

qint64 UnitRows::integer(int column) const
{
    return backend_->integer(column);
}

double UnitRows::real(int column) const
{
    return backend_->real(column);
}

bool UnitRows::boolean(int column) const
{
    return backend_->boolean(column);
}

std::string_view UnitRows::text(int column) const
{
    return backend_->text(column);
}

} // namespace tvq52
