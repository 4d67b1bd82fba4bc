#pragma once

#include "records/fleet.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <vector>

namespace tvq52 {

class Translator;

// A reason for attention in the language `translator` shows.
QString fleetReasonText(const Translator& translator, FleetReason reason);
// Erasures, battery ends, reprogrammings and a journal that does not verify:
// someone may have meddled with the unit.
bool isTamperReason(FleetReason reason);

// The office's units, one row each, in the order given (the loader sorts
// them by urgency). Texts are made here, from the typed rows, in the
// language of `translator`; the sort role gives the typed value behind a cell.
class FleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What tells whether a unit needs a visit comes first: on a small
    // screen the columns after the reasons scroll.
    enum Column {
        Serial,
        Venue,
        Reasons,
        LastDownload,
        DaysSince,
        Outcome,
        Erasures,
        BatteryEnds,
        Reprogrammings,
        ReprogrammedElsewhere,
        ExceedanceNights,
        Journal,
        RecordsStored,
        Phone,
        Firmware,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole;

    explicit FleetModel(const Translator& translator, QObject* parent = nullptr);

    void setUnits(std::vector<FleetUnit> units);
    const std::vector<FleetUnit>& units() const { return units_; }
    const FleetUnit& unit(int row) const { return units_.at(std::size_t(row)); }
    int needingAttention() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant display(const FleetUnit& unit, int column) const;
    static QVariant sortValue(const FleetUnit& unit, int column);
    QVariant foreground(const FleetUnit& unit, int column) const;

    const Translator& translator_;
    std::vector<FleetUnit> units_;
};

// Which units the overview lists.
enum class FleetFilter { All, Attention, Tamper, Stale, Exceedances };

// The rows of a FleetModel that pass the filter and hold the search text in
// their serial, venue or telephone; sorts on the model's sort role, keeping
// the given order among equals.
class FleetFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit FleetFilterModel(QObject* parent = nullptr);

    void setFilter(FleetFilter filter);
    FleetFilter filter() const { return filter_; }
    void setSearch(const QString& text);
    // The serial of the unit on a row of this model; 0 for none.
    qint32 serialAt(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const FleetModel* fleet() const;

    FleetFilter filter_ = FleetFilter::All;
    QString search_;
};

// Whether `unit` shows under `filter` and matches `search` (empty: all).
bool fleetUnitShown(const FleetUnit& unit, FleetFilter filter, const QString& search);

} // namespace tvq52
