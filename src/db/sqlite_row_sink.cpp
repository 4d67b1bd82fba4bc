#include "db/sqlite_row_sink.h"

#include "db/journal.h"
#include "db/store.h"

#include <QStringList>
#include <sqlite3.h>

namespace tvq52 {

bool SqliteRowSink::prepare(const std::vector<SinkTable>& tables, Journal& journal, qint64 entry)
{
    journal_ = &journal;
    entry_ = entry;
    tables_.clear();
    tables_.reserve(tables.size());
    counts_.assign(tables.size(), SinkCounts());
    committed_ = counts_;
    for (const SinkTable& def : tables) {
        Table& t = tables_.emplace_back();
        t.def = def;
        t.name = QString::fromUtf8(def.table->name);
        QStringList quoted, where;
        for (const ColumnDef* c : def.columns)
            quoted << quoteIdentifier(QString::fromUtf8(c->name));
        for (int k : def.keyIndex)
            where << quoted[k] + QStringLiteral(" = ?");
        const QString table = quoteIdentifier(t.name);
        SqliteStep step =
            t.find.prepare(db_,
                           QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                               .arg(quoted.join(QLatin1String(", ")), table, where.join(QLatin1String(" AND "))));
        if (!step.failed())
            step =
                t.insert.prepare(db_,
                                 QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(table, quoted.join(QLatin1String(", ")),
                                          QStringList(quoted.size(), QStringLiteral("?")).join(QLatin1String(", "))));
        if (step.failed()) {
            failure_ = step.databaseFailure();
            return false;
        }
    }
    return true;
}

void SqliteRowSink::fail(const SqliteStep& step, qint64 line)
{
    failure_ = step.databaseFailure();
    failedLine_ = line;
    sqliteExec(db_, "ROLLBACK");
    counts_ = committed_;
    added_ = committedAdded_;
}

bool SqliteRowSink::exec(const char* sql, qint64 line)
{
    const SqliteStep step = sqliteExec(db_, sql);
    if (step.failed())
        fail(step, line);
    return !step.failed();
}

bool SqliteRowSink::commit(qint64 line)
{
    if (!exec("COMMIT", line))
        return false;
    committed_ = counts_;
    committedAdded_ = added_;
    return true;
}

bool SqliteRowSink::begin()
{
    return exec("BEGIN", 0);
}

void SqliteRowSink::add(size_t index, qint64 line, const QVariantList& values)
{
    if (failure_.failed())
        return;
    Table& t = tables_[index];
    for (size_t k = 0; k < t.def.keyIndex.size(); ++k)
        t.find.bind(int(k), values[t.def.keyIndex[k]]);
    const SqliteStep found = t.find.step();
    if (found.failed()) {
        t.find.reset();
        fail(found, line);
        return;
    }
    if (found.row()) {
        bool same = true;
        for (size_t i = 0; i < t.def.columns.size() && same; ++i)
            same = sameStoredValue(*t.def.columns[i], t.find.column(int(i)), values[qsizetype(i)]);
        ++(same ? counts_[index].present : counts_[index].differs);
        t.find.reset();
        return;
    }
    t.find.reset();
    if (!insert(index, line, values))
        return;
    ++counts_[index].added;
    ++added_;
    if (++inBatch_ >= batchRows_) {
        if (!commit(line) || !exec("BEGIN", line))
            return;
        inBatch_ = 0;
    }
}

bool SqliteRowSink::insert(size_t index, qint64 line, const QVariantList& values)
{
    Table& t = tables_[index];
    for (qsizetype i = 0; i < values.size(); ++i)
        t.insert.bind(int(i), values[i]);
    const SqliteStep done = t.insert.step();
    t.insert.reset();
    if (done.rowRefused()) {
        // The row's own values, not the database: refuse it and go on.
        if (onRefused)
            onRefused(index, line, done.message);
        return false;
    }
    if (done.failed()) {
        fail(done, line);
        return false;
    }
    Row stored;
    for (size_t i = 0; i < t.def.columns.size(); ++i)
        stored.set(QString::fromUtf8(t.def.columns[i]->name), values[qsizetype(i)]);
    if (!journal_->addRecord(entry_, t.name, stored)) {
        // A row the journal cannot list is not kept: the batch goes back.
        fail(SqliteStep{SqliteStep::State::Failed, sqlite3_errcode(db_), journal_->lastError()}, line);
        return false;
    }
    return true;
}

void SqliteRowSink::finish(qint64 line)
{
    if (!failure_.failed())
        commit(line);
}

} // namespace tvq52
