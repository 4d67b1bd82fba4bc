#pragma once

#include "programming/interval_rules.h"

#include <QAbstractTableModel>

namespace tvq52 {

// The 30 non-working intervals as a five-column table: the interval number
// (read-only), start day, start time, end day, end time. Edits go through the
// grid rules; the window shows the messages they raise.
class IntervalGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit IntervalGridModel(ProgIntervals& intervals, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Column headings can be replaced, as the translation does.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    void setHeaders(const QStringList& headers);
    // The intervals were replaced from outside (a load or a new record).
    void reload();

signals:
    // An edit was refused (the cell keeps its value) or accepted with a warning.
    void messageRaised(int catalogueId);
    void edited();

private:
    ProgIntervals& intervals_;
    QStringList headers_;
};

} // namespace tvq52
