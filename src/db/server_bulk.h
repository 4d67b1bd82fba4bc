#pragma once

#include "db/schema.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

namespace tvq52 {

// Statements with thousands of parameters run straight on the PostgreSQL
// connection under a QSqlDatabase: through QSqlQuery every value would be
// formatted into the statement text one QVariant at a time, which makes bulk
// paths several times slower than on SQLite. Values still travel as bound
// parameters, in PostgreSQL's text form.
class ServerBulk {
public:
    explicit ServerBulk(const QSqlDatabase& db);
    ~ServerBulk();
    ServerBulk(const ServerBulk&) = delete;
    ServerBulk& operator=(const ServerBulk&) = delete;

    // False when the connection is not an open PostgreSQL one.
    bool valid() const { return conn_ != nullptr; }

    class Result {
    public:
        bool ok() const { return ok_; }
        QString error() const { return error_; }
        QByteArray sqlState() const { return sqlState_; }
        // False when the connection broke: the statement never ran to an answer.
        bool connectionUp() const { return connectionUp_; }
        int rows() const;
        // Rows an INSERT, UPDATE or DELETE touched.
        qint64 affected() const;
        bool isNull(int row, int column) const;
        const char* text(int row, int column) const;

    private:
        friend class ServerBulk;
        std::shared_ptr<pg_result> result_;
        bool ok_ = false;
        QString error_;
        QByteArray sqlState_;
        bool connectionUp_ = true;
    };

    // One statement; `params[i]` empty-and-null (isNull()) binds SQL NULL.
    Result exec(const QByteArray& sql, const std::vector<QByteArray>& params);
    // Prepared once under `name` for this object's life.
    bool prepare(const QByteArray& name, const QByteArray& sql, int paramCount, QString* error);
    Result execPrepared(const QByteArray& name, const std::vector<QByteArray>& params);
    // Prepared under `name` on first use; true when it already was.
    bool ensurePrepared(const QByteArray& name, const QByteArray& sql, int paramCount, QString* error);
    // Runs `sql` prepared under `name`, or once unprepared when it cannot be prepared.
    Result execNamed(const QByteArray& name, const QByteArray& sql, const std::vector<QByteArray>& params);
    // The same without waiting: the server works on it while the caller
    // prepares the next batch; receive() waits for its result. One at a time.
    bool sendPrepared(const QByteArray& name, const std::vector<QByteArray>& params);
    Result receive();
    // What the connection last said went wrong, and whether it is still up.
    QString connectionError() const;
    bool connectionUp() const;

private:
    Result finish(pg_result* result);
    pg_conn* conn_ = nullptr;
    std::vector<QByteArray> prepared_;
};

// The text of an array parameter ("{...}"), built element by element: a whole
// column of a batch travels as one parameter.
class ServerArray {
public:
    // A null QByteArray is NULL.
    void append(const QByteArray& element);
    QByteArray finish();

private:
    QByteArray text_ = QByteArrayLiteral("{");
};

// A value of `column` as PostgreSQL reads it in text form; a null
// QByteArray for NULL. Floats keep their single-precision value exactly.
QByteArray serverText(const ColumnDef& column, const QVariant& value);
// The text PostgreSQL returned for `column` as the value SQLite would give
// back: integers, doubles, 0/1 for Booleans, "yyyy-mm-dd" dates, texts.
QVariant fromServerText(const ColumnDef& column, const char* text);
// The column's type as a cast in a statement, so that parameters are typed.
QString serverCast(const ColumnDef& column);

} // namespace tvq52
