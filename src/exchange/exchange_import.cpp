#include "exchange/exchange_import.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/journal.h"
#include "db/row_check.h"
#include "db/server_bulk.h"
#include "db/store.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"
#include "i18n/loc_guru.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QTime>
#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sqlite3.h>

namespace tvq52 {

namespace {

// "hh:mm" and "yyyy-mm-dd" without the calendar's formatting machinery.
QString twoDigits(int v)
{
    const QChar digits[2] = {QChar(char16_t(u'0' + v / 10)), QChar(char16_t(u'0' + v % 10))};
    return QString(digits, 2);
}

QString hhmm(const QTime& t)
{
    return twoDigits(t.hour()) + QLatin1Char(':') + twoDigits(t.minute());
}

QString isoDate(const QDate& d)
{
    return QString::number(d.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char('-') + twoDigits(d.month())
        + QLatin1Char('-') + twoDigits(d.day());
}

// What one section needs while its rows are imported: the columns written
// (the file's, then the key times taken from its date-times) and the two
// prepared statements.
enum class Special { None, TimeTyped, TextDate };

// A statement run straight on SQLite: a million rows through QSqlQuery spend
// most of their time building field descriptions and placeholder names.
class Statement {
public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt_); }

    bool prepare(sqlite3* db, const QString& sql)
    {
        db_ = db;
        return sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt_, nullptr) == SQLITE_OK;
    }
    void bind(int index, const QVariant& v) // from 0
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
    int step() { return sqlite3_step(stmt_); }
    void reset() { sqlite3_reset(stmt_); }
    QVariant column(int i) const
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
            return QVariant(
                QString::fromUtf16(static_cast<const char16_t*>(text), sqlite3_column_bytes16(stmt_, i) / 2));
        }
        }
    }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(db_)); }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

struct SectionWork {
    const ExchangeSection* section = nullptr;
    std::vector<const ColumnDef*> columns;
    std::vector<Special> special;
    std::vector<int> keyIndex;
    int startIndex = -1, endIndex = -1;         // DFechaInicio / DFechaFinal
    int startTimeIndex = -1, endTimeIndex = -1; // THoraInicio / THoraFinal
    std::unique_ptr<Statement> find;
    std::unique_ptr<Statement> insert;
    TableImport* summary = nullptr;
};

bool prepare(SectionWork& w, sqlite3* db, QString* error)
{
    const TableDef& t = *w.section->table;
    QStringList names = w.section->fileColumns;
    if (w.section->splitsDateTimes)
        names << QStringLiteral("THoraInicio") << QStringLiteral("THoraFinal");
    QStringList quoted;
    const bool inhabil = w.section->name == QLatin1String("IntervaloInhabil");
    for (const QString& n : names) {
        w.columns.push_back(t.column(n));
        quoted << quoteIdentifier(n);
        if (inhabil && (n == QLatin1String("THoraEmpiezaInt") || n == QLatin1String("THoraTerminaInt")))
            w.special.push_back(Special::TimeTyped);
        else if (n == QLatin1String("TFechaMaxLeq1min") || n == QLatin1String("TFechaMinLeq1min"))
            w.special.push_back(Special::TextDate);
        else
            w.special.push_back(Special::None);
    }
    w.startIndex = int(names.indexOf(QStringLiteral("DFechaInicio")));
    w.endIndex = int(names.indexOf(QStringLiteral("DFechaFinal")));
    w.startTimeIndex = int(names.indexOf(QStringLiteral("THoraInicio")));
    w.endTimeIndex = int(names.indexOf(QStringLiteral("THoraFinal")));
    QStringList where;
    for (const char* k : t.key) {
        w.keyIndex.push_back(int(names.indexOf(QString::fromUtf8(k))));
        where << quoteIdentifier(QString::fromUtf8(k)) + QStringLiteral(" = ?");
    }
    if (!db)
        return true; // a server: ServerWriter makes its own statements
    const QString table = quoteIdentifier(w.section->name);
    w.find = std::make_unique<Statement>();
    w.insert = std::make_unique<Statement>();
    const bool ok =
        w.find->prepare(db,
                        QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                            .arg(quoted.join(QLatin1String(", ")), table, where.join(QLatin1String(" AND "))))
        && w.insert->prepare(db,
                             QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(table, quoted.join(QLatin1String(", ")),
                                      QStringList(names.size(), QStringLiteral("?")).join(QLatin1String(", "))));
    if (!ok)
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    return ok;
}

Refusal::Kind refusalKind(ValueFault fault)
{
    switch (fault) {
    case ValueFault::OutOfRange:
        return Refusal::Kind::OutOfRange;
    case ValueFault::NotADate:
        return Refusal::Kind::NotADate;
    case ValueFault::NotATime:
        return Refusal::Kind::NotATime;
    case ValueFault::NotABit:
        return Refusal::Kind::NotABit;
    case ValueFault::TooLong:
        return Refusal::Kind::TooLong;
    case ValueFault::NoKey:
        return Refusal::Kind::NoKey;
    case ValueFault::None:
    case ValueFault::WrongType:
        break;
    }
    return Refusal::Kind::NotANumber;
}

// The file text of one field as the value SQLite keeps for its column; false
// with `why` filled when the text is not of the column's kind. An empty
// field is no value, but "" stays an empty text.
bool readField(const SectionWork& w, int index, const QString& text, bool quoted, QVariant* out, Refusal* why)
{
    const ColumnDef& c = *w.columns[size_t(index)];
    if (text.isEmpty()) {
        *out = quoted && c.type == ColumnType::Text ? QVariant(QString(QLatin1String(""))) : QVariant();
        return true;
    }
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte: {
        qint64 v = 0;
        if (!parseInteger(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), &v)) {
            why->kind = Refusal::Kind::NotANumber;
            return false;
        }
        *out = QVariant(qlonglong(v));
        return true;
    }
    case ColumnType::Single: {
        double v = 0;
        if (!parseDecimal(text, &v)) {
            why->kind = Refusal::Kind::NotANumber;
            return false;
        }
        *out = QVariant(v);
        return true;
    }
    case ColumnType::Boolean: {
        bool v = false;
        if (!parseBit(text, &v)) {
            why->kind = Refusal::Kind::NotABit;
            return false;
        }
        *out = QVariant(v ? 1 : 0);
        return true;
    }
    case ColumnType::Date: {
        QDate d;
        QTime t;
        bool hasTime = false;
        if (!parseDateTime(text, &d, &t, &hasTime)) {
            why->kind = Refusal::Kind::NotADate;
            return false;
        }
        *out = QVariant(isoDate(d));
        return true;
    }
    case ColumnType::Text: {
        QString v = text;
        const Special special = w.special[size_t(index)];
        if (special == Special::TimeTyped) {
            // Stored as the programming window stores what was typed. A time
            // written as a date-time keeps only its time.
            QTime t;
            QDate d;
            bool hasTime = false;
            if (parseDateTime(text, &d, &t, &hasTime) && hasTime) {
                v = hhmm(t);
            } else if (parseTimeOfDay(text, &t)) {
                v = hhmm(t);
            } else {
                why->kind = Refusal::Kind::NotATime;
                return false;
            }
        } else if (special == Special::TextDate) {
            // The text dates are kept as the download stores them.
            QDate d;
            QTime t;
            bool hasTime = false;
            if (parseDateTime(text, &d, &t, &hasTime))
                v = twoDigits(d.day()) + QLatin1Char('/') + twoDigits(d.month()) + QLatin1Char('/')
                    + QString::number(d.year()).rightJustified(4, QLatin1Char('0'));
        }
        *out = v;
        return true;
    }
    }
    return false;
}

// The file's fields as the values its columns store, checked as merged rows
// are; false with `why` filled for the first field that does not fit.
bool convertRow(const SectionWork& w, const QStringList& fields, const std::vector<bool>& quoted, SqlDialect dialect,
                QVariantList* values, Refusal* why)
{
    values->resize(qsizetype(w.columns.size()));
    const int n = int(w.section->fileColumns.size());
    for (int i = 0; i < n; ++i) {
        QVariant& v = (*values)[i];
        const ColumnDef& c = *w.columns[size_t(i)];
        bool ok = readField(w, i, fields[i], size_t(i) < quoted.size() && quoted[size_t(i)], &v, why);
        if (ok) {
            const ValueFault fault = checkStoredValue(*w.section->table, c, v);
            ok = fault == ValueFault::None;
            if (!ok)
                why->kind = refusalKind(fault);
        }
        if (!ok) {
            why->column = QString::fromUtf8(c.name);
            why->value = fields[i];
            return false;
        }
        if (v.isNull())
            continue;
        if (c.type == ColumnType::Single)
            v = QVariant(double(float(v.toDouble()))); // the column holds a single
        else if (c.type == ColumnType::Long || c.type == ColumnType::Short || c.type == ColumnType::Byte)
            v = QVariant(int(v.toLongLong()));
        else if (c.type == ColumnType::Date && dialect != SqlDialect::SQLite)
            v = toStorage(c, v, dialect);
    }
    if (w.section->splitsDateTimes) {
        for (auto [from, to] : {std::pair{w.startIndex, w.startTimeIndex}, std::pair{w.endIndex, w.endTimeIndex}}) {
            QDate d;
            QTime t;
            bool hasTime = false;
            (*values)[to] = parseDateTime(fields[from], &d, &t, &hasTime) ? QVariant(hhmm(t)) : QVariant();
        }
    }
    for (int k : w.keyIndex) {
        if ((*values)[k].isNull()) {
            why->kind = Refusal::Kind::NoKey;
            why->column = QString::fromUtf8(w.columns[size_t(k)]->name);
            why->value.clear();
            return false;
        }
    }
    return true;
}

bool sameValue(const ColumnDef& c, const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    switch (c.type) {
    case ColumnType::Single:
        return a.toFloat() == b.toFloat();
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
    case ColumnType::Boolean:
        return a.toLongLong() == b.toLongLong();
    case ColumnType::Date:
        return a.toString().left(10) == b.toString().left(10); // both "yyyy-mm-dd" as stored
    case ColumnType::Text:
        return a.toString() == b.toString();
    }
    return false;
}

// Rows bound for a server go in batches: one statement per batch inserts the
// rows whose key is missing and gives back the stored values of the others.
// Each column travels as one array parameter, so that the statement is
// prepared once and a batch costs one round trip whatever its size.
class ServerWriter {
public:
    ServerWriter(ServerBulk& bulk, int batchRows, std::function<void(SectionWork&, const Refusal&)> refuse)
        : bulk_(bulk), batchRows_(std::max(1, std::min(batchRows, 2000))), refuse_(std::move(refuse))
    {}

    qint64 added = 0;
    // The first failure of the server itself; nothing is sent after it.
    DatabaseFailure failure;
    qint64 failedLine = 0;

    void add(SectionWork& w, qint64 line, const QVariantList& values)
    {
        if (failure.failed())
            return;
        if (section_ != &w)
            flush();
        section_ = &w;
        pending_.push_back(Pending{line, values});
        if (int(pending_.size()) >= batchRows_)
            flush();
    }

    // Sends what is pending as one batch, its own transaction, and counts the
    // batch sent before: the server stores one batch while the next is read.
    void flush()
    {
        if (pending_.empty())
            return;
        collect();
        if (failure.failed()) {
            pending_.clear();
            return;
        }
        sent_.section = section_;
        sent_.rows = std::move(pending_);
        pending_.clear();
        // The first row of a key in the batch goes to the server; later ones
        // are compared with whatever that key ends up holding.
        QSet<QByteArray> seen;
        sent_.first.clear();
        sent_.later.clear();
        for (const Pending& p : sent_.rows) {
            const QByteArray key = keyText(*section_, p.values);
            (seen.contains(key) ? sent_.later : sent_.first).push_back(&p.values);
            seen.insert(key);
        }
        QString error;
        if (!send(*section_, sent_.first, &error)) {
            fail(serverFailure(QByteArray(), error, bulk_.connectionUp()), sent_.rows.front().line);
            return;
        }
        sent_.waiting = true;
        sent_.active = true;
    }

    // Waits for the batch in flight and counts it; what is left unsent stays.
    void finish()
    {
        flush();
        collect();
    }

private:
    struct Pending {
        qint64 line;
        QVariantList values;
    };

    static QString quotedColumns(const SectionWork& w, bool keysOnly)
    {
        QStringList names;
        if (keysOnly)
            for (int k : w.keyIndex)
                names << quoteIdentifier(QString::fromUtf8(w.columns[size_t(k)]->name));
        else
            for (const ColumnDef* c : w.columns)
                names << quoteIdentifier(QString::fromUtf8(c->name));
        return names.join(QLatin1Char(','));
    }

    // Inserts the batch's rows whose key is missing and names the keys added.
    static QByteArray insertStatement(const SectionWork& w)
    {
        QStringList arrays;
        for (const ColumnDef* c : w.columns)
            arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(*c));
        const QString columns = quotedColumns(w, false);
        return QStringLiteral(
                   "INSERT INTO %1 (%2) SELECT %2 FROM unnest(%3) AS v (%2) ON CONFLICT (%4) DO NOTHING "
                   "RETURNING %4")
            .arg(quoteIdentifier(QString::fromUtf8(w.section->table->name)), columns, arrays.join(QLatin1Char(',')),
                 quotedColumns(w, true))
            .toUtf8();
    }

    // The stored rows of the given keys: the keys, then every column.
    static QByteArray storedStatement(const SectionWork& w)
    {
        QStringList arrays, match, stored;
        for (int k : w.keyIndex) {
            const ColumnDef* c = w.columns[size_t(k)];
            arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(*c));
            const QString q = quoteIdentifier(QString::fromUtf8(c->name));
            match << QStringLiteral("t.%1 = v.%1").arg(q);
            stored << QStringLiteral("t.") + q;
        }
        for (const ColumnDef* c : w.columns)
            stored << QStringLiteral("t.") + quoteIdentifier(QString::fromUtf8(c->name));
        return QStringLiteral("SELECT %1 FROM unnest(%2) AS v (%3) JOIN %4 t ON %5")
            .arg(stored.join(QLatin1Char(',')), arrays.join(QLatin1Char(',')), quotedColumns(w, true),
                 quoteIdentifier(QString::fromUtf8(w.section->table->name)), match.join(QLatin1String(" AND ")))
            .toUtf8();
    }

    // Counts one row against what its key holds; a row gone meanwhile (taken
    // by another PC) counts as present.
    static void countAgainst(SectionWork& w, const QVariantList& values, const QVariantList* stored)
    {
        bool same = true;
        if (stored)
            for (size_t i = 0; i < w.columns.size() && same; ++i)
                same = sameValue(*w.columns[i], (*stored)[qsizetype(i)], values[qsizetype(i)]);
        ++(same ? w.summary->present : w.summary->differs);
    }

    static QByteArray keyText(const SectionWork& w, const QVariantList& values)
    {
        QByteArray key;
        for (int k : w.keyIndex)
            key += serverText(*w.columns[size_t(k)], values[k]) + '\x1f';
        return key;
    }

    ServerBulk::Result exec(const QByteArray& name, const QByteArray& sql, const std::vector<QByteArray>& params)
    {
        return bulk_.execNamed(name, sql, params);
    }

    void fail(const DatabaseFailure& why, qint64 line)
    {
        if (!failure.failed())
            failure = why;
        if (failedLine == 0)
            failedLine = line;
    }

    // Sends `rows` (keys unique among them); false when they could not be
    // sent at all.
    bool send(SectionWork& w, const std::vector<const QVariantList*>& rows, QString* error)
    {
        std::vector<ServerArray> arrays(w.columns.size());
        for (const QVariantList* values : rows)
            for (size_t c = 0; c < w.columns.size(); ++c)
                arrays[c].append(serverText(*w.columns[c], (*values)[qsizetype(c)]));
        std::vector<QByteArray> params;
        for (ServerArray& a : arrays)
            params.push_back(a.finish());
        const QByteArray name = "tvq52_import_" + w.section->name.toLatin1().toLower();
        if (!bulk_.ensurePrepared(name, insertStatement(w), int(params.size()), error))
            return false;
        if (bulk_.sendPrepared(name, params))
            return true;
        *error = bulk_.connectionError();
        return false;
    }

    void collect()
    {
        if (!sent_.active)
            return;
        sent_.active = false;
        SectionWork& w = *sent_.section;
        holds_.clear();
        const ServerBulk::Result r = bulk_.receive();
        if (!r.ok() && isServerRowError(r.sqlState(), r.connectionUp())) {
            // Nothing of the batch was written; row by row finds the culprit.
            for (const Pending& p : sent_.rows)
                writeOne(w, p);
            return;
        }
        // Anything else is the server's own failure: no row is to blame,
        // and the next batch would fail the same way.
        if (!complete(w, sent_.first, r, !sent_.later.empty())) {
            fail(failure.failed() ? failure : serverFailure(r.sqlState(), r.error(), r.connectionUp()),
                 sent_.rows.front().line);
            return;
        }
        for (const QVariantList* values : sent_.later) {
            const auto it = holds_.constFind(keyText(w, *values));
            countAgainst(w, *values, it == holds_.constEnd() ? nullptr : &*it);
        }
    }

    // Counts a sent batch by the keys its insert names.
    bool complete(SectionWork& w, const std::vector<const QVariantList*>& rows, const ServerBulk::Result& r,
                  bool needHolds)
    {
        std::vector<QByteArray> params;
        const QByteArray table = w.section->name.toLatin1().toLower();
        if (!r.ok())
            return false;
        w.summary->added += r.rows();
        added += r.rows();
        if (r.rows() == int(rows.size()) && !needHolds)
            return true; // every row added, and no later row of the batch to compare
        QSet<QByteArray> inserted;
        for (int row = 0; row < r.rows(); ++row) {
            QByteArray key;
            for (size_t k = 0; k < w.keyIndex.size(); ++k)
                key += QByteArray(r.text(row, int(k))) + '\x1f';
            inserted.insert(key);
        }
        // Whatever the keys that were there hold, to compare with.
        std::vector<ServerArray> keys(w.keyIndex.size());
        std::vector<const QVariantList*> present;
        for (const QVariantList* values : rows) {
            if (inserted.contains(keyText(w, *values))) {
                holds_.insert(keyText(w, *values), *values);
                continue;
            }
            present.push_back(values);
            for (size_t k = 0; k < w.keyIndex.size(); ++k)
                keys[k].append(serverText(*w.columns[size_t(w.keyIndex[k])], (*values)[w.keyIndex[k]]));
        }
        if (present.empty())
            return true;
        params.clear();
        for (ServerArray& a : keys)
            params.push_back(a.finish());
        const ServerBulk::Result s = exec("tvq52_stored_" + table, storedStatement(w), params);
        if (!s.ok()) {
            // The batch is stored and counted; what was there cannot be told.
            failure = serverFailure(s.sqlState(), s.error(), s.connectionUp());
            return false;
        }
        const int keyCount = int(w.keyIndex.size());
        for (int row = 0; s.ok() && row < s.rows(); ++row) {
            QByteArray key;
            QVariantList stored;
            for (int k = 0; k < keyCount; ++k)
                key += QByteArray(s.text(row, k)) + '\x1f';
            for (size_t c = 0; c < w.columns.size(); ++c) {
                const int at = keyCount + int(c);
                stored << (s.isNull(row, at) ? QVariant() : fromServerText(*w.columns[c], s.text(row, at)));
            }
            holds_.insert(key, stored);
        }
        for (const QVariantList* values : present) {
            const auto it = holds_.constFind(keyText(w, *values));
            countAgainst(w, *values, it == holds_.constEnd() ? nullptr : &*it);
        }
        return true;
    }

    void writeOne(SectionWork& w, const Pending& p)
    {
        if (failure.failed())
            return;
        holds_.clear();
        QString error;
        if (!send(w, {&p.values}, &error)) {
            fail(serverFailure(QByteArray(), error, bulk_.connectionUp()), p.line);
            return;
        }
        const ServerBulk::Result r = bulk_.receive();
        if (complete(w, {&p.values}, r, false))
            return;
        if (!isServerRowError(r.sqlState(), r.connectionUp())) {
            fail(failure.failed() ? failure : serverFailure(r.sqlState(), r.error(), r.connectionUp()), p.line);
            return;
        }
        error = r.error();
        Refusal why;
        why.line = p.line;
        why.kind = Refusal::Kind::Database;
        why.value = error;
        refuse_(w, why);
    }

    ServerBulk& bulk_;
    int batchRows_;
    std::function<void(SectionWork&, const Refusal&)> refuse_;
    SectionWork* section_ = nullptr;
    std::vector<Pending> pending_;
    QHash<QByteArray, QVariantList> holds_; // by key: what the batch's keys hold now
    struct Sent {
        SectionWork* section = nullptr;
        std::vector<Pending> rows;
        std::vector<const QVariantList*> first, later;
        bool active = false;  // counted yet?
        bool waiting = false; // sent, its result to be read
    } sent_;
};

} // namespace

ImportSummary ExchangeImporter::run(const QString& path)
{
    ImportSummary summary;
    for (const ExchangeSection& s : exchangeSections())
        summary.tables.push_back(TableImport{s.name, 0, 0, 0, 0, {}});

    ExchangeReader reader;
    ExchangeReader::OpenFailure openFailure = ExchangeReader::OpenFailure::None;
    if (!reader.open(path, &summary.error, &openFailure)) {
        summary.notAFile = openFailure == ExchangeReader::OpenFailure::NotARegularFile;
        return summary;
    }
    summary.opened = true;

    QSqlDatabase db = database_.connection();
    const SqlDialect dialect = database_.dialect();
    std::unique_ptr<ServerBulk> bulk;
    sqlite3* handle = nullptr;
    if (database_.isServer()) {
        bulk = std::make_unique<ServerBulk>(db);
        if (!bulk->valid()) {
            summary.failure = serverFailure(QByteArray(), db.lastError().text(), false);
            return summary;
        }
    } else if (!(handle = sqliteHandle(db))) {
        summary.opened = false;
        summary.error = QStringLiteral("La conexión no es de SQLite");
        return summary;
    }
    // The records added are journaled with the file's SHA-256, so that every
    // stored record has the entry that stored it.
    Journal journal(database_);
    const auto hashed = fileSha256(path, database_);
    const QByteArray source = hashed.ok() ? *hashed : QByteArray();
    if (!hashed.ok())
        summary.error = untranslatedText(hashed.error());
    const std::optional<qint64> entry =
        source.isEmpty() ? std::nullopt : journal.open(JournalAction::Import, 0, {}, source);
    if (!entry) {
        summary.opened = false;
        if (!source.isEmpty())
            summary.error = journal.lastError();
        summary.journalUnwritable = !source.isEmpty();
        if (summary.journalUnwritable) {
            // A full, locked or read-only database is told as such: the import did not start.
            const DatabaseFailure f = journal.lastFailure();
            if (f.kind != DatabaseFailure::Kind::Other)
                summary.failure = f;
        }
        return summary;
    }
    summary.journalEntry = *entry;
    std::map<QString, qint64> lastRows; // a server's rows are listed after the import, by row number
    for (const ExchangeSection& s : exchangeSections()) {
        if (bulk) {
            const auto last = Journal::lastRow(db, s.name);
            lastRows[s.name] = last.ok() ? *last : -1;
        }
    }
    std::vector<SectionWork> work(exchangeSections().size());
    for (size_t i = 0; i < work.size(); ++i) {
        work[i].section = &exchangeSections()[i];
        work[i].summary = &summary.tables[i];
        QString error;
        if (!prepare(work[i], handle, &error)) {
            summary.failure = sqliteFailure(sqlite3_errcode(handle), error);
            journal.seal(*entry, QStringLiteral("failed"), error);
            return summary;
        }
    }

    QElapsedTimer clock;
    clock.start();
    qint64 rows = 0, added = 0, inBatch = 0;
    qint64 lastReport = 0;
    SectionWork* current = nullptr;
    bool expectHeader = false;
    bool inUnknown = false;
    ExchangeRecord record;
    QVariantList values;
    auto report = [&](bool force) {
        if (!onProgress || (!force && clock.elapsed() - lastReport < 100))
            return;
        lastReport = clock.elapsed();
        const double seconds = std::max<double>(0.001, double(clock.elapsed()) / 1000.0);
        onProgress(ImportProgress{current ? current->section->name : QString(), rows, added, double(rows) / seconds,
                                  reader.bytesRead(), reader.size()});
    };
    auto refuse = [&](SectionWork& w, const Refusal& why) {
        ++w.summary->refused;
        // A batch refuses its rows after later lines were read: keep the
        // first few by line.
        QList<Refusal>& kept = w.summary->firstRefused;
        const auto at = std::upper_bound(kept.begin(), kept.end(), why.line,
                                         [](qint64 line, const Refusal& r) { return line < r.line; });
        if (at - kept.begin() >= keptRefusals)
            return;
        kept.insert(at, why);
        if (kept.size() > keptRefusals)
            kept.removeLast();
    };
    std::optional<ServerWriter> server;
    if (bulk)
        server.emplace(*bulk, batchRows, refuse);

    // What the last commit made final, to go back to when the next one fails.
    std::vector<TableImport> committed = summary.tables;
    qint64 committedAdded = 0;
    auto failSqlite = [&](int code, const QString& message, qint64 line) {
        summary.failure = sqliteFailure(code, message);
        summary.failedAtLine = line;
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        for (size_t i = 0; i < work.size(); ++i) {
            summary.tables[i].added = committed[i].added;
            summary.tables[i].present = committed[i].present;
            summary.tables[i].differs = committed[i].differs;
        }
        added = committedAdded;
    };
    auto execSqlite = [&](const char* sql, qint64 line) {
        const int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            failSqlite(rc, QString::fromUtf8(sqlite3_errmsg(handle)), line);
        return rc == SQLITE_OK;
    };
    auto commitSqlite = [&](qint64 line) {
        if (!execSqlite("COMMIT", line))
            return false;
        committed = summary.tables;
        committedAdded = added;
        return true;
    };

    reader.setLimits(longestRowBytes(), 1);
    bool sawSection = false;
    if (!server && !execSqlite("BEGIN", 0))
        return summary;
    while (reader.next(&record)) {
        if (record.kind == ExchangeRecord::Kind::Section) {
            // The name only selects one of the known tables; it never names a file.
            current = nullptr;
            for (SectionWork& w : work)
                if (w.section->name.compare(record.section, Qt::CaseInsensitive) == 0)
                    current = &w;
            inUnknown = current == nullptr;
            if (inUnknown)
                summary.ignoredSections.append(record.section);
            sawSection = sawSection || current;
            expectHeader = current != nullptr;
            if (current)
                reader.setLimits(longestRowBytes(*current->section), int(current->section->fileColumns.size()));
            else
                reader.setLimits(longestRowBytes(), 1);
            continue;
        }
        if (!current) {
            ++summary.ignoredLines;
            continue;
        }
        if (record.blank)
            continue;
        if (expectHeader) {
            expectHeader = false;
            QStringList names;
            for (const QString& f : record.fields)
                names << f.trimmed();
            if (record.kind != ExchangeRecord::Kind::Fields
                || names.join(QLatin1Char(';'))
                        .compare(current->section->fileColumns.join(QLatin1Char(';')), Qt::CaseInsensitive)
                    != 0)
                summary.headerMismatches.append(current->section->name);
            continue;
        }
        if (cancelRequested && cancelRequested()) {
            summary.cancelled = true;
            break;
        }
        ++rows;
        Refusal why;
        why.line = record.line;
        if (record.kind == ExchangeRecord::Kind::TooLong) {
            why.kind = Refusal::Kind::LineTooLong;
            why.column = QString::number(longestRowBytes(*current->section));
            refuse(*current, why);
            continue;
        }
        if (record.kind == ExchangeRecord::Kind::Cut) {
            why.kind = Refusal::Kind::CutLine;
            refuse(*current, why);
            continue;
        }
        if (record.fields.size() != current->section->fileColumns.size()) {
            why.kind = record.unterminated ? Refusal::Kind::CutLine : Refusal::Kind::FieldCount;
            why.column = record.fields.size() > current->section->fileColumns.size()
                ? QStringLiteral(">%1").arg(current->section->fileColumns.size())
                : QStringLiteral("%1/%2").arg(record.fields.size()).arg(current->section->fileColumns.size());
            refuse(*current, why);
            continue;
        }
        if (!convertRow(*current, record.fields, record.quoted, dialect, &values, &why)) {
            refuse(*current, why);
            continue;
        }
        if (server) {
            server->add(*current, record.line, values);
            added = server->added;
            if (server->failure.failed())
                break;
            if ((rows & 0xFF) == 0)
                report(false);
            continue;
        }
        Statement& find = *current->find;
        for (size_t k = 0; k < current->keyIndex.size(); ++k)
            find.bind(int(k), values[current->keyIndex[k]]);
        const int found = find.step();
        if (found != SQLITE_ROW && found != SQLITE_DONE) {
            const QString message = find.error();
            find.reset();
            failSqlite(found, message, record.line);
            break;
        }
        if (found == SQLITE_ROW) {
            bool same = true;
            for (size_t i = 0; i < current->columns.size() && same; ++i)
                same = sameValue(*current->columns[i], find.column(int(i)), values[qsizetype(i)]);
            ++(same ? current->summary->present : current->summary->differs);
            find.reset();
        } else {
            find.reset();
            Statement& insert = *current->insert;
            for (qsizetype i = 0; i < values.size(); ++i)
                insert.bind(int(i), values[i]);
            const int done = insert.step();
            const QString message = done == SQLITE_DONE ? QString() : insert.error();
            insert.reset();
            if (done != SQLITE_DONE && isSqliteRowError(done)) {
                // The row's own values, not the database: refuse it and go on.
                why.kind = Refusal::Kind::Database;
                why.value = message;
                refuse(*current, why);
                continue;
            }
            if (done != SQLITE_DONE) {
                failSqlite(done, message, record.line);
                break;
            }
            Row stored;
            for (size_t i = 0; i < current->columns.size(); ++i)
                stored.set(QString::fromUtf8(current->columns[i]->name), values[qsizetype(i)]);
            if (!journal.addRecord(*entry, current->section->name, stored)) {
                // A row the journal cannot list is not kept: the batch goes back.
                failSqlite(sqlite3_errcode(handle), journal.lastError(), record.line);
                break;
            }
            ++current->summary->added;
            ++added;
            if (++inBatch >= batchRows) {
                if (!commitSqlite(record.line) || !execSqlite("BEGIN", record.line))
                    break;
                inBatch = 0;
            }
        }
        if ((rows & 0xFF) == 0)
            report(false);
    }
    if (server) {
        server->finish();
        added = server->added;
        if (server->failure.failed()) {
            summary.failure = server->failure;
            summary.failedAtLine = server->failedLine;
            // The next use of the connection opens a new one.
            if (summary.failure.kind == DatabaseFailure::Kind::ConnectionLost)
                database_.noteFailure(QSqlError(QString(), summary.failure.detail, QSqlError::ConnectionError));
        }
    } else if (!summary.failure.failed()) {
        commitSqlite(record.line);
    }
    summary.notExchange = !sawSection && !summary.failure.failed();
    QString journalError;
    for (const auto& [table, after] : lastRows) {
        if (after < 0)
            continue;
        if (const Status listed = Journal::addRowsAfter(db, *entry, table, after); !listed) {
            journalError = untranslatedText(listed.error());
            break;
        }
    }
    QStringList counts;
    for (const TableImport& t : summary.tables)
        counts
            << QStringLiteral("%1 %2 %3 %4 %5").arg(t.table).arg(t.added).arg(t.present).arg(t.differs).arg(t.refused);
    QString outcome = QStringLiteral("completed");
    QString message = QFileInfo(path).absoluteFilePath();
    if (summary.cancelled) {
        outcome = QStringLiteral("cancelled");
    } else if (summary.failure.failed()) {
        outcome = QStringLiteral("failed");
        message = summary.failure.detail;
    } else if (!journalError.isEmpty()) {
        outcome = QStringLiteral("failed");
        message = journalError;
    } else if (summary.notExchange) {
        outcome = QStringLiteral("failed");
    }
    journal.seal(*entry, outcome, message, counts.join(QLatin1Char('\n')));
    summary.journalHead = journal.head();
    report(true);
    return summary;
}

QString refusalText(const Refusal& r, LocGuru& guru)
{
    QString text;
    switch (r.kind) {
    case Refusal::Kind::FieldCount:
        text = guru.GetTranslation(QStringLiteral("número de campos %1")).arg(r.column);
        break;
    case Refusal::Kind::CutLine:
        text = guru.GetTranslation(QStringLiteral("línea cortada"));
        break;
    case Refusal::Kind::NotANumber:
        text = guru.GetTranslation(QStringLiteral("%1: \"%2\" no es un número")).arg(r.column, r.value);
        break;
    case Refusal::Kind::OutOfRange:
        text = guru.GetTranslation(QStringLiteral("%1: %2 fuera de rango")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotADate:
        text = guru.GetTranslation(QStringLiteral("%1: \"%2\" no es una fecha")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotATime:
        text = guru.GetTranslation(QStringLiteral("%1: \"%2\" no es una hora")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotABit:
        text = guru.GetTranslation(QStringLiteral("%1: \"%2\" no es sí/no")).arg(r.column, r.value);
        break;
    case Refusal::Kind::TooLong:
        text = guru.GetTranslation(QStringLiteral("%1: texto demasiado largo")).arg(r.column);
        break;
    case Refusal::Kind::NoKey:
        text = guru.GetTranslation(QStringLiteral("%1: falta la clave")).arg(r.column);
        break;
    case Refusal::Kind::Database:
        text = r.value;
        break;
    case Refusal::Kind::LineTooLong:
        text = guru.GetTranslation(QStringLiteral("línea más larga que la fila más larga posible (%1 bytes)"))
                   .arg(r.column);
        break;
    }
    return guru.GetTranslation(QStringLiteral("línea %1")).arg(r.line) + QStringLiteral(": ") + text;
}

QString databaseFailureText(const DatabaseFailure& f, LocGuru& guru)
{
    QString why;
    switch (f.kind) {
    case DatabaseFailure::Kind::DiskFull:
        why = guru.GetTranslation(QStringLiteral("el disco de la base de datos está lleno"));
        break;
    case DatabaseFailure::Kind::Locked:
        why = guru.GetTranslation(QStringLiteral("otro programa tiene la base de datos bloqueada"));
        break;
    case DatabaseFailure::Kind::ReadOnly:
        why = guru.GetTranslation(QStringLiteral("la base de datos solo se puede leer"));
        break;
    case DatabaseFailure::Kind::DiskError:
        why = guru.GetTranslation(QStringLiteral("error al leer o escribir el archivo de la base de datos"));
        break;
    case DatabaseFailure::Kind::ConnectionLost:
        why = guru.GetTranslation(QStringLiteral("se ha perdido la conexión con el servidor de bases de datos"));
        break;
    case DatabaseFailure::Kind::Other:
    case DatabaseFailure::Kind::None:
        why = guru.GetTranslation(QStringLiteral("la base de datos no ha aceptado la escritura"));
        break;
    }
    return f.detail.isEmpty() ? why : why + QStringLiteral(" (") + f.detail + QLatin1Char(')');
}

QStringList summaryLines(const ImportSummary& s, LocGuru& guru)
{
    QStringList lines;
    if (s.notAFile) {
        lines << guru.GetTranslation(
            QStringLiteral("No se puede importar: no es un archivo normal (es una carpeta, un dispositivo o una "
                           "tubería)."));
        return lines;
    }
    if (!s.opened && !s.failure.failed()) {
        lines << guru.GetTranslation(s.journalUnwritable
                                         ? QStringLiteral("No se puede escribir en el diario de intercambios: %1")
                                         : QStringLiteral("No se pudo leer el archivo: %1"))
                     .arg(s.error);
        return lines;
    }
    if (s.notExchange) {
        lines << guru.GetTranslation(
            QStringLiteral("No es un archivo de intercambio: no tiene ninguna sección de registros (//Intervalos//, "
                           "//Sesiones//...). No se ha importado nada."));
        return lines;
    }
    if (s.failure.failed() && s.failedAtLine == 0)
        lines << guru.GetTranslation(QStringLiteral("La importación no ha podido empezar: %1. No se ha guardado nada."))
                     .arg(databaseFailureText(s.failure, guru));
    else if (s.failure.failed())
        lines << guru.GetTranslation(QStringLiteral("La importación se ha detenido en la línea %1: %2. Solo está "
                                                    "guardado lo que se cuenta como añadido; vuelva a importar el "
                                                    "archivo cuando se haya resuelto (lo ya guardado no se repite)."))
                     .arg(s.failedAtLine)
                     .arg(databaseFailureText(s.failure, guru));
    if (s.cancelled)
        lines << guru.GetTranslation(QStringLiteral("Importación cancelada; solo se guardó lo siguiente."));
    for (const TableImport& t : s.tables) {
        if (t.added + t.present + t.differs + t.refused == 0)
            continue;
        lines << guru
                     .GetTranslation(QStringLiteral(
                         "%1: %2 añadidos, %3 ya presentes, %4 presentes con otros valores, %5 rechazados"))
                     .arg(t.table)
                     .arg(t.added)
                     .arg(t.present)
                     .arg(t.differs)
                     .arg(t.refused);
        for (const Refusal& r : t.firstRefused)
            lines << QStringLiteral("    ") + refusalText(r, guru);
    }
    if (!s.headerMismatches.isEmpty())
        lines << guru.GetTranslation(QStringLiteral("Cabecera distinta de la esperada en: %1"))
                     .arg(s.headerMismatches.join(QStringLiteral(", ")));
    if (!s.ignoredSections.isEmpty())
        lines << guru.GetTranslation(QStringLiteral("Secciones desconocidas ignoradas: %1"))
                     .arg(s.ignoredSections.join(QStringLiteral(", ")));
    if (!s.journalHead.isEmpty())
        lines << guru.GetTranslation(QStringLiteral("Cabeza de la cadena:")) + QLatin1Char(' ')
                + QString::fromLatin1(s.journalHead);
    return lines;
}

} // namespace tvq52
