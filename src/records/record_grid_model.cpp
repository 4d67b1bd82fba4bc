#include "records/record_grid_model.h"

#include "db/schema.h"
#include "i18n/heading_lines.h"
#include "i18n/translator.h"

#include <QDate>
#include <algorithm>
#include <cmath>

namespace tvq52 {

namespace {

constexpr GridColour rgb(int r, int g, int b)
{
    return {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b), 255};
}

// Column groups, cell colour over heading colour.
constexpr GridColour kLevelCell = rgb(220, 220, 255);
constexpr GridColour kLevelHead = rgb(150, 150, 255);
constexpr GridColour kRose = rgb(255, 220, 220);
constexpr GridColour kMaxCell = rgb(251, 248, 200);
constexpr GridColour kMaxHead = rgb(251, 248, 150);
constexpr GridColour kMinCell = rgb(220, 255, 220);
constexpr GridColour kMinHead = rgb(150, 255, 150);
constexpr GridColour kFastCell = rgb(96, 253, 253);
constexpr GridColour kFastHead = rgb(3, 233, 233);
constexpr GridColour kPercentCell = rgb(251, 205, 252);
constexpr GridColour kPercentHead = rgb(245, 152, 248);
constexpr GridColour kAlarmHead = rgb(255, 150, 150);
constexpr GridColour kSessionHead = rgb(108, 179, 236);
constexpr GridColour kNightCell = rgb(180, 216, 245);

const char* const kDbA = "dBA";
const char* const kMin = "min";

QString s(const char* text)
{
    return QString::fromLatin1(text);
}

// The widest a stored value of `def` prints as, digits as '0': a byte three
// digits, a counter five, a long counter seven, a time "00:00", a text its
// full width.
QString widestStored(const ColumnDef* def)
{
    if (!def)
        return {};
    switch (def->type) {
    case ColumnType::Byte:
        return QStringLiteral("000");
    case ColumnType::Short:
        return QStringLiteral("00000");
    case ColumnType::Long:
        return QStringLiteral("0000000");
    case ColumnType::Single:
        return QStringLiteral("000.0");
    case ColumnType::Text:
        return QString(def->width > 0 ? def->width : 10, QLatin1Char('0'));
    default:
        return QStringLiteral("00/00/0000");
    }
}

GridColumn col(const char* field, int headingId, const char* literal, const char* unitLine, CellShow show,
               GridColour cell = {}, GridColour heading = {}, QStringList sortKeys = {})
{
    if (sortKeys.isEmpty())
        sortKeys << s(field);
    // The event-date tables share their columns: one stands for all.
    const ColumnDef* def = nullptr;
    for (const char* table : {"Intervalos", "Sesiones", "DiaBorrado"})
        if (const TableDef* t = schemaTable(s(table)); t && !def)
            def = t->column(s(field));
    const bool numeric = def
        && (def->type == ColumnType::Long || def->type == ColumnType::Short || def->type == ColumnType::Byte
            || def->type == ColumnType::Single);
    return {s(field), headingId, literal, unitLine, show, cell, heading, sortKeys, numeric, widestStored(def)};
}

// The start and end columns sort by the start, the minute statistics by
// their own date and time.
QStringList startKeys()
{
    return {s("DFechaInicio"), s("THoraInicio")};
}

void addStartEnd(QVector<GridColumn>& c)
{
    c << col("DFechaInicio", 16, nullptr, nullptr, CellShow::Date, {}, {}, startKeys())
      << col("THoraInicio", 17, nullptr, nullptr, CellShow::Plain, {}, {}, startKeys())
      << col("DFechaFinal", 16, nullptr, nullptr, CellShow::Date, {}, {}, startKeys())
      << col("THoraFinal", 17, nullptr, nullptr, CellShow::Plain, {}, {}, startKeys());
}

void addMinuteStatistics(QVector<GridColumn>& c)
{
    const QStringList maxKeys{s("TFechaMaxLeq1min"), s("THoraMaxLeq1min")};
    const QStringList minKeys{s("TFechaMinLeq1min"), s("THoraMinLeq1min")};
    c << col("SMaxLeq1min", 12, nullptr, kDbA, CellShow::Level, kMaxCell, kMaxHead)
      << col("TFechaMaxLeq1min", 16, nullptr, nullptr, CellShow::Plain, kMaxCell, kMaxHead, maxKeys)
      << col("THoraMaxLeq1min", 17, nullptr, nullptr, CellShow::Plain, kMaxCell, kMaxHead, maxKeys)
      << col("SMinLeq1min", 13, nullptr, kDbA, CellShow::Level, kMinCell, kMinHead)
      << col("TFechaMinLeq1min", 16, nullptr, nullptr, CellShow::Plain, kMinCell, kMinHead, minKeys)
      << col("THoraMinLeq1min", 17, nullptr, nullptr, CellShow::Plain, kMinCell, kMinHead, minKeys);
}

void addPercentiles(QVector<GridColumn>& c)
{
    c << col("SL1", 0, "L1", kDbA, CellShow::Level, kPercentCell, kPercentHead)
      << col("SL5", 0, "L5", kDbA, CellShow::Level, kPercentCell, kPercentHead)
      << col("SL10", 0, "L10", kDbA, CellShow::Level, kPercentCell, kPercentHead)
      << col("SL50", 0, "L50", kDbA, CellShow::Level, kPercentCell, kPercentHead)
      << col("SL90", 0, "L90", kDbA, CellShow::Level, kPercentCell, kPercentHead);
}

QVector<GridColumn> intervalColumns()
{
    QVector<GridColumn> c;
    addStartEnd(c);
    c << col("ByTLeq", 41, nullptr, nullptr, CellShow::Plain, kLevelCell, kLevelHead)
      << col("SLeqLocal", 56, nullptr, nullptr, CellShow::Level, kLevelCell, kLevelHead)
      << col("ByNivelLeqLocal", 48, nullptr, nullptr, CellShow::Limit, kRose, kLevelHead)
      << col("IPasadasLocal", 46, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("TTipoActuacionLocal", 67, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("SLeqVecino", 57, nullptr, nullptr, CellShow::LevelNoUnder, kLevelCell, kLevelHead)
      << col("ByNivelLeqVecino", 49, nullptr, nullptr, CellShow::Limit, kRose, kLevelHead)
      << col("IPasadasVecino", 47, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("TTipoActuacionVecino", 101, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead);
    addMinuteStatistics(c);
    c << col("SMaxFast", 14, nullptr, kDbA, CellShow::Level, kFastCell, kFastHead)
      << col("ByNivelMFast", 36, nullptr, kDbA, CellShow::Plain, kRose, kFastHead)
      << col("IPasMaxFast", 134, nullptr, nullptr, CellShow::Plain, kRose, kFastHead);
    addPercentiles(c);
    c << col("BoRS232", 38, nullptr, nullptr, CellShow::Flag, kRose, kAlarmHead)
      << col("BoProgramacion", 135, nullptr, nullptr, CellShow::Flag, kRose, kAlarmHead)
      << col("IDesco", 39, nullptr, nullptr, CellShow::Plain, kRose, kAlarmHead)
      << col("IE3", 40, nullptr, nullptr, CellShow::Plain, kRose, kAlarmHead)
      << col("ByLineaInsuficiente", 136, nullptr, kMin, CellShow::Uncalibrated, kRose, kAlarmHead)
      << col("ByDNA", 108, nullptr, kMin, CellShow::Uncalibrated, kRose, kAlarmHead)
      << col("ByENA", 109, nullptr, kMin, CellShow::Uncalibrated, kRose, kAlarmHead);
    return c;
}

QVector<GridColumn> sessionColumns()
{
    QVector<GridColumn> c;
    addStartEnd(c);
    c << col("SLeq", 42, nullptr, nullptr, CellShow::Level, kLevelCell, kLevelHead)
      << col("LPasadasLocal", 46, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("LPasadasVecino", 47, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("ITiempoAtenuacion", 45, nullptr, nullptr, CellShow::Plain, kRose, kLevelHead)
      << col("ByNivelDiaLocal", 102, nullptr, kDbA, CellShow::Plain, kRose, kSessionHead)
      << col("ByNivelDiaVecino", 103, nullptr, kDbA, CellShow::Plain, kRose, kSessionHead)
      << col("ByNivelNocheLocal", 104, nullptr, kDbA, CellShow::Plain, kRose, kSessionHead)
      << col("ByNivelNocheVecino", 105, nullptr, kDbA, CellShow::Plain, kRose, kSessionHead)
      << col("THoraInicioNoche", 43, nullptr, nullptr, CellShow::Plain, kNightCell, kSessionHead)
      << col("THoraFinalNoche", 44, nullptr, nullptr, CellShow::Plain, kNightCell, kSessionHead);
    addMinuteStatistics(c);
    c << col("SMaxFast", 14, nullptr, kDbA, CellShow::Level, kFastCell, kFastHead)
      << col("ByNivelMFast", 36, nullptr, kDbA, CellShow::Plain, kRose, kFastHead)
      << col("LPasMaxFast", 134, nullptr, nullptr, CellShow::Plain, kRose, kFastHead);
    addPercentiles(c);
    c << col("LDesco", 39, nullptr, nullptr, CellShow::Plain, kRose, kAlarmHead)
      << col("LE3", 40, nullptr, nullptr, CellShow::Plain, kRose, kAlarmHead);
    return c;
}

QVector<GridColumn> dateColumns()
{
    const QStringList keys{s("DFecha"), s("THora")};
    return {col("DFecha", 16, nullptr, nullptr, CellShow::Date, kRose, {}, keys),
            col("THora", 17, nullptr, nullptr, CellShow::Plain, kRose, {}, keys)};
}

std::optional<double> levelValue(const QVariant& stored)
{
    if (stored.isNull())
        return std::nullopt;
    bool ok = false;
    double v = 0;
    if (stored.typeId() == QMetaType::QString) {
        QString text = stored.toString().trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        v = text.toDouble(&ok);
    } else {
        v = stored.toDouble(&ok);
    }
    if (!ok)
        return std::nullopt;
    return v;
}

} // namespace

const QVector<GridColumn>& gridColumns(RecordGrid grid)
{
    static const QVector<GridColumn> intervals = intervalColumns();
    static const QVector<GridColumn> sessions = sessionColumns();
    static const QVector<GridColumn> dates = dateColumns();
    switch (grid) {
    case RecordGrid::Intervals:
        return intervals;
    case RecordGrid::Sessions:
        return sessions;
    default:
        return dates;
    }
}

RecordKind gridKind(RecordGrid grid)
{
    switch (grid) {
    case RecordGrid::Intervals:
        return RecordKind::Intervals;
    case RecordGrid::Sessions:
        return RecordKind::Sessions;
    case RecordGrid::BatteryEnds:
        return RecordKind::BatteryEnds;
    case RecordGrid::Erasures:
        return RecordKind::Erasures;
    case RecordGrid::Reprogrammings:
        return RecordKind::Reprogrammings;
    }
    return RecordKind::Intervals;
}

QString cellText(CellShow show, const QVariant& stored, const QString& uncalibrated)
{
    if (stored.isNull())
        return {};
    switch (show) {
    case CellShow::Plain:
        return stored.toString();
    case CellShow::Date: {
        const QDate d = QDate::fromString(stored.toString().left(10), Qt::ISODate);
        return d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : stored.toString();
    }
    case CellShow::Level:
    case CellShow::LevelNoUnder: {
        const auto v = levelValue(stored);
        if (!v)
            return stored.toString();
        // Compared in tenths, as stored levels carry one decimal.
        const long tenths = std::lround(*v * 10);
        if (tenths == 590 && show == CellShow::Level)
            return QStringLiteral("UND");
        if (tenths == 1210)
            return QStringLiteral("UP");
        if (tenths == 0)
            return QStringLiteral("---");
        return QString::number(*v, 'f', 1);
    }
    case CellShow::Limit:
        return stored.toInt() == 255 ? QStringLiteral("---") : stored.toString();
    case CellShow::Uncalibrated:
        return stored.toInt() == 255 ? uncalibrated : stored.toString();
    case CellShow::Flag:
        return {};
    }
    return stored.toString();
}

QStringList widestCellTexts(const GridColumn& column, const QString& uncalibrated)
{
    const QString dash = QStringLiteral("---");
    switch (column.show) {
    case CellShow::Plain:
        return {column.widestPlain};
    case CellShow::Date:
        return {QStringLiteral("00/00/0000")};
    case CellShow::Level:
        return {QStringLiteral("000.0"), QStringLiteral("UND"), QStringLiteral("UP"), dash};
    case CellShow::LevelNoUnder:
        return {QStringLiteral("000.0"), QStringLiteral("UP"), dash};
    case CellShow::Limit:
        return {QStringLiteral("000"), dash};
    case CellShow::Uncalibrated:
        return {QStringLiteral("000"), uncalibrated};
    case CellShow::Flag:
        return {};
    }
    return {};
}

RecordGridModel::RecordGridModel(Database& database, RecordGrid grid, const Translator& translator, QObject* parent)
    : QAbstractTableModel(parent), store_(database), grid_(grid), translator_(translator), columns_(gridColumns(grid))
{
    keys_ = columns_.front().sortKeys;
    retranslate();
}

void RecordGridModel::retranslate()
{
    headings_.clear();
    for (const GridColumn& c : columns_) {
        QString text = c.headingId ? translator_.text(c.headingId) : QString::fromUtf8(c.literal);
        if (c.unitLine)
            text += QLatin1Char('\r') + QString::fromLatin1(c.unitLine);
        headings_ << headingForDisplay(text);
    }
    uncalibrated_ = translator_.text(111);
    if (!columns_.isEmpty())
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (loaded_ && !ids_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

Status RecordGridModel::load(qint32 serial)
{
    serial_ = serial;
    loaded_ = true;
    return query(columns_.front().sortKeys, true);
}

void RecordGridModel::clear()
{
    beginResetModel();
    loaded_ = false;
    serial_ = 0;
    ids_.clear();
    pages_.clear();
    endResetModel();
}

Status RecordGridModel::reload()
{
    return loaded_ ? query(keys_, descending_) : Status();
}

Status RecordGridModel::sortByColumn(int column)
{
    if (column < 0 || column >= columnCount())
        return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("no column %1").arg(column));
    // Every key takes the new direction.
    return query(columns_[column].sortKeys, !descending_);
}

Status RecordGridModel::query(const QStringList& keys, bool descending)
{
    // A key the table lacks changes nothing; a failed read leaves no rows.
    for (const QString& key : keys)
        if (!schemaTable(recordTable(gridKind(grid_)))->column(key))
            return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("no column %1").arg(key));
    Result<std::vector<qint64>> ids = store_.rowIds(gridKind(grid_), serial_, keys, descending);
    beginResetModel();
    keys_ = keys;
    descending_ = descending;
    pages_.clear();
    ids_ = ids ? std::move(*ids) : std::vector<qint64>();
    endResetModel();
    return ids.status();
}

const RecordGridModel::Page* RecordGridModel::page(int index) const
{
    auto it = pages_.find(index);
    if (it != pages_.end()) {
        it->lastUse = ++uses_;
        return &*it;
    }
    const int first = index * kPageRows;
    const int count = std::min<int>(kPageRows, int(ids_.size()) - first);
    if (count <= 0)
        return nullptr;
    QStringList fields;
    for (const GridColumn& c : columns_)
        fields << c.field;
    const std::vector<qint64> ids(ids_.begin() + first, ids_.begin() + first + count);
    Result<std::vector<QVector<QVariant>>> read = store_.rowsById(gridKind(grid_), fields, ids);
    pageRead_ = read.status();
    if (!read)
        return nullptr;
    Page p;
    p.rows = QVector<QVector<QVariant>>(read->begin(), read->end());
    if (pages_.size() >= kCachedPages) {
        auto oldest = std::min_element(pages_.begin(), pages_.end(),
                                       [](const Page& a, const Page& b) { return a.lastUse < b.lastUse; });
        pages_.erase(oldest);
    }
    p.lastUse = ++uses_;
    return &*pages_.insert(index, std::move(p));
}

const QVector<QVariant>* RecordGridModel::rowValues(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    const Page* p = page(row / kPageRows);
    if (!p)
        return nullptr;
    const QVector<QVariant>& values = p->rows[row % kPageRows];
    return values.isEmpty() ? nullptr : &values;
}

int RecordGridModel::columnOf(const QString& field) const
{
    for (int c = 0; c < columns_.size(); ++c)
        if (columns_[c].field.compare(field, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

QStringList RecordGridModel::widestTexts(int column) const
{
    if (column < 0 || column >= columns_.size())
        return {};
    return widestCellTexts(columns_[column], uncalibrated_);
}

QVariant RecordGridModel::storedValue(int row, int column) const
{
    const QVector<QVariant>* values = rowValues(row);
    if (!values || column < 0 || column >= values->size())
        return {};
    return values->at(column);
}

int RecordGridModel::cachedRows() const
{
    int rows = 0;
    for (const Page& p : pages_)
        rows += int(p.rows.size());
    return rows;
}

int RecordGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(ids_.size());
}

int RecordGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant RecordGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const GridColumn& c = columns_[index.column()];
    if (role == Qt::DisplayRole)
        return cellText(c.show, storedValue(index.row(), index.column()), uncalibrated_);
    if (role == Qt::TextAlignmentRole && (c.show != CellShow::Plain || c.numeric))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant RecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headings_.size())
        return headings_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace tvq52
