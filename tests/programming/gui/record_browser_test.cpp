#include "programming/gui/programming_window.h"
#include "support/rows.h"

#include "app/gui/widget_prompter.h"
#include "window_fixture.h"

#include <QAbstractItemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class RecordBrowserTest : public tvq52::test::WindowFixture {
protected:
    void open()
    {
        window_ = std::make_unique<ProgrammingWindow>(*ctx_, prompter_);
        window_->resize(1280, 800);
        activate(window_.get());
    }
    QString shownSerial() { return child<QLineEdit>(window_.get(), "MaskNumeroSerie")->text(); }
    void click(const char* button) { child<QPushButton>(window_.get(), button)->click(); }
    QAbstractItemModel* grid() { return child<QTableView>(window_.get(), "TDBGrid1")->model(); }
    bool editCell(int row, int column, const QString& text)
    {
        const bool ok = grid()->setData(grid()->index(row, column), text);
        settle();
        return ok;
    }
    QStringList gridRow(int row)
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << grid()->index(row, c).data().toString();
        return cells;
    }

    std::unique_ptr<ProgrammingWindow> window_;
};

} // namespace

TEST_F(RecordBrowserTest, CancellingTheSaveQuestionWritesNothing)
{
    storeUnit(5);
    open();
    child<QLineEdit>(window_.get(), "MaskLocal")->setText(QStringLiteral("Otro"));
    prompter_.answer(Answer::Cancel);
    click("SSCommandGrabar");
    EXPECT_EQ(CarregaProgramacio(*store_, 5)->record.venue, QStringLiteral(" "));
    EXPECT_TRUE(window_->isModified());
}

TEST_F(RecordBrowserTest, DeletingTheOnlyRecordLeavesANewRecordWithSerialZero)
{
    storeUnit(321, QStringLiteral("Bar"));
    ASSERT_TRUE(store_->insert(QStringLiteral("DiaReprogramado"), row({{"LNumeroSerie", 321}, {"DFecha", QDate(2010, 1, 1)}, {"THora", "10:00"}})));
    open();
    ASSERT_EQ(shownSerial(), QStringLiteral("321"));
    prompter_.answer(Answer::Ok);
    click("SSCommandBorrar");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{27});
    EXPECT_EQ(shownSerial(), QStringLiteral("0"));
    EXPECT_EQ(child<QLineEdit>(window_.get(), "MaskLocal")->text(), QStringLiteral(" "));
    EXPECT_EQ(store_->count(QStringLiteral("Programacion")), 0);
    EXPECT_EQ(store_->count(QStringLiteral("IntervaloInhabil")), 0);
    EXPECT_EQ(store_->count(QStringLiteral("DiaReprogramado")), 0);
}

TEST_F(RecordBrowserTest, DeleteAsksAndMovesToTheFirstRemainingUnit)
{
    storeUnit(1);
    storeUnit(2);
    storeUnit(3);
    open();
    click("SSCommandSiguiente");
    click("SSCommandSiguiente");
    ASSERT_EQ(shownSerial(), QStringLiteral("3"));
    // Enter on the question keeps the unit: Cancel is its default button.
    click("SSCommandBorrar");
    EXPECT_EQ(store_->count(QStringLiteral("Programacion")), 3);
    const auto box = WidgetPrompter::createMessageBox(prompter_.shown().last(), window_.get());
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    prompter_.answer(Answer::Ok);
    click("SSCommandBorrar");
    EXPECT_EQ(shownSerial(), QStringLiteral("1"));
    EXPECT_EQ(store_->count(QStringLiteral("Programacion")), 2);
}

TEST_F(RecordBrowserTest, SaveAlwaysAsksButPreviousAndNextOnlyWhenModified)
{
    storeUnit(1);
    storeUnit(2);
    open();
    click("SSCommandGrabar");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    prompter_.clear();
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    click("SSCommandSiguiente");   // the last one: beeps and stays
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    click("SSCommandAnterior");
    click("SSCommandAnterior");
    EXPECT_EQ(shownSerial(), QStringLiteral("1"));
    EXPECT_TRUE(prompter_.shown().isEmpty());

    child<QLineEdit>(window_.get(), "MaskContacto")->setText(QStringLiteral("Pau"));
    click("SSCommandSiguiente");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    EXPECT_EQ(CarregaProgramacio(*store_, 1)->record.contact, QStringLiteral("Pau"));
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
}

TEST_F(RecordBrowserTest, IntervalGridFollowsItsEditingRules)
{
    ProgrammingRecord r = storeUnit(9);
    ProgIntervals intervals = unusedIntervals();
    intervals[0] = {QStringLiteral("01/02/10"), QStringLiteral("10:00"), QStringLiteral("05/02/10"), QStringLiteral("10:00")};
    ASSERT_TRUE(GrabaProgramacio(*store_, r, intervals));
    open();
    EXPECT_EQ(gridRow(0), (QStringList{"1", "01/02/10", "10:00", "05/02/10", "10:00"}));
    EXPECT_EQ(gridRow(29).front(), QStringLiteral("30"));

    EXPECT_TRUE(editCell(0, 3, QStringLiteral("01/02/10")));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{24});
    EXPECT_EQ(gridRow(0), (QStringList{"1", "01/02/10", "10:00", "01/02/10", "10:01"}));
    EXPECT_EQ(window_->intervals()[0].endTime, QStringLiteral("10:01"));
    EXPECT_TRUE(window_->isModified());

    prompter_.clear();
    EXPECT_FALSE(editCell(0, 1, QStringLiteral("12/13/10")));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{18});
    EXPECT_EQ(gridRow(0)[1], QStringLiteral("01/02/10"));

    prompter_.clear();
    EXPECT_TRUE(editCell(0, 1, QStringLiteral("00/00/00")));
    EXPECT_TRUE(prompter_.shown().isEmpty());
    EXPECT_EQ(gridRow(0), (QStringList{"1", "00/00/00", "00:00", "00/00/00", "00:00"}));
    EXPECT_TRUE(window_->intervals()[0].isUnused());

    prompter_.answer(Answer::Ok);
    click("SSCommandGrabar");
    EXPECT_TRUE(CarregaProgramacio(*store_, 9)->intervals[0].isUnused());
}
