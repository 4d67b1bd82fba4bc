#include "programming/interval_grid_model.h"

namespace tvq52 {

IntervalGridModel::IntervalGridModel(ProgIntervals& intervals, QObject* parent)
    : QAbstractTableModel(parent), intervals_(intervals)
{}

int IntervalGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kIntervalCount;
}

int IntervalGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

QVariant IntervalGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    const NonWorkingInterval& i = intervals_[index.row()];
    switch (index.column()) {
    case 0:
        return index.row() + 1;
    case 1:
        return i.startDay;
    case 2:
        return i.startTime;
    case 3:
        return i.endDay;
    case 4:
        return i.endTime;
    }
    return {};
}

QVariant IntervalGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return {};
    return section < headers_.size() ? QVariant(headers_[section]) : QVariant();
}

Qt::ItemFlags IntervalGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() > 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool IntervalGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() < 1)
        return false;
    const NonWorkingInterval& before = intervals_[index.row()];
    const QString text = value.toString();
    const QString current = data(index, Qt::EditRole).toString();
    if (text == current)
        return false;
    const IntervalEdit e = editInterval(before, IntervalCell(index.column() - 1), text);
    if (e.accepted && e.row != before) {
        intervals_[index.row()] = e.row;
        emit dataChanged(this->index(index.row(), 1), this->index(index.row(), 4));
        emit edited();
    }
    if (e.messageId)
        emit messageRaised(e.messageId);
    return e.accepted;
}

bool IntervalGridModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0
        || section >= headers_.size())
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

void IntervalGridModel::setHeaders(const QStringList& headers)
{
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, 4);
}

void IntervalGridModel::reload()
{
    beginResetModel();
    endResetModel();
}

} // namespace tvq52
