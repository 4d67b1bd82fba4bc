#include "records/gui/fleet_model.h"

#include "i18n/translator.h"
#include "records/outcome_text.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QStyle>
#include <algorithm>
#include <limits>

namespace tvq52 {

namespace {

// Headings, with the tip that says what a short one counts.
struct Heading {
    const char* text;
    const char* tip;
};
const Heading kHeadings[FleetModel::ColumnCount] = {
    {"Nº de serie", nullptr},
    {"Local", nullptr},
    {"Motivos", "Por qué el aparato necesita atención"},
    {"Última descarga", nullptr},
    {"Días", "Días desde la última descarga"},
    {"Resultado", nullptr},
    {"Borrados", "Borrados de memoria desde la descarga anterior"},
    {"Fin batería", "Finales de batería desde la descarga anterior"},
    {"Reprogr.", "Reprogramaciones desde la descarga anterior"},
    {"Otra oficina", "Reprogramado después de la última transmisión de esta oficina"},
    {"Excesos", "Noches con el límite superado en los últimos 30 días"},
    {"Diario", "El diario del aparato se ha comprobado y es correcto"},
    {"Registros", "Registros guardados en la última descarga"},
    {"Teléfono", nullptr},
    {"Versión", nullptr},
};

bool hasReason(const FleetUnit& unit, FleetReason reason)
{
    return std::find(unit.reasons.begin(), unit.reasons.end(), reason) != unit.reasons.end();
}

bool hasTamperReason(const FleetUnit& unit)
{
    return std::any_of(unit.reasons.begin(), unit.reasons.end(), isTamperReason);
}

// Only digits, so that "93 555 12 34" is found by "935551234".
QString digitsOf(const QString& text)
{
    QString digits;
    for (const QChar c : text)
        if (c.isDigit())
            digits += c;
    return digits;
}

const QColor kTamperColour(0xb0, 0x00, 0x20);
const QColor kNoticeColour(0x9a, 0x5b, 0x00);

} // namespace

QString fleetReasonText(const Translator& translator, FleetReason reason)
{
    switch (reason) {
    case FleetReason::Erased:
        return translator.translate(QStringLiteral("Memoria borrada"));
    case FleetReason::Battery:
        return translator.translate(QStringLiteral("Batería agotada"));
    case FleetReason::Reprogrammed:
        return translator.translate(QStringLiteral("Reprogramado"));
    case FleetReason::Journal:
        return translator.translate(QStringLiteral("Diario alterado"));
    case FleetReason::Stale:
        return translator.translate(QStringLiteral("Sin leer hace tiempo"));
    case FleetReason::Exceedances:
        return translator.translate(QStringLiteral("Noches con exceso"));
    }
    return {};
}

bool isTamperReason(FleetReason reason)
{
    return reason == FleetReason::Erased || reason == FleetReason::Battery || reason == FleetReason::Reprogrammed
        || reason == FleetReason::Journal;
}

FleetModel::FleetModel(const Translator& translator, QObject* parent) : QAbstractTableModel(parent), translator_(translator) {}

void FleetModel::setUnits(std::vector<FleetUnit> units)
{
    beginResetModel();
    units_ = std::move(units);
    endResetModel();
}

int FleetModel::needingAttention() const
{
    return int(std::count_if(units_.begin(), units_.end(), [](const FleetUnit& u) { return u.urgency > 0; }));
}

int FleetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(units_.size());
}

int FleetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FleetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const FleetUnit& unit = units_[std::size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(unit, column);
    case SortRole:
        return sortValue(unit, column);
    case Qt::ForegroundRole:
        return foreground(unit, column);
    case Qt::TextAlignmentRole:
        switch (column) {
        case Serial:
        case DaysSince:
        case Erasures:
        case BatteryEnds:
        case Reprogrammings:
        case ExceedanceNights:
        case RecordsStored:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
        }
    case Qt::DecorationRole:
        // The mark a glance down the first column finds.
        if (column == Serial && unit.urgency > 0)
            return QApplication::style()->standardIcon(hasTamperReason(unit) ? QStyle::SP_MessageBoxWarning
                                                                               : QStyle::SP_MessageBoxInformation);
        return {};
    case Qt::ToolTipRole:
        if (column == Reasons || column == Venue)
            return display(unit, column);
        // The day alone is shown; the hour is there for who asks.
        if (column == LastDownload && unit.lastDownload)
            return unit.lastDownload->toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        return {};
    default:
        return {};
    }
}

QVariant FleetModel::display(const FleetUnit& unit, int column) const
{
    const QString yes = translator_.translate(QStringLiteral("Sí"));
    const QString no = translator_.translate(QStringLiteral("No"));
    switch (column) {
    case Serial:
        return QString::number(unit.serial);
    case Venue:
        return unit.venue;
    case Phone:
        return unit.phone;
    case Firmware:
        return unit.firmware;
    case LastDownload:
        if (!unit.lastDownload)
            return translator_.translate(QStringLiteral("Nunca"));
        return unit.lastDownload->toString(QStringLiteral("yyyy-MM-dd"));
    case Outcome:
        return journalOutcomeText(translator_, unit.lastOutcome);
    case DaysSince:
        return unit.daysSinceDownload ? QString::number(*unit.daysSinceDownload) : QString();
    case RecordsStored:
        return unit.lastDownload ? QString::number(unit.recordsStored) : QString();
    case Erasures:
        return QString::number(unit.erasuresSincePrevious);
    case BatteryEnds:
        return QString::number(unit.batteryEndsSincePrevious);
    case Reprogrammings:
        return QString::number(unit.reprogrammingsSincePrevious);
    case ReprogrammedElsewhere:
        return unit.reprogrammedElsewhere ? yes : no;
    case ExceedanceNights:
        return QString::number(unit.exceedanceNights);
    case Journal:
        if (!unit.journalCheckedAt)
            return translator_.translate(QStringLiteral("Sin comprobar"));
        return unit.journalOk ? yes : no;
    case Reasons: {
        QStringList words;
        for (const FleetReason reason : unit.reasons)
            words += fleetReasonText(translator_, reason);
        return words.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

QVariant FleetModel::sortValue(const FleetUnit& unit, int column)
{
    switch (column) {
    case Serial:
        return unit.serial;
    case Venue:
        return unit.venue.toCaseFolded();
    case Phone:
        return unit.phone;
    case Firmware:
        return unit.firmware;
    case LastDownload:
        // Never read sorts before the oldest download.
        return unit.lastDownload ? unit.lastDownload->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    case Outcome:
        return unit.lastOutcome;
    case DaysSince:
        return unit.daysSinceDownload ? *unit.daysSinceDownload : std::numeric_limits<int>::max();
    case RecordsStored:
        return unit.recordsStored;
    case Erasures:
        return unit.erasuresSincePrevious;
    case BatteryEnds:
        return unit.batteryEndsSincePrevious;
    case Reprogrammings:
        return unit.reprogrammingsSincePrevious;
    case ReprogrammedElsewhere:
        return int(unit.reprogrammedElsewhere);
    case ExceedanceNights:
        return unit.exceedanceNights;
    case Journal:
        // A failed check first when sorted down, then not checked, then good.
        return !unit.journalCheckedAt ? 1 : unit.journalOk ? 0 : 2;
    case Reasons:
        return unit.urgency;
    default:
        return {};
    }
}

QVariant FleetModel::foreground(const FleetUnit& unit, int column) const
{
    const bool tamperCount = (column == Erasures && unit.erasuresSincePrevious > 0)
        || (column == BatteryEnds && unit.batteryEndsSincePrevious > 0)
        || (column == Reprogrammings && unit.reprogrammingsSincePrevious > 0)
        || (column == ReprogrammedElsewhere && unit.reprogrammedElsewhere)
        || (column == Journal && unit.journalCheckedAt && !unit.journalOk);
    if (tamperCount || (column == Reasons && hasTamperReason(unit)))
        return QBrush(kTamperColour);
    if ((column == Reasons && !unit.reasons.empty()) || (column == DaysSince && hasReason(unit, FleetReason::Stale))
        || (column == ExceedanceNights && hasReason(unit, FleetReason::Exceedances)))
        return QBrush(kNoticeColour);
    return {};
}

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    const Heading& h = kHeadings[section];
    if (role == Qt::DisplayRole)
        return translator_.translate(QString::fromUtf8(h.text));
    if (role == Qt::ToolTipRole && h.tip)
        return translator_.translate(QString::fromUtf8(h.tip));
    return {};
}

FleetFilterModel::FleetFilterModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(FleetModel::SortRole);
    // Filtering again keeps the order the user chose.
    setDynamicSortFilter(true);
}

void FleetFilterModel::setFilter(FleetFilter filter)
{
    if (filter == filter_)
        return;
    filter_ = filter;
    invalidateRowsFilter();
}

void FleetFilterModel::setSearch(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == search_)
        return;
    search_ = trimmed;
    invalidateRowsFilter();
}

qint32 FleetFilterModel::serialAt(int row) const
{
    const FleetModel* model = fleet();
    const QModelIndex source = mapToSource(index(row, 0));
    return model && source.isValid() ? model->unit(source.row()).serial : 0;
}

const FleetModel* FleetFilterModel::fleet() const
{
    return qobject_cast<const FleetModel*>(sourceModel());
}

bool FleetFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const FleetModel* model = fleet();
    if (!model || sourceParent.isValid())
        return false;
    return fleetUnitShown(model->unit(sourceRow), filter_, search_);
}

bool fleetUnitShown(const FleetUnit& unit, FleetFilter filter, const QString& search)
{
    switch (filter) {
    case FleetFilter::All:
        break;
    case FleetFilter::Attention:
        if (unit.urgency <= 0)
            return false;
        break;
    case FleetFilter::Tamper:
        if (!hasTamperReason(unit))
            return false;
        break;
    case FleetFilter::Stale:
        if (!hasReason(unit, FleetReason::Stale))
            return false;
        break;
    case FleetFilter::Exceedances:
        if (!hasReason(unit, FleetReason::Exceedances))
            return false;
        break;
    }
    const QString needle = search.trimmed();
    if (needle.isEmpty())
        return true;
    if (QString::number(unit.serial).contains(needle) || unit.venue.contains(needle, Qt::CaseInsensitive)
        || unit.phone.contains(needle, Qt::CaseInsensitive))
        return true;
    const QString digits = digitsOf(needle);
    return !digits.isEmpty() && digits.size() == needle.size() - needle.count(QLatin1Char(' '))
        && digitsOf(unit.phone).contains(digits);
}

} // namespace tvq52
