#include "i18n/gui/composite_controls.h"

#include "i18n/gui/access_keys.h"
#include "i18n/gui/button_tips.h"
#include "i18n/heading_lines.h"

#include <QAbstractItemModel>
#include <QAbstractSeries>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

namespace tvq52 {

namespace {

template <typename Get, typename Set> void visitText(const Translator::TextVisitor& visit, Get get, Set set)
{
    const QString text = get();
    if (text.isEmpty())
        return;
    const QString answer = visit(text);
    if (answer != text)
        set(answer);
}

void walkTabs(QTabWidget* tabs, const Translator::TextVisitor& visit)
{
    for (int i = 0; i < tabs->count(); ++i) {
        visitText(
            visit, [&] { return tabs->tabText(i); }, [&](const QString& t) { tabs->setTabText(i, t); });
        visitText(
            visit, [&] { return tabs->tabToolTip(i); }, [&](const QString& t) { tabs->setTabToolTip(i, t); });
    }
}

void walkTabBar(QTabBar* bar, const Translator::TextVisitor& visit)
{
    for (int i = 0; i < bar->count(); ++i) {
        visitText(
            visit, [&] { return bar->tabText(i); }, [&](const QString& t) { bar->setTabText(i, t); });
        visitText(
            visit, [&] { return bar->tabToolTip(i); }, [&](const QString& t) { bar->setTabToolTip(i, t); });
    }
}

// Headings are looked up in their stored form (lines split by CR) and shown
// with LF, so a two-line heading stays on two lines in any language.
void walkHeadings(QAbstractItemModel* model, QHeaderView* header, const Translator::TextVisitor& visit)
{
    if (!model || !header || header->isHidden())
        return;
    for (int column = 0; column < model->columnCount(); ++column) {
        const QString shown = model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        if (shown.isEmpty())
            continue;
        const QString key = headingKey(shown);
        const QString answer = visit(key);
        if (answer == key)
            continue;
        const QString display = headingForDisplay(Translator::convertLineBreaks(answer));
        if (display != shown)
            model->setHeaderData(column, Qt::Horizontal, display, Qt::DisplayRole);
    }
}

void walkChart(QChart* chart, const Translator::TextVisitor& visit)
{
    if (!chart)
        return;
    for (QAbstractSeries* series : chart->series())
        visitText(
            visit, [&] { return series->name(); }, [&](const QString& t) { series->setName(t); });
}

} // namespace

bool walkSpecialControl(QObject* control, const Translator::TextVisitor& visit)
{
    if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
        walkTabs(tabs, visit);
        return true;
    }
    if (auto* bar = qobject_cast<QTabBar*>(control)) {
        // A tab widget's own bar is done with the tab widget.
        if (!qobject_cast<QTabWidget*>(bar->parent()))
            walkTabBar(bar, visit);
        return true;
    }
    if (auto* table = qobject_cast<QTableView*>(control)) {
        walkHeadings(table->model(), table->horizontalHeader(), visit);
        return true;
    }
    if (auto* tree = qobject_cast<QTreeView*>(control)) {
        walkHeadings(tree->model(), tree->header(), visit);
        return true;
    }
    if (auto* chartView = qobject_cast<QChartView*>(control)) {
        walkChart(chartView->chart(), visit);
        return true;
    }
    return false;
}

void installWidgetTranslation(Translator& translator)
{
    translator.setSpecialControlHook(&walkSpecialControl);
    translator.setFormHook([&translator](QObject* form) {
        if (auto* window = qobject_cast<QWidget*>(form)) {
            addButtonTips(window, translator);
            addStandardShortcuts(window);
            setAccessKeys(window);
        }
    });
}

} // namespace tvq52
