#pragma once

#include "records/record_grid_model.h"

#include <QPixmap>

namespace tvq52 {

// A grid model as the window shows it: its colours and the pictures of the
// yes/no columns.
class RecordGridItems : public RecordGridModel {
    Q_OBJECT
public:
    RecordGridItems(Database& database, RecordGrid grid, const Translator& translator, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The pictures of true and false.
    static QPixmap flagPicture(bool on);
};

} // namespace tvq52
