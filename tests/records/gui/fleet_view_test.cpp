#include "core/own_words.h"
#include "fleet_rows.h"
#include "i18n/loc_guru.h"
#include "records/gui/fleet_model.h"
#include "records/gui/fleet_view.h"
#include "support/key_presses.h"
#include "support/started_program.h"

#include <QBrush>
#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// A double click as the mouse makes it: pressed and released, then again.
void doubleClick(QWidget* widget, const QPoint& at)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// A view over hand-made rows that notes what it was asked to open.
class FleetViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view_ = std::make_unique<FleetView>(guru_, [this](const FleetOptions& options) -> Result<std::vector<FleetUnit>> {
            ++loads_;
            lastStaleDays_ = options.staleDays;
            if (failure_)
                return *failure_;
            return rows_;
        });
        const auto note = [this](const char* what) {
            return [this, what](qint32 serial) { opened_ += QStringLiteral("%1 %2").arg(QString::fromLatin1(what)).arg(serial); };
        };
        view_->setOpeners({note("data"), note("programming"), note("graph"), note("reports"), note("download")});
        view_->resize(1000, 500);
    }

    void showView()
    {
        view_->show();
        settle();
    }

    QLabel* hint() const { return view_->findChild<QLabel*>(QStringLiteral("LbSinAparatos")); }
    bool tableShown() const { return view_->findChild<QStackedWidget*>()->currentWidget() == view_->table(); }
    QString count() const { return view_->findChild<QLabel*>(QStringLiteral("LbCuentaAparatos"))->text(); }

    LocGuru guru_;
    std::vector<FleetUnit> rows_ = smallOffice();
    std::optional<Error> failure_;
    int loads_ = 0;
    int lastStaleDays_ = 0;
    QStringList opened_;
    std::unique_ptr<FleetView> view_;
};

TEST_F(FleetViewTest, LoadsOnFirstShowAndCountsUnitsAndThoseNeedingAttention)
{
    EXPECT_EQ(loads_, 0) << "nothing is read before the view is shown";
    showView();
    EXPECT_EQ(loads_, 1);
    EXPECT_EQ(lastStaleDays_, 30);
    EXPECT_TRUE(tableShown());
    EXPECT_EQ(view_->table()->model()->rowCount(), 6);
    EXPECT_EQ(count(), QStringLiteral("6 aparatos, 4 necesitan atención"));
    // The rows' own order stands, and the header says what it is sorted by.
    EXPECT_EQ(view_->serialOnRow(0), 5005);
    EXPECT_EQ(view_->serialOnRow(5), 6006);
    EXPECT_TRUE(view_->table()->horizontalHeader()->isSortIndicatorShown());
    EXPECT_EQ(view_->table()->horizontalHeader()->sortIndicatorSection(), FleetModel::Reasons);

    rows_ = {fleetUnit(1001, QStringLiteral("Café Central"), 3, {FleetReason::Stale})};
    view_->findChild<QToolButton*>(QStringLiteral("CommandActualizarAparatos"))->click();
    EXPECT_EQ(loads_, 2);
    EXPECT_EQ(count(), QStringLiteral("1 aparato, 1 necesita atención"));
}

TEST_F(FleetViewTest, AnEmptyOfficeAFilterWithoutMatchesAndAFailedLoadEachSayWhy)
{
    rows_.clear();
    showView();
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->isVisible());
    EXPECT_TRUE(hint()->text().startsWith(QStringLiteral("No hay aparatos guardados"))) << hint()->text().toStdString();
    EXPECT_EQ(count(), QStringLiteral("0 aparatos, 0 necesitan atención"));

    rows_ = smallOffice();
    view_->refresh();
    EXPECT_TRUE(tableShown());
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->setText(QStringLiteral("nadie"));
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->text().startsWith(QStringLiteral("Ningún aparato coincide"))) << hint()->text().toStdString();
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->clear();
    EXPECT_TRUE(tableShown());

    failure_ = ownWords(QStringLiteral("No se puede leer la base de datos"));
    EXPECT_FALSE(view_->refresh());
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->text().contains(QStringLiteral("No se puede leer la base de datos")))
        << hint()->text().toStdString();
    failure_.reset();
    EXPECT_TRUE(view_->refresh());
    EXPECT_TRUE(tableShown());
}

TEST_F(FleetViewTest, TheFilterComboAndSearchFieldNarrowTheTable)
{
    showView();
    auto* filter = view_->findChild<QComboBox*>(QStringLiteral("ComboFiltroAparatos"));
    ASSERT_EQ(filter->count(), 5);
    EXPECT_EQ(filter->itemText(0), QStringLiteral("Todos los aparatos"));
    const int rowsFor[] = {6, 4, 2, 1, 1};
    for (int i = 0; i < filter->count(); ++i) {
        filter->setCurrentIndex(i);
        EXPECT_EQ(view_->table()->model()->rowCount(), rowsFor[i]) << filter->itemText(i).toStdString();
    }
    filter->setCurrentIndex(1);
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->setText(QStringLiteral("luna"));
    ASSERT_EQ(view_->table()->model()->rowCount(), 1);
    EXPECT_EQ(view_->serialOnRow(0), 4004);
    // A refresh keeps both.
    view_->refresh();
    EXPECT_EQ(view_->table()->model()->rowCount(), 1);
}

TEST_F(FleetViewTest, CtrlFTakesTheFocusToTheSearchField)
{
    showView();
    view_->activateWindow();
    QApplication::setActiveWindow(view_.get());
    view_->table()->setFocus();
    settle();
    auto* search = view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"));
    search->setText(QStringLiteral("sol"));
    ASSERT_FALSE(search->hasFocus());
    keyInto(view_.get(), Qt::Key_F, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(search->hasFocus());
    EXPECT_EQ(search->selectedText(), QStringLiteral("sol")) << "typing replaces the last search";
}

TEST_F(FleetViewTest, TheStaleDaysGoToTheLoaderAndAreAnnounced)
{
    showView();
    QList<int> announced;
    QObject::connect(view_.get(), &FleetView::staleDaysChanged, [&](int days) { announced += days; });
    auto* spin = view_->findChild<QSpinBox*>(QStringLiteral("SpinDiasSinLeer"));
    spin->setValue(45);
    EXPECT_EQ(view_->staleDays(), 45);
    EXPECT_EQ(lastStaleDays_, 45);
    EXPECT_EQ(loads_, 2);
    EXPECT_EQ(announced, QList<int>{45});
}

TEST_F(FleetViewTest, DoubleClickAndTheMenuOpenTheirWindowForTheUnitOnTheRow)
{
    showView();
    QTableView* table = view_->table();
    // Sorted by serial the second row is 2002, whatever the urgency order was.
    table->sortByColumn(FleetModel::Serial, Qt::AscendingOrder);
    const QRect cell = table->visualRect(table->model()->index(1, FleetModel::Venue));
    doubleClick(table->viewport(), cell.center());
    EXPECT_EQ(opened_, QStringList{QStringLiteral("data 2002")});

    const QStringList entries = {QStringLiteral("Datos registrados"), QStringLiteral("Programación"),
                                 QStringLiteral("Gráfica"), QStringLiteral("Informes"), QStringLiteral("Descargar")};
    const QStringList expected = {QStringLiteral("data 3003"), QStringLiteral("programming 3003"),
                                  QStringLiteral("graph 3003"), QStringLiteral("reports 3003"),
                                  QStringLiteral("download 3003")};
    const QRect third = table->visualRect(table->model()->index(2, FleetModel::Phone));
    for (const QString& entry : entries) {
        opened_.clear();
        QStringList offered;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* a : menu->actions()) {
                offered += a->text();
                if (a->text() == entry)
                    menu->setActiveAction(a);
            }
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        emit table->customContextMenuRequested(third.center());
        EXPECT_EQ(offered, entries);
        EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 2);
        EXPECT_EQ(opened_, QStringList{expected[entries.indexOf(entry)]}) << entry.toStdString();
    }
    // Below the last row there is no unit to offer anything for.
    opened_.clear();
    view_->openForRow(99, FleetView::Action::Download);
    EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(FleetViewTest, ARefreshKeepsTheSelectedUnitWhereverItsRowMoves)
{
    showView();
    view_->table()->selectRow(4); // 1001
    ASSERT_EQ(view_->serialOnRow(4), 1001);
    rows_.insert(rows_.begin(), tampered(9009, QStringLiteral("Nuevo")));
    view_->refresh();
    const QModelIndexList selected = view_->table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(view_->serialOnRow(selected.front().row()), 1001);
    EXPECT_EQ(selected.front().row(), 5);
}


QString text(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

QList<qint32> serials(const FleetFilterModel& proxy)
{
    QList<qint32> out;
    for (int row = 0; row < proxy.rowCount(); ++row)
        out += proxy.serialAt(row);
    return out;
}

class FleetModelTest : public ::testing::Test {
protected:
    void expectRow(int row, std::initializer_list<std::pair<int, const char*>> cells)
    {
        for (const auto& [column, shown] : cells)
            EXPECT_EQ(text(model_, row, column), QString::fromUtf8(shown)) << "row " << row << ", column " << column;
    }
    LocGuru guru_; // no language open: the native texts
    FleetModel model_{guru_};
};

TEST_F(FleetModelTest, ANeverDownloadedUnitSaysNeverAndLeavesItsCountsBlank)
{
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo"))});
    ASSERT_EQ(model_.rowCount(), 1);
    EXPECT_EQ(model_.columnCount(), FleetModel::ColumnCount);
    expectRow(0, {{FleetModel::Serial, "2002"}, {FleetModel::Venue, "Sala Apolo"}, {FleetModel::Phone, "93 555 2002"},
                  {FleetModel::LastDownload, "Nunca"}, {FleetModel::Outcome, ""}, {FleetModel::DaysSince, ""},
                  {FleetModel::RecordsStored, ""}, {FleetModel::Journal, "Sin comprobar"},
                  {FleetModel::Reasons, "Sin leer hace tiempo"}});
    // Never read is the longest wait: it sorts past every count of days.
    FleetUnit read = fleetUnit(1, QStringLiteral("x"));
    read.daysSinceDownload = 4000;
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo")), read});
    EXPECT_GT(model_.data(model_.index(0, FleetModel::DaysSince), FleetModel::SortRole).toInt(),
              model_.data(model_.index(1, FleetModel::DaysSince), FleetModel::SortRole).toInt());
    EXPECT_LT(model_.data(model_.index(0, FleetModel::LastDownload), FleetModel::SortRole).toLongLong(),
              model_.data(model_.index(1, FleetModel::LastDownload), FleetModel::SortRole).toLongLong());
}

TEST_F(FleetModelTest, ATamperedUnitShowsItsCountsAndReasonsMarked)
{
    model_.setUnits({tampered(5005, QStringLiteral("Discoteca Sol")), fleetUnit(1001, QStringLiteral("Café Central"))});
    expectRow(0, {{FleetModel::LastDownload, "2026-11-20"}, {FleetModel::Outcome, "Parada"},
                  {FleetModel::DaysSince, "17"}, {FleetModel::RecordsStored, "120"}, {FleetModel::Erasures, "2"},
                  {FleetModel::BatteryEnds, "0"}, {FleetModel::Reprogrammings, "1"},
                  {FleetModel::ReprogrammedElsewhere, "Sí"}, {FleetModel::Journal, "No"},
                  {FleetModel::Reasons, "Memoria borrada, Reprogramado, Diario alterado"}});
    EXPECT_EQ(text(model_, 0, FleetModel::LastDownload, Qt::ToolTipRole), QStringLiteral("2026-11-20 09:30"));
    EXPECT_EQ(text(model_, 0, FleetModel::Reasons, Qt::ToolTipRole), text(model_, 0, FleetModel::Reasons));
    // The plain unit beside it: nothing marked, nothing to say.
    expectRow(1, {{FleetModel::Outcome, "Completada"}, {FleetModel::ReprogrammedElsewhere, "No"},
                  {FleetModel::Journal, "Sí"}, {FleetModel::Reasons, ""}});

    const auto marked = [&](int row, int column) {
        return model_.data(model_.index(row, column), Qt::ForegroundRole).canConvert<QBrush>();
    };
    for (int column : {FleetModel::Erasures, FleetModel::Reprogrammings, FleetModel::ReprogrammedElsewhere,
                       FleetModel::Journal, FleetModel::Reasons}) {
        EXPECT_TRUE(marked(0, column)) << column;
        EXPECT_FALSE(marked(1, column)) << column;
    }
    EXPECT_FALSE(marked(0, FleetModel::BatteryEnds)) << "no battery end to mark";
    EXPECT_FALSE(model_.data(model_.index(0, FleetModel::Serial), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model_.data(model_.index(1, FleetModel::Serial), Qt::DecorationRole).isValid());
    EXPECT_EQ(model_.needingAttention(), 1);
}

TEST_F(FleetModelTest, HeadingsAreNamedAndTheShortOnesExplained)
{
    EXPECT_EQ(model_.headerData(FleetModel::Serial, Qt::Horizontal).toString(), QStringLiteral("Nº de serie"));
    EXPECT_EQ(model_.headerData(FleetModel::Reasons, Qt::Horizontal).toString(), QStringLiteral("Motivos"));
    EXPECT_EQ(model_.headerData(FleetModel::Erasures, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("Borrados de memoria desde la descarga anterior"));
    for (int column = 0; column < FleetModel::ColumnCount; ++column)
        EXPECT_FALSE(model_.headerData(column, Qt::Horizontal).toString().isEmpty()) << column;
}

TEST_F(FleetModelTest, FilterModesPickTheirUnits)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        FleetFilter filter;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {FleetFilter::All, {5005, 4004, 3003, 2002, 1001, 6006}},
        {FleetFilter::Attention, {5005, 4004, 3003, 2002}},
        {FleetFilter::Tamper, {5005, 4004}},
        {FleetFilter::Stale, {2002}},
        {FleetFilter::Exceedances, {3003}},
    };
    for (const Case& c : cases) {
        proxy.setFilter(c.filter);
        EXPECT_EQ(proxy.filter(), c.filter);
        EXPECT_EQ(serials(proxy), c.shown) << int(c.filter);
    }
}

TEST_F(FleetModelTest, SearchFindsSerialVenueAndTelephoneWithinTheFilter)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        const char* search;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {"300", {3003}},
        {"sol", {5005}},            // venue, any case
        {"  PUERTO ", {6006}},      // trimmed
        {"93 555 4004", {4004}},    // the telephone as written
        {"935554004", {4004}},      // and without its spaces
        {"café", {1001}},
        {"nadie", {}},
        {"", {5005, 4004, 3003, 2002, 1001, 6006}},
    };
    for (const Case& c : cases) {
        proxy.setSearch(QString::fromUtf8(c.search));
        EXPECT_EQ(serials(proxy), c.shown) << c.search;
    }
    // The search narrows the filter, never widens it.
    proxy.setSearch(QStringLiteral("0"));
    proxy.setFilter(FleetFilter::Tamper);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004}));
    proxy.setSearch(QStringLiteral("Central"));
    EXPECT_TRUE(serials(proxy).isEmpty());
}

TEST_F(FleetModelTest, SortingByReasonsKeepsTheUrgencyOrderAndOtherColumnsSortByValue)
{
    std::vector<FleetUnit> units = smallOffice();
    // Two more without reasons: the loader put them by serial.
    units.push_back(fleetUnit(7007, QStringLiteral("Zeta")));
    units.push_back(fleetUnit(8008, QStringLiteral("Alfa")));
    model_.setUnits(units);
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    proxy.sort(FleetModel::Reasons, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004, 3003, 2002, 1001, 6006, 7007, 8008}));

    proxy.sort(FleetModel::Serial, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{1001, 2002, 3003, 4004, 5005, 6006, 7007, 8008}));
    proxy.sort(FleetModel::Venue, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy).front(), 8008);
    EXPECT_EQ(serials(proxy).back(), 7007);
    // Numbers as numbers: 12 nights before 6 when sorted down.
    units[0].exceedanceNights = 12;
    model_.setUnits(units);
    proxy.sort(FleetModel::ExceedanceNights, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy).mid(0, 2), (QList<qint32>{5005, 3003}));
}

} // namespace
