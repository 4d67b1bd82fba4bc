#include "db/journal_tables.h"

#include "db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

const char* const kServerJournalLineSql = "SELECT tvq52_journal_line(?, ?, ?, ?, ?, ?)";

namespace {

// The server keeps the journal itself: it names the login and the time of
// each entry, lets only the login that opened an entry list lines in it or
// seal it, once, and refuses every other change. The program's own writes
// go through the tvq52_journal_* functions, which run as the tables' owner.
const char* const kServerJournalObjects[] = {
    R"sql(CREATE OR REPLACE FUNCTION tvq52_keep_entry_opened() RETURNS trigger LANGUAGE plpgsql
SET search_path = %1, pg_temp AS $f$
BEGIN
  NEW."TUsuario" := session_user;
  NEW."TFechaHora" := to_char(localtimestamp, 'YYYY-MM-DD"T"HH24:MI:SS');
  NEW."THash" := NULL;
  NEW."LSello" := NULL;
  NEW."TEnlace" := NULL;
  RETURN NEW;
END $f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_keep_entry_changed() RETURNS trigger LANGUAGE plpgsql
SET search_path = %1, pg_temp AS $f$
DECLARE
  pending integer := coalesce(OLD."ISelloPendiente", 0);
BEGIN
  IF TG_OP <> 'UPDATE' THEN
    RAISE EXCEPTION 'journal entries are never deleted' USING ERRCODE = '42501';
  END IF;
  IF OLD."TUsuario" IS DISTINCT FROM session_user THEN
    RAISE EXCEPTION 'journal entry % was opened by another login', OLD."LId" USING ERRCODE = '42501';
  END IF;
  IF (NEW."LId", NEW."TFechaHora", NEW."TAccion", NEW."LNumeroSerie", NEW."TLinea", NEW."IVersion",
      NEW."TOrigen", NEW."TUsuario")
     IS DISTINCT FROM (OLD."LId", OLD."TFechaHora", OLD."TAccion", OLD."LNumeroSerie", OLD."TLinea",
                       OLD."IVersion", OLD."TOrigen", OLD."TUsuario")
     OR (OLD."TEnlace" IS NOT NULL AND NEW."TEnlace" IS DISTINCT FROM OLD."TEnlace")
     OR (OLD."TEnlace" IS NOT NULL AND (pending & 1) = 0
         AND NEW."TFirmaApertura" IS DISTINCT FROM OLD."TFirmaApertura") THEN
    RAISE EXCEPTION 'journal entry % keeps what it was opened with', OLD."LId" USING ERRCODE = '42501';
  END IF;
  IF OLD."THash" IS NOT NULL AND (
       (NEW."TResultado", NEW."TMensaje", NEW."TRecuentos", NEW."TTotales", NEW."THash", NEW."LAnterior",
        NEW."LSello", NEW."TProcedencia", NEW."THuellaLineas", NEW."INumeroMensaje", NEW."TArgumentosMensaje")
       IS DISTINCT FROM
       (OLD."TResultado", OLD."TMensaje", OLD."TRecuentos", OLD."TTotales", OLD."THash", OLD."LAnterior",
        OLD."LSello", OLD."TProcedencia", OLD."THuellaLineas", OLD."INumeroMensaje", OLD."TArgumentosMensaje")
       OR ((pending & 2) = 0 AND NEW."TFirmaCierre" IS DISTINCT FROM OLD."TFirmaCierre")
       OR (coalesce(NEW."ISelloPendiente", 0) & (~pending)) <> 0) THEN
    RAISE EXCEPTION 'journal entry % is sealed', OLD."LId" USING ERRCODE = '42501';
  END IF;
  RETURN NEW;
END $f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_keep_lines_added() RETURNS trigger LANGUAGE plpgsql
SET search_path = %1, pg_temp AS $f$
BEGIN
  IF EXISTS (SELECT 1 FROM added a LEFT JOIN "Diario" d ON d."LId" = a."LEntrada" AND d."THash" IS NULL
             AND d."TUsuario" = session_user WHERE d."LId" IS NULL) THEN
    RAISE EXCEPTION 'journal lines go only into an open entry of the login that opened it'
      USING ERRCODE = '42501';
  END IF;
  RETURN NULL;
END $f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_keep_journal() RETURNS trigger LANGUAGE plpgsql
SET search_path = %1, pg_temp AS $f$
BEGIN
  RAISE EXCEPTION 'the journal is never changed nor deleted' USING ERRCODE = '42501';
END $f$)sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_entry_opened ON "Diario")sql",
    R"sql(CREATE TRIGGER tvq52_entry_opened BEFORE INSERT ON "Diario" FOR EACH ROW
EXECUTE FUNCTION tvq52_keep_entry_opened())sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_entry_changed ON "Diario")sql",
    R"sql(CREATE TRIGGER tvq52_entry_changed BEFORE UPDATE OR DELETE ON "Diario" FOR EACH ROW
EXECUTE FUNCTION tvq52_keep_entry_changed())sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_entries_kept ON "Diario")sql",
    R"sql(CREATE TRIGGER tvq52_entries_kept BEFORE TRUNCATE ON "Diario" FOR EACH STATEMENT
EXECUTE FUNCTION tvq52_keep_journal())sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_lines_added ON "DiarioRegistros")sql",
    R"sql(CREATE TRIGGER tvq52_lines_added AFTER INSERT ON "DiarioRegistros" REFERENCING NEW TABLE AS added
FOR EACH STATEMENT EXECUTE FUNCTION tvq52_keep_lines_added())sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_lines_kept ON "DiarioRegistros")sql",
    R"sql(CREATE TRIGGER tvq52_lines_kept BEFORE UPDATE OR DELETE ON "DiarioRegistros" FOR EACH ROW
EXECUTE FUNCTION tvq52_keep_journal())sql",
    R"sql(DROP TRIGGER IF EXISTS tvq52_lines_truncated ON "DiarioRegistros")sql",
    R"sql(CREATE TRIGGER tvq52_lines_truncated BEFORE TRUNCATE ON "DiarioRegistros" FOR EACH STATEMENT
EXECUTE FUNCTION tvq52_keep_journal())sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_open(p_action text, p_serial integer, p_line text,
  p_version integer, p_source text) RETURNS TABLE(entry bigint, opened text, login text)
LANGUAGE sql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
  INSERT INTO "Diario" ("TAccion", "LNumeroSerie", "TLinea", "IVersion", "TOrigen")
  VALUES (p_action, p_serial, p_line, p_version, p_source)
  RETURNING "LId", "TFechaHora", "TUsuario"
$f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_link(p_entry bigint, p_link text, p_signature text,
  p_pending integer) RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
BEGIN
  UPDATE "Diario" SET "TEnlace" = p_link, "TFirmaApertura" = p_signature, "ISelloPendiente" = p_pending
  WHERE "LId" = p_entry AND "THash" IS NULL;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'Journal entry % is not open', p_entry;
  END IF;
END $f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_provenance(p_entry bigint, p_text text) RETURNS integer
LANGUAGE sql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
  WITH kept AS (UPDATE "Diario" SET "TProcedencia" = p_text WHERE "LId" = p_entry AND "THash" IS NULL
                RETURNING 1)
  SELECT count(*)::integer FROM kept
$f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_line(p_entry bigint, p_table text, p_key text,
  p_key_end text, p_packed bytea, p_digest text) RETURNS void
LANGUAGE sql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
  INSERT INTO "DiarioRegistros" ("LEntrada", "TTabla", "TClave", "TClaveFin", "BRegistros", "THuella")
  VALUES (p_entry, p_table, p_key, p_key_end, p_packed, p_digest)
$f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_seal(p_entry bigint, p_outcome text, p_message text,
  p_counts text, p_totals text, p_hash text, p_previous bigint, p_seal bigint, p_signature text,
  p_pending integer, p_lines text, p_message_number integer, p_message_arguments text) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
BEGIN
  UPDATE "Diario" SET "TResultado" = p_outcome, "TMensaje" = p_message, "TRecuentos" = p_counts,
    "TTotales" = p_totals, "THash" = p_hash, "LAnterior" = p_previous, "LSello" = p_seal,
    "TFirmaCierre" = p_signature, "ISelloPendiente" = p_pending, "THuellaLineas" = p_lines,
    "INumeroMensaje" = p_message_number, "TArgumentosMensaje" = p_message_arguments
  WHERE "LId" = p_entry AND "THash" IS NULL;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'Journal entry % is already sealed', p_entry;
  END IF;
END $f$)sql",
    R"sql(CREATE OR REPLACE FUNCTION tvq52_journal_stamp(p_entry bigint, p_seal boolean, p_signature text,
  p_pending integer, p_before text) RETURNS void
LANGUAGE sql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$
  UPDATE "Diario" SET
    "TFirmaApertura" = CASE WHEN p_seal THEN "TFirmaApertura" ELSE p_signature END,
    "TFirmaCierre" = CASE WHEN p_seal THEN p_signature ELSE "TFirmaCierre" END,
    "ISelloPendiente" = p_pending
  WHERE "LId" = p_entry
    AND coalesce(CASE WHEN p_seal THEN "TFirmaCierre" ELSE "TFirmaApertura" END, '') = p_before
$f$)sql",
};

} // namespace

Status installServerJournalObjects(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT current_schema()")) || !q.next())
        return sqlError(q.lastError());
    const QString schema = quoteIdentifier(q.value(0).toString());
    q.finish();
    for (const char* statement : kServerJournalObjects)
        if (!q.exec(QString::fromUtf8(statement).replace(QLatin1String("%1"), schema)))
            return sqlError(q.lastError());
    // Nobody but the roles given them may call the program's functions; the
    // triggers' (tvq52_keep_*) nobody at all.
    if (!q.exec(QStringLiteral("SELECT p.oid::regprocedure::text FROM pg_proc p "
                               "WHERE p.pronamespace = current_schema()::regnamespace "
                               "AND (p.proname LIKE 'tvq52\\_journal\\_%' OR p.proname LIKE 'tvq52\\_keep\\_%')")))
        return sqlError(q.lastError());
    QStringList functions;
    while (q.next())
        functions << q.value(0).toString();
    for (const QString& f : std::as_const(functions))
        if (!q.exec(QStringLiteral("REVOKE EXECUTE ON FUNCTION %1 FROM PUBLIC").arg(f)))
            return sqlError(q.lastError());
    return {};
}

} // namespace tvq52
