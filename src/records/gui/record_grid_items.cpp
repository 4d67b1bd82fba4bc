#include "records/gui/record_grid_items.h"

#include <QBrush>
#include <QColor>
#include <QPainter>

namespace tvq52 {

namespace {

QColor colourOf(const GridColour& c)
{
    return QColor(c.r, c.g, c.b);
}

QPixmap drawFlag(bool on)
{
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    if (on) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(30, 140, 60));
        painter.drawEllipse(QRectF(1, 1, 12, 12));
        painter.setPen(QPen(Qt::white, 2));
        painter.drawPolyline(QPolygonF({QPointF(4, 7), QPointF(6, 10), QPointF(10, 4)}));
    } else {
        painter.setPen(QPen(QColor(120, 120, 120), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(2, 2, 10, 10));
    }
    return p;
}

} // namespace

RecordGridItems::RecordGridItems(Database& database, RecordGrid grid, const Translator& translator, QObject* parent)
    : RecordGridModel(database, grid, translator, parent)
{}

QPixmap RecordGridItems::flagPicture(bool on)
{
    static const QPixmap yes = drawFlag(true);
    static const QPixmap no = drawFlag(false);
    return on ? yes : no;
}

QVariant RecordGridItems::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const GridColumn& c = columnDef(index.column());
    if (role == Qt::BackgroundRole && c.cell.isSet())
        return QBrush(colourOf(c.cell));
    if (role == Qt::DecorationRole && c.show == CellShow::Flag) {
        const QVariant v = storedValue(index.row(), index.column());
        if (v.isNull())
            return {};
        return flagPicture(v.toBool());
    }
    return RecordGridModel::data(index, role);
}

QVariant RecordGridItems::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::BackgroundRole && section >= 0 && section < columnCount()) {
        const GridColour& c = columnDef(section).heading;
        if (c.isSet())
            return QBrush(colourOf(c));
        return {};
    }
    return RecordGridModel::headerData(section, orientation, role);
}

} // namespace tvq52
