#pragma once

#include "core/error.h"
#include "db/server_text.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

namespace tvq52 {

// The PostgreSQL connection under `db`, or null when it is not an open one.
pg_conn* serverHandle(const QSqlDatabase& db);

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

    // Another session of the same login on the same server and database,
    // which runs `settings` first; null when it cannot be opened.
    std::unique_ptr<ServerBulk> sibling(const std::vector<QByteArray>& settings) const;

    // False when the connection is not an open PostgreSQL one.
    bool valid() const { return conn_ != nullptr; }

    // What the server answered to one statement.
    class Answer {
    public:
        bool ok() const { return ok_; }
        QString error() const { return error_; }
        QByteArray sqlState() const { return sqlState_; }
        // False when the connection broke: the statement never ran to an answer.
        bool connectionUp() const { return connectionUp_; }
        int rows() const;
        // An answer that needed no statement.
        static Answer done()
        {
            Answer a;
            a.ok_ = true;
            return a;
        }
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
    Answer exec(const QByteArray& sql, const std::vector<QByteArray>& params);
    // Prepared once under `name` for this object's life; the error holds
    // the server's text.
    Status prepare(const QByteArray& name, const QByteArray& sql, int paramCount);
    Answer execPrepared(const QByteArray& name, const std::vector<QByteArray>& params);
    // Prepared under `name` on first use; done at once when it already was.
    Status ensurePrepared(const QByteArray& name, const QByteArray& sql, int paramCount);
    // Runs `sql` prepared under `name`, or once unprepared when it cannot be prepared.
    Answer execNamed(const QByteArray& name, const QByteArray& sql, const std::vector<QByteArray>& params);
    // The same without waiting: the server works on it while the caller
    // prepares the next batch; receive() waits for its result. One at a time.
    bool sendPrepared(const QByteArray& name, const std::vector<QByteArray>& params);
    Answer receive();
    // Whether the statement sent is still running; reads what has arrived without waiting.
    bool busy() const;
    // COPY ... FROM STDIN: started (the error holds the server's words), its
    // data sent in pieces as it is made, then ended with the server's answer.
    Status startCopy(const QByteArray& sql);
    bool putCopyData(QByteArrayView data);
    Answer endCopy();
    // Temporary tables live in the session's own buffers, which can be sized
    // only before its first one: `size` (e.g. "512MB") when still possible.
    void sizeTempBuffers(const QByteArray& size);
    // What the connection last said went wrong, and whether it is still up.
    QString connectionError() const;
    bool connectionUp() const;

private:
    explicit ServerBulk(pg_conn* own) : conn_(own), owned_(true) {}
    Answer finish(pg_result* result);
    pg_conn* conn_ = nullptr;
    bool owned_ = false; // a sibling's: closed with us
    std::vector<QByteArray> prepared_;
};

} // namespace tvq52
