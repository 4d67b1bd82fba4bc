#include "db/store.h"

#include "core/own_words.h"
#include "db/case_folding.h"
#include "db/database.h"
#include "db/row_check.h"
#include "db/sql_error.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>

namespace tvq52 {

void Row::set(const QString& column, const QVariant& value)
{
    const int i = indexOf(column);
    if (i >= 0) {
        values_[i] = value;
        return;
    }
    columns_ << column;
    values_ << value;
}

QVariant Row::value(const QString& column) const
{
    const int i = indexOf(column);
    return i >= 0 ? values_[i] : QVariant();
}

bool Row::contains(const QString& column) const
{
    return indexOf(column) >= 0;
}

int Row::indexOf(const QString& column) const
{
    // Folding case keeps a name's length: the length rules most names out
    // before the slow comparison, which runs for every column of every row read.
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].size() == column.size() && columns_[i].compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant toStorage(const ColumnDef& column, const QVariant& value, SqlDialect dialect)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (column.type) {
    case ColumnType::Date: {
        QDate d = value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
        if (!d.isValid())
            d = QDate::fromString(value.toString().left(10), Qt::ISODate);
        if (!d.isValid())
            return QVariant();
        return dialect == SqlDialect::SQLite ? QVariant(d.toString(Qt::ISODate)) : QVariant(d);
    }
    case ColumnType::Boolean:
        return dialect == SqlDialect::SQLite ? QVariant(value.toBool() ? 1 : 0) : QVariant(value.toBool());
    case ColumnType::Single:
        return QVariant(double(value.toFloat()));
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QVariant(value.toInt());
    case ColumnType::Text: {
        // Widths hold on both backends alike (PostgreSQL refuses a longer
        // text where SQLite would keep it), counted in characters as both
        // and the import count them, so that an export reads back whole; a
        // note holds no more than an exchange file carries.
        const QString text = value.toString();
        const int most = maxTextChars(column);
        if (text.size() <= most)
            return QVariant(text);
        qsizetype end = 0;
        for (int n = 0; end < text.size() && n < most; ++n)
            end += text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        return QVariant(text.left(end));
    }
    }
    return value;
}

QVariant fromStorage(const ColumnDef& column, const QVariant& value)
{
    if (value.isNull())
        return QVariant();
    switch (column.type) {
    case ColumnType::Date:
        return value.typeId() == QMetaType::QDate ? value
                                                  : QVariant(QDate::fromString(value.toString().left(10), Qt::ISODate));
    case ColumnType::Boolean:
        return QVariant(value.toBool());
    case ColumnType::Single:
        return QVariant(double(value.toFloat()));
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QVariant(value.toInt());
    case ColumnType::Text:
        return QVariant(value.toString());
    }
    return value;
}

namespace {

Status exec(QSqlQuery& q, const QString& sql, const QVariantList& binds, Database* database = nullptr)
{
    const auto fail = [&]() -> Status {
        if (database)
            database->noteFailure(q.lastError());
        return sqlError(q.lastError());
    };
    if (!q.prepare(sql))
        return fail();
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return fail();
    return {};
}

} // namespace

Status insertRow(QSqlDatabase db, const TableDef& table, const Row& row, SqlDialect dialect)
{
    QStringList names;
    QStringList marks;
    QVariantList binds;
    for (int i = 0; i < row.columns().size(); ++i) {
        const ColumnDef* c = table.column(row.columns()[i]);
        if (!c)
            return ownWords(QStringLiteral("%1 has no column %2"), {QString::fromUtf8(table.name), row.columns()[i]});
        names << quoteIdentifier(QString::fromUtf8(c->name));
        marks << QStringLiteral("?");
        binds << toStorage(*c, row.values()[i], dialect);
    }
    QSqlQuery q(db);
    return exec(q,
                QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(quoteIdentifier(QString::fromUtf8(table.name)), names.join(QLatin1String(", ")),
                         marks.join(QLatin1String(", "))),
                binds);
}

Store::Store(Database& database) : database_(database) {}

namespace {

// The store's failures read as the text they always showed, untranslated.
Error plain(const Error& error)
{
    return finalText(untranslatedText(error));
}

Error noColumn(const QString& table, const QString& column)
{
    return finalText(QStringLiteral("%1 has no column %2").arg(table, column));
}

} // namespace

QSqlDatabase Store::liveConnection() const
{
    // A server that went away and came back: whatever failed has been told;
    // the next operation gets a new connection instead of the same error.
    if (database_.connectionLost())
        (void)database_.reconnect();
    return database_.connection();
}

Result<const TableDef*> Store::table(const QString& name) const
{
    const TableDef* t = schemaTable(name);
    if (!t)
        return finalText(QStringLiteral("No table %1").arg(name));
    return t;
}

Result<Store::Clause> Store::whereClause(const TableDef& t, const Row& where) const
{
    Clause clause;
    QStringList terms;
    for (int i = 0; i < where.columns().size(); ++i) {
        const ColumnDef* c = t.column(where.columns()[i]);
        if (!c)
            return noColumn(QString::fromUtf8(t.name), where.columns()[i]);
        const QVariant v = toStorage(*c, where.values()[i], database_.dialect());
        if (v.isNull()) {
            terms << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1String(" IS NULL");
        } else {
            terms << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1String(" = ?");
            clause.binds << v;
        }
    }
    if (!terms.isEmpty())
        clause.sql = QLatin1String(" WHERE ") + terms.join(QLatin1String(" AND "));
    return clause;
}

Result<QString> Store::orderClause(const TableDef& t, const QStringList& orderBy) const
{
    QStringList terms;
    for (const QString& item : orderBy) {
        QString name = item.trimmed();
        bool desc = false;
        if (name.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
            desc = true;
            name.chop(5);
            name = name.trimmed();
        }
        const ColumnDef* c = t.column(name);
        if (!c)
            return noColumn(QString::fromUtf8(t.name), name);
        terms << quoteIdentifier(QString::fromUtf8(c->name)) + (desc ? QLatin1String(" DESC") : QLatin1String(""));
    }
    if (terms.isEmpty())
        return QString();
    return QLatin1String(" ORDER BY ") + terms.join(QLatin1String(", "));
}

Result<QList<Row>> Store::run(const TableDef& t, const QString& sql, const QVariantList& binds) const
{
    QList<Row> rows;
    QSqlQuery q(liveConnection());
    q.setForwardOnly(true);
    if (Status done = exec(q, sql, binds, &database_); !done)
        return plain(done.error());
    const QSqlRecord rec = q.record();
    std::vector<const ColumnDef*> defs;
    std::vector<int> shown; // a server's row number is not the table's own
    for (int i = 0; i < rec.count(); ++i) {
        defs.push_back(t.column(rec.fieldName(i)));
        if (defs.back() || rec.fieldName(i) != QLatin1String(kServerRowId))
            shown.push_back(i);
    }
    while (q.next()) {
        Row row;
        for (int i : shown) {
            const QVariant v = q.value(i);
            row.set(defs[i] ? QString::fromUtf8(defs[i]->name) : rec.fieldName(i),
                    defs[i] ? fromStorage(*defs[i], v) : v);
        }
        rows << row;
    }
    // A read that fails partway is no shorter answer: it is no answer.
    if (q.lastError().isValid()) {
        database_.noteFailure(q.lastError());
        return plain(sqlError(q.lastError()));
    }
    return rows;
}

Result<QList<Row>> Store::select(const QString& tableName, const Row& where, const QStringList& orderBy) const
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    const Result<Clause> clause = whereClause(**t, where);
    if (!clause)
        return clause.error();
    const Result<QString> order = orderClause(**t, orderBy);
    if (!order)
        return order.error();
    const QString sql =
        QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(QString::fromUtf8((*t)->name))) + clause->sql + *order;
    return run(**t, sql, clause->binds);
}

Result<std::optional<Row>> Store::selectOne(const QString& tableName, const Row& where) const
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    const Result<Clause> clause = whereClause(**t, where);
    if (!clause)
        return clause.error();
    const QString sql = QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(QString::fromUtf8((*t)->name)))
        + clause->sql + QLatin1String(" LIMIT 1");
    Result<QList<Row>> rows = run(**t, sql, clause->binds);
    if (!rows)
        return rows.error();
    if (rows->isEmpty())
        return std::optional<Row>();
    return std::optional<Row>(rows->front());
}

Result<QList<Row>> Store::selectContaining(const QString& tableName, const QString& column, const QString& fragment,
                                           const QStringList& orderBy) const
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    const ColumnDef* c = (*t)->column(column);
    if (!c)
        return noColumn(tableName, column);
    const QString text = QStringLiteral("CAST(%1 AS VARCHAR(255))").arg(quoteIdentifier(QString::fromUtf8(c->name)));
    const Result<QString> order = orderClause(**t, orderBy);
    if (!order)
        return order.error();
    const QString sql = QStringLiteral("SELECT * FROM %1 WHERE %2 LIKE ? ESCAPE '\\'")
                            .arg(quoteIdentifier(QString::fromUtf8((*t)->name)), foldedSql(database_.dialect(), text))
        + *order;
    return run(**t, sql, {QVariant(containsPattern(fragment))});
}

Result<qint64> Store::count(const QString& tableName, const Row& where) const
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    const Result<Clause> clause = whereClause(**t, where);
    if (!clause)
        return clause.error();
    const QString sql =
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoteIdentifier(QString::fromUtf8((*t)->name))) + clause->sql;
    QSqlQuery q(liveConnection());
    if (Status done = exec(q, sql, clause->binds, &database_); !done)
        return plain(done.error());
    if (!q.next()) {
        database_.noteFailure(q.lastError());
        return plain(sqlError(q.lastError()));
    }
    return q.value(0).toLongLong();
}

Status Store::insert(const QString& tableName, const Row& row)
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    if (Status done = insertRow(liveConnection(), **t, row, database_.dialect()); !done)
        return plain(done.error());
    return {};
}

Result<int> Store::change(const QString& sql, const QVariantList& binds)
{
    QSqlQuery q(liveConnection());
    if (Status done = exec(q, sql, binds, &database_); !done)
        return plain(done.error());
    return q.numRowsAffected();
}

Result<int> Store::update(const QString& tableName, const Row& values, const Row& where)
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    QStringList sets;
    QVariantList binds;
    for (int i = 0; i < values.columns().size(); ++i) {
        const ColumnDef* c = (*t)->column(values.columns()[i]);
        if (!c)
            return noColumn(tableName, values.columns()[i]);
        sets << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1String(" = ?");
        binds << toStorage(*c, values.values()[i], database_.dialect());
    }
    if (sets.isEmpty())
        return 0;
    const Result<Clause> clause = whereClause(**t, where);
    if (!clause)
        return clause.error();
    return change(QStringLiteral("UPDATE %1 SET %2")
                          .arg(quoteIdentifier(QString::fromUtf8((*t)->name)), sets.join(QLatin1String(", ")))
                      + clause->sql,
                  binds + clause->binds);
}

Status Store::upsert(const QString& tableName, const Row& row)
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    return insertOnConflict(**t, row, true).status();
}

Result<bool> Store::insertIfAbsent(const QString& tableName, const Row& row)
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    return insertOnConflict(**t, row, false);
}

Result<bool> Store::insertOnConflict(const TableDef& t, const Row& row, bool update)
{
    if (t.key.empty())
        return finalText(QStringLiteral("%1 has no key").arg(QString::fromUtf8(t.name)));
    // One statement decides, so that two PCs storing the same row at once end
    // with one row and no unique-key error on either.
    QStringList names;
    QStringList marks;
    QStringList sets;
    QVariantList binds;
    for (int i = 0; i < row.columns().size(); ++i) {
        const ColumnDef* c = t.column(row.columns()[i]);
        if (!c)
            return noColumn(QString::fromUtf8(t.name), row.columns()[i]);
        const QString name = quoteIdentifier(QString::fromUtf8(c->name));
        names << name;
        marks << QStringLiteral("?");
        binds << toStorage(*c, row.values()[i], database_.dialect());
        const bool isKey = t.isKey(*c);
        if (!isKey)
            sets << name + QLatin1String(" = excluded.") + name;
    }
    QStringList keyNames;
    for (const char* k : t.key)
        keyNames << quoteIdentifier(QString::fromUtf8(k));
    const QString action = update && !sets.isEmpty() ? QLatin1String("DO UPDATE SET ") + sets.join(QLatin1String(", "))
                                                     : QStringLiteral("DO NOTHING");
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) %5")
                            .arg(quoteIdentifier(QString::fromUtf8(t.name)), names.join(QLatin1String(", ")),
                                 marks.join(QLatin1String(", ")), keyNames.join(QLatin1String(", ")), action);
    const Result<int> touched = change(sql, binds);
    if (!touched)
        return touched.error();
    return *touched > 0;
}

Result<int> Store::remove(const QString& tableName, const Row& where)
{
    const Result<const TableDef*> t = table(tableName);
    if (!t)
        return t.error();
    const Result<Clause> clause = whereClause(**t, where);
    if (!clause)
        return clause.error();
    return change(QStringLiteral("DELETE FROM %1").arg(quoteIdentifier(QString::fromUtf8((*t)->name))) + clause->sql,
                  clause->binds);
}

Status Store::deleteUnit(qint32 serial)
{
    return inTransaction(*this, [&] { return removeUnit(serial); });
}

Status Store::removeUnit(qint32 serial)
{
    // On a server the program's function removes them, for a login that may.
    if (database_.dialect() == SqlDialect::PostgreSQL) {
        if (const Result<int> removed = change(QStringLiteral("SELECT tvq52_admin_delete_unit(CAST(? AS INTEGER))"),
                                               {serial});
            !removed)
            return removed.error();
        return {};
    }
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), serial);
    for (const char* t : kUnitTables)
        if (const Result<int> removed = remove(QString::fromUtf8(t), unit); !removed)
            return removed.error();
    return {};
}

Status Store::transaction()
{
    QSqlDatabase db = liveConnection();
    if (!db.transaction()) {
        database_.noteFailure(db.lastError());
        return finalText(db.lastError().text());
    }
    return {};
}

Status Store::commit()
{
    QSqlDatabase db = database_.connection();
    if (!db.commit()) {
        const Error error = finalText(db.lastError().text());
        db.rollback();
        return error;
    }
    return {};
}

void Store::rollback()
{
    QSqlDatabase db = database_.connection();
    db.rollback();
}

} // namespace tvq52
