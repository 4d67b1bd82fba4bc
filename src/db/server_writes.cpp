#include "db/server_writes.h"

#include "db/fleet_tables.h"
#include "db/database.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/server_text.h"
#include "db/sql_error.h"
#include "db/store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace tvq52 {

namespace {

QString sqlLiteral(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString versionComment()
{
    return QStringLiteral("tvq52 writes %1").arg(kServerWritesVersion);
}

// The tables a collecting login may add rows to: the records, not the
// journal's nor the PC's own.
QString storableTables()
{
    QStringList names;
    for (const TableDef& t : schemaTables())
        if (!isLocalTable(t))
            names << sqlLiteral(QString::fromUtf8(t.name));
    return names.join(QLatin1Char(','));
}

// Packed lines of format 2 are made here, where SQL makes them easily: per
// record its key's length (2 bytes, big-endian), the key, the raw digest;
// in key order. The client numbers the line of each staged record
// (tvq52_pack: a line per unit and at most kRecordsPerLine records), which
// spares the server a sort of the batch by unit; the server still lists
// exactly the rows it added, and refuses a line that mixes units or holds
// too many. Without skip_stored every marked row is added or none, so the
// lines come straight from the staging table, not from a join with the
// rows added.
QString collectStoreFunction(const QString& schema)
{
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION tvq52_collect_store(entry bigint, tbl text, staging text, skip_stored boolean DEFAULT true)
RETURNS TABLE (line_id bigint, line_table text, first_key text, last_key text, line_digest text, records integer)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @SCHEMA@, pg_temp SET enable_nestloop = off SET jit = off
SET max_parallel_workers_per_gather = 0 AS $fn$
DECLARE
    target regclass;
    stage regclass;
    cols text;
    keys text;
    matched text;
    added bigint;
    listed text;
    lines text := $q$
packed AS (SELECT p, min(k COLLATE "C") AS f, max(k COLLATE "C") AS l, count(*)::integer AS n,
                  '\x02'::bytea || string_agg(int2send(octet_length(k)::smallint) || convert_to(k, 'UTF8') || d, ''::bytea) AS b
             FROM rec GROUP BY p),
lines AS (INSERT INTO "DiarioRegistros" ("LEntrada", "TTabla", "TClave", "TClaveFin", "BRegistros", "THuella")
          SELECT $1, $2, f, l, b, encode(sha256(b), 'hex') FROM packed ORDER BY p
          RETURNING rowid, "TTabla", "TClave", "TClaveFin", "THuella")
SELECT NULL::bigint, NULL::text, NULL::text, NULL::text, NULL::text, %s
UNION ALL
SELECT l.rowid, l."TTabla", l."TClave", l."TClaveFin", l."THuella", p.n
  FROM lines l JOIN packed p ON p.f = l."TClave" AND p.l = l."TClaveFin"
 WHERE CASE WHEN p.n <= @PERLINE@ AND split_part(p.f, ' ', 1) = split_part(p.l, ' ', 1) THEN true
            ELSE tvq52_refuse_line(p.f, p.l) END
$q$;
BEGIN
    IF tbl IS NULL OR NOT tbl = ANY (ARRAY[@TABLES@]::text[]) THEN
        RAISE EXCEPTION 'Rows of % are not stored through this function', tbl USING ERRCODE = '42501';
    END IF;
    PERFORM 1 FROM "Diario" d WHERE d."LId" = entry AND d."THash" IS NULL FOR SHARE;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Journal entry % is not open', entry USING ERRCODE = '42501';
    END IF;
    target := format('%I', tbl)::regclass;
    stage := to_regclass(format('pg_temp.%I', staging));
    IF stage IS NULL THEN
        RAISE EXCEPTION 'No staging table %', staging USING ERRCODE = '42P01';
    END IF;
    SELECT string_agg(quote_ident(s.attname), ',' ORDER BY s.attnum) INTO cols
      FROM pg_attribute s JOIN pg_attribute c ON c.attrelid = target AND c.attname = s.attname
       AND c.attnum > 0 AND NOT c.attisdropped
     WHERE s.attrelid = stage AND s.attnum > 0 AND NOT s.attisdropped AND s.attname NOT LIKE 'tvq52\_%';
    SELECT string_agg(quote_ident(a.attname), ',' ORDER BY k.ord),
           string_agg(format('s.%1$I = ins.%1$I', a.attname), ' AND ')
      INTO keys, matched
      FROM pg_index i CROSS JOIN LATERAL unnest(i.indkey) WITH ORDINALITY AS k (att, ord)
      JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.att
     WHERE i.indrelid = target AND i.indisunique AND NOT i.indisprimary;
    IF cols IS NULL OR keys IS NULL THEN
        RAISE EXCEPTION 'Nothing of % to store', tbl USING ERRCODE = '42P10';
    END IF;
    -- The records each line lists, in line and key order, which the lines keep.
    listed := 'SELECT s.tvq52_pack AS p, s.tvq52_key AS k, s.tvq52_digest AS d FROM %s '
              'WHERE s.tvq52_first AND s.tvq52_key IS NOT NULL AND octet_length(s.tvq52_digest) = 32 '
              'ORDER BY s.tvq52_pack, s.tvq52_key COLLATE "C"';
    IF skip_stored THEN
        RETURN QUERY EXECUTE format('WITH ins AS (INSERT INTO %1$I (%2$s) SELECT %2$s FROM pg_temp.%3$I '
                                    'WHERE tvq52_first ON CONFLICT DO NOTHING RETURNING %4$s), rec AS (%5$s), ',
                                    tbl, cols, staging, keys,
                                    format(listed, format('ins JOIN pg_temp.%I s ON %s', staging, matched)))
                             || format(lines, '(SELECT count(*) FROM ins)::integer') USING entry, tbl;
    ELSE
        EXECUTE format('INSERT INTO %1$I (%2$s) SELECT %2$s FROM pg_temp.%3$I WHERE tvq52_first', tbl, cols, staging);
        GET DIAGNOSTICS added = ROW_COUNT;
        RETURN QUERY EXECUTE format('WITH rec AS (%s), ', format(listed, format('pg_temp.%I s', staging)))
                             || format(lines, added::text || '::integer') USING entry, tbl;
    END IF;
END
$fn$;
CREATE OR REPLACE FUNCTION tvq52_refuse_line(first_key text, last_key text) RETURNS boolean
LANGUAGE plpgsql SET search_path = @SCHEMA@, pg_temp AS $fn$
BEGIN
    RAISE EXCEPTION 'A journal line from % to % mixes units or holds too many records', first_key, last_key
        USING ERRCODE = '22023';
END
$fn$)SQL")
        .replace(QLatin1String("@SCHEMA@"), schema)
        .replace(QLatin1String("@TABLES@"), storableTables())
        .replace(QLatin1String("@PERLINE@"), QString::number(packed_lines::kRecordsPerLine));
}

// What a row given as JSON sets in `target`: its columns, the assignments
// of those not in a unique key nor in `keep`, and the unique key's columns.
// An internal of the put functions, run as their owner.
QString rowShapeFunction(const QString& schema)
{
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION tvq52_row_shape(target regclass, rec jsonb, keep text[],
                                           OUT cols text, OUT sets text, OUT keys text)
LANGUAGE plpgsql STABLE SET search_path = @SCHEMA@, pg_temp AS $fn$
BEGIN
    SELECT string_agg(quote_ident(a.attname), ',' ORDER BY a.attnum),
           string_agg(format('%1$I = excluded.%1$I', a.attname), ',' ORDER BY a.attnum)
             FILTER (WHERE NOT a.attname = ANY (coalesce(keep, '{}')) AND NOT EXISTS (SELECT 1 FROM pg_index i
                     WHERE i.indrelid = target AND i.indisunique AND NOT i.indisprimary AND a.attnum = ANY (i.indkey)))
      INTO cols, sets
      FROM pg_attribute a
     WHERE a.attrelid = target AND a.attnum > 0 AND NOT a.attisdropped AND (rec -> a.attname) IS NOT NULL;
    SELECT string_agg(quote_ident(a.attname), ',' ORDER BY k.ord) INTO keys
      FROM pg_index i CROSS JOIN LATERAL unnest(i.indkey) WITH ORDINALITY AS k (att, ord)
      JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.att
     WHERE i.indrelid = target AND i.indisunique AND NOT i.indisprimary;
END
$fn$)SQL")
        .replace(QLatin1String("@SCHEMA@"), schema);
}

// A download's record: the columns it carries set, on a row already there
// too, while its unit's row is held; nothing when the unit is gone.
QString collectPutFunction(const QString& schema)
{
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION tvq52_collect_put(serial integer, rec jsonb, want anyelement,
                                             OUT stored anyelement, OUT added boolean)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @SCHEMA@, pg_temp SET jit = off AS $fn$
DECLARE
    target regclass;
    cols text;
    sets text;
    keys text;
    put record;
BEGIN
    SELECT t.typrelid::regclass INTO target FROM pg_type t WHERE t.oid = pg_typeof(want);
    IF target IS NULL OR NOT (SELECT c.relname::text FROM pg_class c WHERE c.oid = target) = ANY (ARRAY[@TABLES@]::text[]) THEN
        RAISE EXCEPTION 'Rows of % are not stored through this function', pg_typeof(want) USING ERRCODE = '42501';
    END IF;
    SELECT r.cols, r.sets, r.keys INTO cols, sets, keys FROM tvq52_row_shape(target, rec, '{}') r;
    IF cols IS NULL OR keys IS NULL THEN
        RAISE EXCEPTION 'Nothing of % to store', target USING ERRCODE = '42P10';
    END IF;
    -- A record of key columns alone sets one to itself, so that the row comes back.
    IF sets IS NULL THEN
        sets := format('%1$s = excluded.%1$s', split_part(keys, ',', 1));
    END IF;
    EXECUTE format('WITH unit AS (SELECT 1 FROM "Programacion" WHERE "LNumeroSerie" = $2 FOR SHARE) '
                   'INSERT INTO %1$s AS x (%2$s) SELECT %2$s FROM jsonb_populate_record(NULL::%1$s, $1) '
                   'WHERE EXISTS (SELECT 1 FROM unit) ON CONFLICT (%3$s) DO UPDATE SET %4$s '
                   'RETURNING x AS tvq52_row, x.xmax = 0 AS tvq52_added', target, cols, keys, sets)
       INTO put USING rec, serial;
    IF put IS NOT NULL THEN
        stored := put.tvq52_row;
        added := put.tvq52_added;
    END IF;
END
$fn$)SQL")
        .replace(QLatin1String("@SCHEMA@"), schema)
        .replace(QLatin1String("@TABLES@"), storableTables());
}

// A download's readings of the unit kept on its row: those columns only.
QString collectUnitUpdateFunction(const QString& schema)
{
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION tvq52_collect_unit_update(serial integer, rec jsonb) RETURNS integer
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @SCHEMA@, pg_temp SET jit = off AS $fn$
DECLARE
    sets text;
    changed integer;
BEGIN
    IF EXISTS (SELECT 1 FROM jsonb_object_keys(rec) k WHERE NOT k = ANY (ARRAY['LPasadasLocal', 'LPasadasVecino',
               'LE3', 'LCB', 'DFechaTotales', 'THoraTotales', 'TVersion'])) THEN
        RAISE EXCEPTION 'Only the readings of a unit are written through this function' USING ERRCODE = '42501';
    END IF;
    SELECT string_agg(format('%1$I = r.%1$I', k), ', ') INTO sets FROM jsonb_object_keys(rec) k;
    IF sets IS NULL THEN
        RETURN 0;
    END IF;
    EXECUTE format('UPDATE "Programacion" p SET %s FROM jsonb_populate_record(NULL::"Programacion", $1) r '
                   'WHERE p."LNumeroSerie" = $2', sets) USING rec, serial;
    GET DIAGNOSTICS changed = ROW_COUNT;
    RETURN changed;
END
$fn$)SQL")
        .replace(QLatin1String("@SCHEMA@"), schema);
}

// A programming save's rows: inserted whole, or on the row already there
// every column given but those in `keep`. And the hold of a unit's row
// while a save compares and writes.
QString adminPutFunctions(const QString& schema)
{
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION tvq52_admin_put(rec jsonb, keep text[], want anyelement) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @SCHEMA@, pg_temp SET jit = off AS $fn$
DECLARE
    target regclass;
    cols text;
    sets text;
    keys text;
BEGIN
    SELECT t.typrelid::regclass INTO target FROM pg_type t WHERE t.oid = pg_typeof(want);
    IF target IS NULL OR NOT (SELECT c.relname::text FROM pg_class c WHERE c.oid = target)
                             = ANY (ARRAY['Programacion', 'IntervaloInhabil']) THEN
        RAISE EXCEPTION 'Rows of % are not stored through this function', pg_typeof(want) USING ERRCODE = '42501';
    END IF;
    SELECT r.cols, r.sets, r.keys INTO cols, sets, keys FROM tvq52_row_shape(target, rec, keep) r;
    IF cols IS NULL OR keys IS NULL THEN
        RAISE EXCEPTION 'Nothing of % to store', target USING ERRCODE = '42P10';
    END IF;
    EXECUTE format('INSERT INTO %1$s (%2$s) SELECT %2$s FROM jsonb_populate_record(NULL::%1$s, $1) '
                   'ON CONFLICT (%3$s) %4$s', target, cols, keys,
                   CASE WHEN sets IS NULL THEN 'DO NOTHING' ELSE 'DO UPDATE SET ' || sets END) USING rec;
END
$fn$;
CREATE OR REPLACE FUNCTION tvq52_admin_lock_unit(serial integer) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = @SCHEMA@, pg_temp AS $fn$
BEGIN
    PERFORM 1 FROM "Programacion" WHERE "LNumeroSerie" = serial FOR UPDATE;
END
$fn$)SQL")
        .replace(QLatin1String("@SCHEMA@"), schema);
}

// Removes a unit's records; its journal lines stay, as evidence of what was there.
QString adminDeleteUnitFunction(const QString& schema)
{
    QStringList deletes;
    for (const char* t : Store::kUnitTables)
        deletes << QStringLiteral("DELETE FROM %1 WHERE \"LNumeroSerie\" = $1;")
                       .arg(quoteIdentifier(QString::fromUtf8(t)));
    return QStringLiteral("CREATE OR REPLACE FUNCTION tvq52_admin_delete_unit(serial integer) RETURNS void "
                          "LANGUAGE sql SECURITY DEFINER SET search_path = %1, pg_temp AS $fn$ %2 $fn$")
        .arg(schema, deletes.join(QLatin1Char(' ')));
}

} // namespace

QString serverRecordJson(const std::vector<const ColumnDef*>& columns, const QVariantList& values)
{
    QJsonObject record;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const QByteArray text = serverText(*columns[i], values[qsizetype(i)]);
        record.insert(QString::fromUtf8(columns[i]->name),
                      text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromUtf8(text)));
    }
    return QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
}

Status adminPut(Database& database, const TableDef& table, const Row& row, const QStringList& keep)
{
    std::vector<const ColumnDef*> columns;
    QVariantList values;
    for (qsizetype i = 0; i < row.columns().size(); ++i) {
        const ColumnDef* c = table.column(row.columns()[i]);
        if (!c)
            return Error(0, QStringLiteral("%1 has no column %2").arg(QString::fromUtf8(table.name), row.columns()[i]));
        columns.push_back(c);
        values << toStorage(*c, row.values()[i], SqlDialect::PostgreSQL);
    }
    QSqlQuery q(database.connection());
    q.prepare(QStringLiteral("SELECT tvq52_admin_put(CAST(? AS JSONB), CAST(? AS TEXT[]), NULL::%1)")
                  .arg(quoteIdentifier(QString::fromUtf8(table.name))));
    q.addBindValue(serverRecordJson(columns, values));
    q.addBindValue(QStringLiteral("{%1}").arg(keep.join(QLatin1Char(','))));
    if (!q.exec())
        return sqlError(q.lastError());
    return {};
}

QByteArray collectStoreCall()
{
    return QByteArrayLiteral("SELECT * FROM tvq52_collect_store($1::bigint, $2::text, $3::text, $4::boolean)");
}

QByteArray grantStageStatement(const QByteArray& stage)
{
    // Without the owner role the login owns the tables and reads its own.
    return "DO $g$ DECLARE owner text := 'tvq52_' || current_database() || '_owner'; BEGIN "
           "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = owner) THEN "
           "EXECUTE format('GRANT SELECT ON pg_temp.%I TO %I', '"
        + stage + "', owner); END IF; END $g$";
}

Result<bool> serverWritesCurrent(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT obj_description(to_regprocedure('tvq52_collect_store(bigint,text,text,boolean)'), "
                               "'pg_proc')"))
        || !q.next())
        return sqlError(q.lastError());
    return q.value(0).toString() == versionComment();
}

Status installServerWriteFunctions(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT quote_ident(current_schema())")) || !q.next())
        return sqlError(q.lastError());
    const QString schema = q.value(0).toString();
    q.finish();
    const QStringList statements{
        rowShapeFunction(schema),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_row_shape(regclass, jsonb, text[]) FROM PUBLIC"),
        collectStoreFunction(schema),
        QStringLiteral("COMMENT ON FUNCTION tvq52_collect_store(bigint, text, text, boolean) IS %1")
            .arg(sqlLiteral(versionComment())),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_collect_store(bigint, text, text, boolean) FROM PUBLIC"),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_refuse_line(text, text) FROM PUBLIC"),
        collectPutFunction(schema),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_collect_put(integer, jsonb, anyelement) FROM PUBLIC"),
        collectUnitUpdateFunction(schema),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_collect_unit_update(integer, jsonb) FROM PUBLIC"),
        adminPutFunctions(schema),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_admin_put(jsonb, text[], anyelement) FROM PUBLIC"),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_admin_lock_unit(integer) FROM PUBLIC"),
        adminDeleteUnitFunction(schema),
        QStringLiteral("REVOKE EXECUTE ON FUNCTION tvq52_admin_delete_unit(integer) FROM PUBLIC"),
    };
    for (const QString& statement : statements + fleetServerFunctions(schema))
        if (!q.exec(statement))
            return sqlError(q.lastError());
    return {};
}

Status ensureServerWriteFunctions(QSqlDatabase db)
{
    const Result<bool> current = serverWritesCurrent(db);
    if (!current || *current)
        return current.status();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN")))
        return sqlError(q.lastError());
    // Two programs opening at once replace them one after the other.
    Status done = q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(5252002)")) ? Status() : sqlError(q.lastError());
    const Result<bool> still = done ? serverWritesCurrent(db) : Result<bool>(done.error());
    if (still && !*still)
        done = installServerWriteFunctions(db);
    else if (!still)
        done = still.status();
    if (!done || !q.exec(QStringLiteral("COMMIT"))) {
        const Status failed = done ? Status(sqlError(q.lastError())) : done;
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return failed;
    }
    return {};
}

} // namespace tvq52
