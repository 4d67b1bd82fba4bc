#include "db/server_copy.h"

#include "db/server_text.h"
#include "db/server_writes.h"

#include <QDate>
#include <QStringList>
#include <QtEndian>
#include <cstring>

namespace tvq52 {

namespace {

QString stageColumns(const SinkTable& t)
{
    QStringList parts{QStringLiteral("tvq52_line bigint"), QStringLiteral("tvq52_first boolean"),
                      QStringLiteral("tvq52_key text"), QStringLiteral("tvq52_digest bytea"),
                      QStringLiteral("tvq52_pack integer")};
    for (const ColumnDef* c : t.columns)
        parts << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1Char(' ') + serverCast(*c);
    return parts.join(QLatin1String(", "));
}

// "a.k1 = b.k1 AND ..." over the key, or over the other columns with IS
// NOT DISTINCT FROM: two rows matched by their key differ only there.
QString matchColumns(const SinkTable& t, bool keysOnly, const char* a, const char* b)
{
    QStringList parts;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const bool key = std::find(t.keyIndex.begin(), t.keyIndex.end(), int(i)) != t.keyIndex.end();
        if (keysOnly != key)
            continue;
        const QString q = quoteIdentifier(QString::fromUtf8(t.columns[i]->name));
        parts << QStringLiteral("%1.%2 %3 %4.%2")
                     .arg(QLatin1String(a), q, keysOnly ? QStringLiteral("=") : QStringLiteral("IS NOT DISTINCT FROM"),
                          QLatin1String(b));
    }
    return parts.isEmpty() ? QStringLiteral("true") : parts.join(QLatin1String(" AND "));
}

// Writes a row's fields into room made for them beforehand: a million rows
// of forty fields spend less in the copying than in growing a string field
// by field.
class FieldWriter {
public:
    explicit FieldWriter(char* at) : at_(at) {}
    char* at() const { return at_; }
    template <class T>
    void big(T value)
    {
        qToBigEndian(value, at_);
        at_ += sizeof(T);
    }
    void field(const char* data, size_t size)
    {
        big<qint32>(qint32(size));
        std::memcpy(at_, data, size);
        at_ += size;
    }

private:
    char* at_;
};

// Days from 2000-01-01, PostgreSQL's binary date, of a "yyyy-mm-dd" text.
bool serverDays(std::string_view text, qint32* days)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[size_t(i)] < '0' || text[size_t(i)] > '9')
                return false;
            parts[p] = parts[p] * 10 + (text[size_t(i)] - '0');
        }
    const QDate d(parts[0], parts[1], parts[2]);
    if (!d.isValid())
        return false;
    *days = qint32(d.toJulianDay() - QDate(2000, 1, 1).toJulianDay());
    return true;
}

bool encodeValue(const ColumnDef& c, const SinkRow& row, size_t i, FieldWriter& out)
{
    const SinkValue& v = row[i];
    if (v.kind == SinkValue::Kind::Null) {
        out.big<qint32>(-1);
        return true;
    }
    const bool integer = v.kind == SinkValue::Kind::Integer;
    switch (c.type) {
    case ColumnType::Long:
        if (!integer || v.integer != qint32(v.integer))
            return false;
        out.big<qint32>(4), out.big<qint32>(qint32(v.integer));
        return true;
    case ColumnType::Short:
    case ColumnType::Byte:
        if (!integer || v.integer != qint16(v.integer))
            return false;
        out.big<qint32>(2), out.big<qint16>(qint16(v.integer));
        return true;
    case ColumnType::Boolean:
        if (!integer)
            return false;
        out.big<qint32>(1), out.big<qint8>(qint8(v.integer != 0 ? 1 : 0));
        return true;
    case ColumnType::Single: {
        if (v.kind != SinkValue::Kind::Real && !integer)
            return false;
        const float f = integer ? float(v.integer) : float(v.real);
        quint32 bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        out.big<qint32>(4), out.big<quint32>(bits);
        return true;
    }
    case ColumnType::Date: {
        qint32 days = 0;
        if (v.kind != SinkValue::Kind::Text || !serverDays(row.text(i), &days))
            return false;
        out.big<qint32>(4), out.big<qint32>(days);
        return true;
    }
    case ColumnType::Text:
        if (v.kind != SinkValue::Kind::Text)
            return false;
        out.field(row.text(i).data(), v.size);
        return true;
    }
    return false;
}

} // namespace

ServerCopyTable::ServerCopyTable(const SinkTable& t) : table_(t)
{
    const QString table = quoteIdentifier(QString::fromUtf8(t.table->name));
    const QString stage = QStringLiteral("tvq52_stage_") + QString::fromUtf8(t.table->name).toLower();
    stage_ = stage.toUtf8();
    createStage_ = QStringLiteral("CREATE TEMP TABLE %1 (%2) ON COMMIT DELETE ROWS").arg(stage, stageColumns(t)).toUtf8();
    dropStage_ = QStringLiteral("DROP TABLE IF EXISTS %1").arg(stage).toUtf8();
    copy_ = QStringLiteral("COPY %1 FROM STDIN (FORMAT binary)").arg(stage).toUtf8();
    // The stored rows of the staged keys, each compared as it was before
    // the store: one look into the key's index per row (the table may hold
    // millions, a batch a few thousand). A row the function adds compares
    // the same as its staged self, so the counts hold whichever runs first.
    const QString old = QStringLiteral(
                            "old AS MATERIALIZED (SELECT s.tvq52_line, s.tvq52_first, NOT (%1) AS differs "
                            "FROM %2 s "
                            "CROSS JOIN LATERAL (SELECT * FROM %3 t WHERE %4 LIMIT 1) t)")
                            .arg(matchColumns(t, false, "t", "s"), stage, table, matchColumns(t, true, "t", "s"));
    // A later row of a key the table lacked, against the batch's first row of it.
    const QString later =
        QStringLiteral("later AS MATERIALIZED (SELECT count(*) AS n FROM %1 d JOIN %1 f ON f.tvq52_first AND %2 "
                       "WHERE NOT d.tvq52_first AND NOT EXISTS (SELECT 1 FROM old o WHERE o.tvq52_line = "
                       "d.tvq52_line) AND NOT (%3))")
            .arg(stage, matchColumns(t, true, "d", "f"), matchColumns(t, false, "d", "f"));
    // The store only when a staged key is not stored (the keys of first
    // rows are distinct): its function is called for each row of the gate,
    // none when every key was found.
    const QString stored =
        QStringLiteral(
            "f AS MATERIALIZED (SELECT f.* FROM (SELECT $1::bigint AS entry WHERE (SELECT count(*) FROM %1 "
            "WHERE tvq52_first) > (SELECT count(*) FROM old WHERE tvq52_first)) gate "
            "CROSS JOIN LATERAL tvq52_collect_store(gate.entry, $2::text, $3::text, $4::boolean) f)")
            .arg(stage);
    insert_ = QStringLiteral(
                  "WITH %1, %2, %3 SELECT NULL::bigint, coalesce((SELECT records FROM f WHERE line_id IS "
                  "NULL), 0), "
                  "(SELECT count(*) FROM old WHERE differs) + (SELECT n FROM later), NULL, NULL, NULL, NULL "
                  "UNION ALL SELECT line_id, records, 0, line_table, first_key, last_key, line_digest "
                  "FROM f WHERE line_id IS NOT NULL")
                  .arg(old, later, stored)
                  .toUtf8();
    store_ = QByteArrayLiteral("SELECT line_id, records, 0, line_table, first_key, last_key, line_digest FROM "
                               "tvq52_collect_store($1::bigint, $2::text, $3::text, $4::boolean)");
}

std::string ServerCopyTable::header()
{
    // The signature, then no flags and no header extension (two zero 32-bit words).
    return std::string("PGCOPY\n\377\r\n\0" "\0\0\0\0" "\0\0\0\0", 19);
}

std::string ServerCopyTable::trailer()
{
    return std::string("\377\377", 2); // a field count of -1
}

bool ServerCopyTable::encodeStaged(qint64 line, bool first, std::string_view key, const unsigned char* digest,
                                   qint32 pack, const SinkRow& row, std::string& out) const
{
    const size_t start = out.size();
    // At most 8 bytes and a length per value besides the row's texts.
    const size_t room = 2 + 4 + 8 + 4 + 1 + 4 + key.size() + 4 + packed_lines::kDigestBytes + 4 + 4
        + table_.columns.size() * 12 + row.textBytes();
    out.resize(start + room);
    FieldWriter w(out.data() + start);
    w.big<qint16>(qint16(5 + table_.columns.size()));
    w.big<qint32>(8), w.big<qint64>(line);
    w.big<qint32>(1), w.big<qint8>(qint8(first ? 1 : 0));
    if (digest) {
        w.field(key.data(), key.size());
        w.field(reinterpret_cast<const char*>(digest), packed_lines::kDigestBytes);
        w.big<qint32>(4), w.big<qint32>(pack);
    } else {
        w.big<qint32>(-1), w.big<qint32>(-1), w.big<qint32>(-1);
    }
    bool encoded = row.size() >= table_.columns.size();
    for (size_t i = 0; i < table_.columns.size() && encoded; ++i)
        encoded = encodeValue(*table_.columns[i], row, i, w);
    out.resize(encoded ? size_t(w.at() - out.data()) : start);
    return encoded;
}

QByteArray ServerCopyTable::stageRowStatement(const SinkTable& t, const QByteArray& stage)
{
    QStringList columns, arrays;
    for (const ColumnDef* c : t.columns) {
        columns << quoteIdentifier(QString::fromUtf8(c->name));
        arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 3).arg(serverCast(*c));
    }
    const QString list = columns.join(QLatin1Char(','));
    return QStringLiteral(
               "INSERT INTO %1 (tvq52_line, tvq52_first, tvq52_key, tvq52_digest, tvq52_pack, %2) SELECT 0, "
               "true, $1::text, decode($2::text, 'hex'), 0, %2 FROM unnest(%3) AS v (%2)")
        .arg(QString::fromUtf8(stage), list, arrays.join(QLatin1Char(',')))
        .toUtf8();
}

} // namespace tvq52
