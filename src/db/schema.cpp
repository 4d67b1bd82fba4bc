#include "db/schema.h"

namespace tvq52 {

namespace {

using T = ColumnType;

// One unit: its programming, where it is, and its totals.
TableDef programmingTable()
{
    return {"Programacion",
            {{"LNumeroSerie", T::Long},
             {"DFecha", T::Date},
             {"TContacto", T::Text, 30},
             {"TLocal", T::Text, 30},
             {"TDireccion", T::Text, 30},
             {"TPoblacion", T::Text, 30},
             {"TTelefono", T::Text, 15},
             {"TNota", T::Text, 0},
             {"TVersion", T::Text, 5},
             {"TModelo", T::Text, 5},
             {"BoCambioHora", T::Boolean},
             {"TIdioma", T::Text, 8},
             {"ByTLeq", T::Byte},
             {"ByMFast", T::Byte},
             {"BoImpresion", T::Boolean},
             {"TLunesInicio", T::Text, 5},
             {"TLunesFin", T::Text, 5},
             {"TMartesInicio", T::Text, 5},
             {"TMartesFin", T::Text, 5},
             {"TMiercolesInicio", T::Text, 5},
             {"TMiercolesFin", T::Text, 5},
             {"TJuevesInicio", T::Text, 5},
             {"TJuevesFin", T::Text, 5},
             {"TViernesInicio", T::Text, 5},
             {"TViernesFin", T::Text, 5},
             {"TSabadoInicio", T::Text, 5},
             {"TSabadoFin", T::Text, 5},
             {"TDomingoInicio", T::Text, 5},
             {"TDomingoFin", T::Text, 5},
             {"ByNivelDiaLocal", T::Byte},
             {"ByNivelDiaVecino", T::Byte},
             {"THoraEmpiezaNoche", T::Text, 5},
             {"THoraTerminaNoche", T::Text, 5},
             {"ByNivelNocheLocal", T::Byte},
             {"ByNivelNocheVecino", T::Byte},
             {"ITiempoAtenuacion", T::Short},
             {"TTipoActuacionLocal", T::Text, 8},
             {"TTipoActuacionVecino", T::Text, 8},
             {"SOctava31,5Hz", T::Single},
             {"SOctava63Hz", T::Single},
             {"SOctava125Hz", T::Single},
             {"SOctava250Hz", T::Single},
             {"SOctava500Hz", T::Single},
             {"SOctava1kHz", T::Single},
             {"SOctava2kHz", T::Single},
             {"SOctava4kHz", T::Single},
             {"SOctava8kHz", T::Single},
             {"ByRings", T::Byte},
             {"DFechaTotales", T::Date},
             {"THoraTotales", T::Text, 8},
             {"LPasadasLocal", T::Long},
             {"LPasadasVecino", T::Long},
             {"LE3", T::Long},
             {"LCB", T::Long},
             {"ByVelocidad", T::Byte},
             {"CMI", T::Boolean}},
            {"LNumeroSerie"},
            "PK_Programacion"};
}

// Times of day of a non-working interval are kept as "hh:nn" texts.
TableDef nonWorkingIntervalTable()
{
    return {"IntervaloInhabil",
            {{"LNumeroSerie", T::Long},
             {"ByIntervalo", T::Byte},
             {"TDiaEmpiezaInt", T::Text, 10},
             {"THoraEmpiezaInt", T::Text, 5},
             {"TDiaTerminaInt", T::Text, 10},
             {"THoraTerminaInt", T::Text, 5}},
            {"LNumeroSerie", "ByIntervalo"},
            "PK_IntervaloInhabil"};
}

TableDef intervalsTable()
{
    return {"Intervalos",
            {{"LNumeroSerie", T::Long},
             {"DFechaInicio", T::Date},
             {"DFechaFinal", T::Date},
             {"ByTLeq", T::Byte},
             {"SLeqLocal", T::Single},
             {"SLeqVecino", T::Single},
             {"TTipoActuacionLocal", T::Text, 8},
             {"TTipoActuacionVecino", T::Text, 8},
             {"ByNivelLeqLocal", T::Byte},
             {"ByNivelLeqVecino", T::Byte},
             {"SMaxLeq1min", T::Single},
             {"TFechaMaxLeq1min", T::Text, 10},
             {"THoraMaxLeq1min", T::Text, 5},
             {"SMinLeq1min", T::Single},
             {"TFechaMinLeq1min", T::Text, 10},
             {"THoraMinLeq1min", T::Text, 5},
             {"SMaxFast", T::Single},
             {"ByNivelMFast", T::Byte},
             {"IPasMaxFast", T::Short},
             {"SL1", T::Single},
             {"SL5", T::Single},
             {"SL10", T::Single},
             {"SL50", T::Single},
             {"SL90", T::Single},
             {"BoRS232", T::Boolean},
             {"BoProgramacion", T::Boolean},
             {"IDesco", T::Short},
             {"IPasadasLocal", T::Short},
             {"IPasadasVecino", T::Short},
             {"IE3", T::Short},
             {"ByDNA", T::Byte},
             {"ByENA", T::Byte},
             {"ByLineaInsuficiente", T::Byte},
             {"THoraInicio", T::Text, 5},
             {"THoraFinal", T::Text, 5}},
            {"LNumeroSerie", "DFechaInicio", "THoraInicio"},
            "PrimaryKey"};
}

TableDef sessionsTable()
{
    return {"Sesiones",
            {{"LNumeroSerie", T::Long},
             {"DFechaInicio", T::Date},
             {"DFechaFinal", T::Date},
             {"SLeq", T::Single},
             {"ByNivelDiaLocal", T::Byte},
             {"ByNivelDiaVecino", T::Byte},
             {"THoraInicioNoche", T::Text, 5},
             {"THoraFinalNoche", T::Text, 5},
             {"ByNivelNocheLocal", T::Byte},
             {"ByNivelNocheVecino", T::Byte},
             {"ITiempoAtenuacion", T::Short},
             {"LDesco", T::Long},
             {"LPasadasLocal", T::Long},
             {"LPasadasVecino", T::Long},
             {"LE3", T::Long},
             {"SMaxFast", T::Single},
             {"ByNivelMFast", T::Byte},
             {"LPasMaxFast", T::Long},
             {"SMaxLeq1min", T::Single},
             {"TFechaMaxLeq1min", T::Text, 10},
             {"THoraMaxLeq1min", T::Text, 5},
             {"SMinLeq1min", T::Single},
             {"TFechaMinLeq1min", T::Text, 10},
             {"THoraMinLeq1min", T::Text, 5},
             {"SL1", T::Single},
             {"SL5", T::Single},
             {"SL10", T::Single},
             {"SL50", T::Single},
             {"SL90", T::Single},
             {"THoraInicio", T::Text, 5},
             {"THoraFinal", T::Text, 5}},
            {"LNumeroSerie", "DFechaInicio", "THoraInicio"},
            "PK_Sesiones"};
}

// This PC's settings row.
TableDef settingsTable()
{
    return {"Configuracion",
            {{"ByCom", T::Byte},
             {"IIdioma", T::Short},
             {"ByTono", T::Byte},
             {"ByModem", T::Byte},
             {"TPrefijo", T::Text, 50},
             {"IModemSpeed", T::Short},
             {"TUsuario", T::Text, 255},
             {"Memo", T::Text, 0}},
            {},
            nullptr};
}

std::vector<TableDef> buildTables()
{
    std::vector<TableDef> tables{programmingTable(), nonWorkingIntervalTable(), intervalsTable(), sessionsTable()};
    for (const char* name : {"DiaBorrado", "DiaFinalBateria", "DiaReprogramado"}) {
        tables.push_back({name,
                          {{"LNumeroSerie", T::Long}, {"DFecha", T::Date}, {"THora", T::Text, 5}},
                          {"LNumeroSerie", "DFecha", "THora"},
                          nullptr});
    }
    tables.push_back(settingsTable());
    return tables;
}

QString sqlType(const ColumnDef& c, SqlDialect dialect)
{
    const QString q = quoteIdentifier(QString::fromUtf8(c.name));
    switch (c.type) {
    case T::Long:
        return QStringLiteral("INTEGER");
    case T::Short:
        return QStringLiteral("SMALLINT CHECK (%1 BETWEEN -32768 AND 32767)").arg(q);
    case T::Byte:
        return QStringLiteral("SMALLINT CHECK (%1 BETWEEN 0 AND 255)").arg(q);
    case T::Single:
        return QStringLiteral("REAL");
    case T::Boolean:
        return QStringLiteral("BOOLEAN");
    case T::Date:
        return dialect == SqlDialect::PostgreSQL
            ? QStringLiteral("DATE")
            : QStringLiteral("DATE CHECK (%1 IS NULL OR %1 GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]')").arg(q);
    case T::Text:
        return c.width > 0 ? QStringLiteral("VARCHAR(%1)").arg(c.width) : QStringLiteral("TEXT");
    }
    return QStringLiteral("TEXT");
}

} // namespace

const ColumnDef* TableDef::column(const QString& columnName) const
{
    for (const ColumnDef& c : columns)
        if (columnName.compare(QString::fromUtf8(c.name), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

bool TableDef::isKey(const ColumnDef& c) const
{
    for (const char* k : key)
        if (qstrcmp(k, c.name) == 0)
            return true;
    return false;
}

QStringList TableDef::columnNames() const
{
    QStringList names;
    for (const ColumnDef& c : columns)
        names << QString::fromUtf8(c.name);
    return names;
}

const std::vector<TableDef>& schemaTables()
{
    static const std::vector<TableDef> tables = buildTables();
    return tables;
}

const TableDef* schemaTable(const QString& name)
{
    for (const TableDef& t : schemaTables())
        if (name.compare(QString::fromUtf8(t.name), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString quoteIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

bool isLocalTable(const TableDef& table)
{
    return qstrcmp(table.name, "Configuracion") == 0;
}

QStringList createSchemaStatements(SqlDialect dialect)
{
    QStringList statements;
    for (const TableDef& t : schemaTables()) {
        if (dialect == SqlDialect::PostgreSQL && isLocalTable(t))
            continue;
        QStringList parts;
        // SQLite numbers every row itself; PostgreSQL gets the same "rowid"
        // (unquoted, so one spelling serves both) for reads in stored order.
        if (dialect == SqlDialect::PostgreSQL)
            parts << QStringLiteral("rowid BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
        for (const ColumnDef& c : t.columns) {
            QString part = quoteIdentifier(QString::fromUtf8(c.name)) + QLatin1Char(' ') + sqlType(c, dialect);
            for (const char* k : t.key)
                if (qstrcmp(k, c.name) == 0)
                    part += QLatin1String(" NOT NULL");
            parts << part;
        }
        statements << QStringLiteral("CREATE TABLE %1 (%2)")
                          .arg(quoteIdentifier(QString::fromUtf8(t.name)), parts.join(QLatin1String(", ")));
        if (!t.key.empty()) {
            QStringList keyCols;
            for (const char* k : t.key)
                keyCols << quoteIdentifier(QString::fromUtf8(k));
            const QString indexName =
                t.keyName ? QString::fromUtf8(t.keyName) : QStringLiteral("PK_%1").arg(QString::fromUtf8(t.name));
            statements << QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)")
                              .arg(quoteIdentifier(indexName), quoteIdentifier(QString::fromUtf8(t.name)),
                                   keyCols.join(QLatin1String(", ")));
        }
    }
    return statements;
}

} // namespace tvq52
