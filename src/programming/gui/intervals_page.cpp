#include "programming/gui/intervals_page.h"

#include "programming/gui/field_rules.h"
#include "programming/interval_grid_model.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// Grid cells edit with the masks of their column.
class IntervalDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setInputMask(index.column() % 2 == 1 ? QStringLiteral("99/99/99;_") : QStringLiteral("99:99;_"));
        return editor;
    }
};

} // namespace

IntervalsPage::IntervalsPage(ProgIntervals& intervals, FieldRules& rules, std::function<void(int)> showMessage,
                             QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    model = new IntervalGridModel(intervals, this);
    model->setHeaders({QStringLiteral("Nº"), QStringLiteral("Día inicio"), QStringLiteral("Hora inicio"),
                       QStringLiteral("Día final"), QStringLiteral("Hora final")});
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("TDBGrid1"));
    grid->setModel(model);
    grid->setItemDelegate(new IntervalDelegate(grid));
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    layout->addWidget(grid);
    connect(model, &IntervalGridModel::edited, this, [&rules] { rules.markEdited(); });
    // The message comes once the refused edit has been undone.
    connect(model, &IntervalGridModel::messageRaised, this, std::move(showMessage), Qt::QueuedConnection);
}

void IntervalsPage::reload()
{
    model->reload();
}

} // namespace tvq52
