#include "exchange/exchange_import.h"

#include "db/database.h"
#include "db/journal.h"
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

// The file text of one field as the value its column stores; false with
// `why` filled when the text does not fit the column.
bool convertField(const SectionWork& w, int index, const QString& text, SqlDialect dialect, QVariant* out, Refusal* why)
{
    const ColumnDef& c = *w.columns[size_t(index)];
    if (text.isEmpty()) {
        *out = QVariant();
        return true;
    }
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte: {
        const qint64 min = c.type == ColumnType::Long ? std::numeric_limits<qint32>::min()
            : c.type == ColumnType::Short             ? std::numeric_limits<qint16>::min()
                                                      : 0;
        const qint64 max = c.type == ColumnType::Long ? std::numeric_limits<qint32>::max()
            : c.type == ColumnType::Short             ? std::numeric_limits<qint16>::max()
                                                      : 255;
        qint64 v = 0;
        if (!parseInteger(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), &v)) {
            why->kind = Refusal::Kind::NotANumber;
            return false;
        }
        if (v < min || v > max) {
            why->kind = Refusal::Kind::OutOfRange;
            return false;
        }
        *out = QVariant(int(v));
        return true;
    }
    case ColumnType::Single: {
        double v = 0;
        if (!parseDecimal(text, &v)) {
            why->kind = Refusal::Kind::NotANumber;
            return false;
        }
        *out = QVariant(double(float(v))); // the column holds a single
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
        *out = dialect == SqlDialect::SQLite ? QVariant(isoDate(d)) : toStorage(c, QVariant(d), dialect);
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
        if (c.width > 0 && v.size() > c.width) {
            why->kind = Refusal::Kind::TooLong;
            return false;
        }
        *out = v;
        return true;
    }
    }
    return false;
}

bool convertRow(const SectionWork& w, const QStringList& fields, SqlDialect dialect, QVariantList* values, Refusal* why)
{
    values->resize(qsizetype(w.columns.size()));
    const int n = int(w.section->fileColumns.size());
    for (int i = 0; i < n; ++i) {
        if (!convertField(w, i, fields[i], dialect, &(*values)[i], why)) {
            why->column = QString::fromUtf8(w.columns[size_t(i)]->name);
            why->value = fields[i];
            return false;
        }
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

    void add(SectionWork& w, qint64 line, const QVariantList& values)
    {
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
        sent_.waiting = send(*section_, sent_.first);
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

    // Writes `rows` (keys unique among them); false when the server refused
    // the statement, which then wrote nothing.
    bool send(SectionWork& w, const std::vector<const QVariantList*>& rows)
    {
        std::vector<ServerArray> arrays(w.columns.size());
        for (const QVariantList* values : rows)
            for (size_t c = 0; c < w.columns.size(); ++c)
                arrays[c].append(serverText(*w.columns[c], (*values)[qsizetype(c)]));
        std::vector<QByteArray> params;
        for (ServerArray& a : arrays)
            params.push_back(a.finish());
        const QByteArray name = "tvq52_import_" + w.section->name.toLatin1().toLower();
        QString error;
        if (!bulk_.ensurePrepared(name, insertStatement(w), int(params.size()), &error))
            return false;
        return bulk_.sendPrepared(name, params);
    }

    void collect()
    {
        if (!sent_.active)
            return;
        sent_.active = false;
        SectionWork& w = *sent_.section;
        holds_.clear();
        QString error;
        if (!sent_.waiting || !complete(w, sent_.first, bulk_.receive(), !sent_.later.empty(), &error)) {
            // Nothing of the batch was written; row by row finds the culprit.
            for (const Pending& p : sent_.rows)
                writeOne(w, p);
            return;
        }
        for (const QVariantList* values : sent_.later) {
            const auto it = holds_.constFind(keyText(w, *values));
            countAgainst(w, *values, it == holds_.constEnd() ? nullptr : &*it);
        }
    }

    // Counts a sent batch by the keys its insert names.
    bool complete(SectionWork& w, const std::vector<const QVariantList*>& rows, const ServerBulk::Result& r,
                  bool needHolds, QString* error)
    {
        std::vector<QByteArray> params;
        const QByteArray table = w.section->name.toLatin1().toLower();
        if (!r.ok()) {
            *error = r.error();
            return false;
        }
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
        holds_.clear();
        QString error = QStringLiteral("no PostgreSQL connection");
        if (send(w, {&p.values}) && complete(w, {&p.values}, bulk_.receive(), false, &error))
            return;
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
    if (!reader.open(path, &summary.error))
        return summary;
    summary.opened = true;

    QSqlDatabase db = database_.connection();
    const SqlDialect dialect = database_.dialect();
    std::unique_ptr<ServerBulk> bulk;
    sqlite3* handle = nullptr;
    if (database_.isServer()) {
        bulk = std::make_unique<ServerBulk>(db);
        if (!bulk->valid()) {
            summary.opened = false;
            summary.error = db.lastError().text();
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
    const QByteArray source = fileSha256(path, database_, &summary.error);
    const std::optional<qint64> entry =
        source.isEmpty() ? std::nullopt : journal.open(JournalAction::Import, 0, {}, source);
    if (!entry) {
        summary.opened = false;
        if (!source.isEmpty())
            summary.error = journal.lastError();
        summary.journalUnwritable = !source.isEmpty();
        return summary;
    }
    summary.journalEntry = *entry;
    std::map<QString, qint64> lastRows; // a server's rows are listed after the import, by row number
    for (const ExchangeSection& s : exchangeSections())
        if (bulk)
            lastRows[s.name] = Journal::lastRow(db, s.name, nullptr);
    std::vector<SectionWork> work(exchangeSections().size());
    for (size_t i = 0; i < work.size(); ++i) {
        work[i].section = &exchangeSections()[i];
        work[i].summary = &summary.tables[i];
        if (!prepare(work[i], handle, &summary.error)) {
            summary.opened = false;
            journal.seal(*entry, QStringLiteral("failed"), summary.error);
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

    if (!server)
        db.transaction();
    while (reader.next(&record)) {
        if (record.kind == ExchangeRecord::Kind::Section) {
            // The name only selects one of the known tables; it never names a file.
            current = nullptr;
            for (SectionWork& w : work)
                if (w.section->name == record.section)
                    current = &w;
            inUnknown = current == nullptr;
            if (inUnknown)
                summary.ignoredSections.append(record.section);
            expectHeader = current != nullptr;
            continue;
        }
        if (!current) {
            ++summary.ignoredLines;
            continue;
        }
        if (expectHeader) {
            expectHeader = false;
            QStringList names;
            for (const QString& f : record.fields)
                names << f.trimmed();
            if (names.join(QLatin1Char(';'))
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
        if (record.kind == ExchangeRecord::Kind::Cut) {
            why.kind = Refusal::Kind::CutLine;
            refuse(*current, why);
            continue;
        }
        if (record.fields.size() != current->section->fileColumns.size()) {
            why.kind = record.unterminated ? Refusal::Kind::CutLine : Refusal::Kind::FieldCount;
            why.column = QStringLiteral("%1/%2").arg(record.fields.size()).arg(current->section->fileColumns.size());
            refuse(*current, why);
            continue;
        }
        if (!convertRow(*current, record.fields, dialect, &values, &why)) {
            refuse(*current, why);
            continue;
        }
        if (server) {
            server->add(*current, record.line, values);
            added = server->added;
            if ((rows & 0xFF) == 0)
                report(false);
            continue;
        }
        Statement& find = *current->find;
        for (size_t k = 0; k < current->keyIndex.size(); ++k)
            find.bind(int(k), values[current->keyIndex[k]]);
        const int found = find.step();
        if (found != SQLITE_ROW && found != SQLITE_DONE) {
            why.kind = Refusal::Kind::Database;
            why.value = find.error();
            find.reset();
            refuse(*current, why);
            continue;
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
            insert.reset();
            if (done != SQLITE_DONE) {
                why.kind = Refusal::Kind::Database;
                why.value = insert.error();
                refuse(*current, why);
                continue;
            }
            Row stored;
            for (size_t i = 0; i < current->columns.size(); ++i)
                stored.set(QString::fromUtf8(current->columns[i]->name), values[qsizetype(i)]);
            if (!journal.addRecord(*entry, current->section->name, stored)) {
                why.kind = Refusal::Kind::Database;
                why.value = journal.lastError();
                refuse(*current, why);
                continue;
            }
            ++current->summary->added;
            ++added;
            if (++inBatch >= batchRows) {
                db.commit();
                db.transaction();
                inBatch = 0;
            }
        }
        if ((rows & 0xFF) == 0)
            report(false);
    }
    if (server) {
        server->finish();
        added = server->added;
    } else {
        db.commit();
    }
    QString journalError;
    for (const auto& [table, after] : lastRows)
        if (after >= 0 && !Journal::addRowsAfter(db, *entry, table, after, &journalError))
            break;
    QStringList counts;
    for (const TableImport& t : summary.tables)
        counts
            << QStringLiteral("%1 %2 %3 %4 %5").arg(t.table).arg(t.added).arg(t.present).arg(t.differs).arg(t.refused);
    journal.seal(*entry,
                 summary.cancelled            ? QStringLiteral("cancelled")
                     : journalError.isEmpty() ? QStringLiteral("completed")
                                              : QStringLiteral("failed"),
                 journalError.isEmpty() ? QFileInfo(path).absoluteFilePath() : journalError,
                 counts.join(QLatin1Char('\n')));
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
    }
    return guru.GetTranslation(QStringLiteral("línea %1")).arg(r.line) + QStringLiteral(": ") + text;
}

QStringList summaryLines(const ImportSummary& s, LocGuru& guru)
{
    QStringList lines;
    if (!s.opened) {
        lines << guru.GetTranslation(s.journalUnwritable
                                         ? QStringLiteral("No se puede escribir en el diario de intercambios: %1")
                                         : QStringLiteral("No se pudo leer el archivo: %1"))
                     .arg(s.error);
        return lines;
    }
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
