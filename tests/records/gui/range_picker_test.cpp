#include "records/gui/range_picker.h"

#include "i18n/loc_guru.h"
#include "support/key_presses.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class RangePickerTest : public ::testing::Test {
protected:
    void open(const QDateTime& start, const QDateTime& end)
    {
        picker_ = std::make_unique<RangePicker>(guru_, prompter_, start, end);
        picker_->show();
        settle();
    }
    QLineEdit* field(const char* name) { return child<QLineEdit>(picker_.get(), name); }
    void ok() { child<QPushButton>(picker_.get(), "CommandVolver")->click(); }
    MonthCalendar* openStartCalendar()
    {
        child<QToolButton>(picker_.get(), "CalendarioIni")->click();
        return picker_->findChild<MonthCalendar*>();
    }
    // The 42 day cells of the Sunday-first grid.
    static QList<QToolButton*> dayCells(MonthCalendar* calendar)
    {
        QList<QToolButton*> days;
        for (QToolButton* b : calendar->findChildren<QToolButton*>())
            if (b->objectName().isEmpty())
                days << b;
        return days;
    }

    LocGuru guru_;
    ScriptedPrompter prompter_;
    std::unique_ptr<RangePicker> picker_;
};

QDateTime at(int d, int m, int y, int h, int n)
{
    return QDateTime(QDate(y, m, d), QTime(h, n), Qt::UTC);
}

TEST_F(RangePickerTest, OkKeepsTheRangeAsDayMonthYearHourMinuteBytes)
{
    open(at(2, 3, 2010, 14, 20), at(9, 3, 2010, 8, 5));
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("02/03/10 14:20"));
    EXPECT_EQ(field("MaskFechaFi")->text(), QStringLiteral("09/03/10 08:05"));
    field("MaskFechaIni")->setText(QStringLiteral("31/12/09 23:00"));
    field("MaskFechaFi")->setText(QStringLiteral("01/01/10 01:00"));
    ok();
    ASSERT_TRUE(picker_->range().has_value());
    const std::array<std::uint8_t, 10> expected{31, 12, 9, 23, 0, 1, 1, 10, 1, 0};
    EXPECT_EQ(picker_->range()->bytes, expected);
    EXPECT_EQ(picker_->result(), QDialog::Accepted);
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(RangePickerTest, AnEndNotAfterTheStartIsRefusedAndTheWindowStays)
{
    open(at(2, 3, 2010, 14, 20), at(2, 3, 2010, 14, 20));
    ok();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{24});
    EXPECT_EQ(prompter_.shown().value(0).style, MessageStyle::Plain);
    EXPECT_TRUE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());

    prompter_.clear();
    field("MaskFechaFi")->setText(QStringLiteral("31/02/10 10:00"));
    ok();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{18});
    EXPECT_TRUE(picker_->isVisible());
}

TEST_F(RangePickerTest, CancelAndTheCloseBoxLeaveNoRange)
{
    open(at(1, 1, 2010, 0, 0), at(2, 1, 2010, 0, 0));
    picker_->close();
    EXPECT_EQ(picker_->result(), QDialog::Rejected);
    EXPECT_FALSE(picker_->range().has_value());
    open(at(1, 1, 2010, 0, 0), at(2, 1, 2010, 0, 0));
    child<QPushButton>(picker_.get(), "SSCommandCancelar")->click();
    EXPECT_FALSE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());
}

TEST_F(RangePickerTest, TheCalendarNamesComeFromTheCatalogueAndAPickKeepsTheTime)
{
    open(at(31, 12, 2009, 23, 0), at(1, 1, 2010, 1, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    EXPECT_TRUE(calendar->isVisible());
    EXPECT_EQ(calendar->weekdayHeadings(), (QStringList{"Dom", "Lun", "Mar", "Mie", "Jue", "Vie", "Sab"}));
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Diciembre 2009"));
    child<QToolButton>(calendar, "CalendarioSiguiente")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Enero 2010"));
    // January 2010 starts on a Friday: the sixth cell of the Sunday-first grid.
    const QList<QToolButton*> days = dayCells(calendar);
    ASSERT_EQ(days.size(), 42);
    EXPECT_FALSE(days[4]->isEnabled());
    EXPECT_EQ(days[5]->text(), QStringLiteral("1"));
    days[5 + 14]->click();
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("15/01/10 23:00"));
    EXPECT_FALSE(calendar->isVisible());
}

// From 2026 back to 2009 is seventeen clicks of the year step, or as many
// Shift+Page Up; Page Down steps a month.
TEST_F(RangePickerTest, TheCalendarStepsAYearAtATime)
{
    open(at(10, 3, 2026, 8, 0), at(20, 3, 2026, 9, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2026"));
    auto* back = child<QToolButton>(calendar, "CalendarioAnteriorAno");
    EXPECT_FALSE(back->toolTip().isEmpty());
    for (int i = 0; i < 10; ++i)
        back->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2016"));
    for (int i = 0; i < 7; ++i)
        test::keyInto(calendar, Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2009"));
    test::keyInto(calendar, Qt::Key_PageDown);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Abril 2009"));
    child<QToolButton>(calendar, "CalendarioSiguienteAno")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Abril 2010"));
    test::keyInto(calendar, Qt::Key_PageUp);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2010"));
}

// The request carries two-digit years, 1950 to 2049: a date the calendar
// takes beyond them is refused with a message, not read a century off.
TEST_F(RangePickerTest, AYearTheRequestCannotCarryIsRefusedAndTheWindowStays)
{
    open(at(15, 12, 2049, 10, 0), at(31, 12, 2049, 23, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    child<QToolButton>(calendar, "CalendarioSiguiente")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Enero 2050"));
    const QList<QToolButton*> days = dayCells(calendar);
    ASSERT_EQ(days.size(), 42);
    // January 2050 starts on a Saturday: the seventh cell.
    ASSERT_EQ(days[6]->text(), QStringLiteral("1"));
    days[6 + 14]->click();
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("15/01/50 10:00"));
    ok();
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(
        prompter_.shown()[0].text,
        QStringLiteral("La fecha 15/01/2050 10:00 no se puede pedir al TVQ-52: solo admite años de 1950 a 2049."));
    EXPECT_EQ(prompter_.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());

    // A year typed in the field is read by the two-digit rule.
    prompter_.clear();
    field("MaskFechaIni")->setText(QStringLiteral("15/01/49 10:00"));
    ok();
    EXPECT_TRUE(prompter_.shown().isEmpty());
    ASSERT_TRUE(picker_->range().has_value());
    EXPECT_EQ(picker_->range()->start(), at(15, 1, 2049, 10, 0));
}

} // namespace
