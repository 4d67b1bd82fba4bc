#include "app/gui/window_needs.h"
#include "programming/gui/programming_window.h"

#include "app/gui/widget_prompter.h"
#include "core/catalogue_ids.h"
#include "evidence/journal.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "window_fixture.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class ProgrammingWindowTest : public tvq52::test::WindowFixture {
protected:
    void open()
    {
        window_ = std::make_unique<ProgrammingWindow>(programmingWindowNeeds(*ctx_, prompter_));
        window_->resize(1280, 800);
        activate(window_.get());
    }

    QLineEdit* field(const char* name) { return child<QLineEdit>(window_.get(), name); }
    QTabWidget* tabs() { return child<QTabWidget>(window_.get(), "SSTab2"); }
    void showPage(int page)
    {
        tabs()->setCurrentIndex(page);
        settle();
    }
    QString shownSerial() { return field("MaskNumeroSerie")->text(); }
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

TEST_F(ProgrammingWindowTest, VenueLimitsAreClampedOnLeavingAndBringTheLimitsPageForward)
{
    open();
    showPage(ProgrammingWindow::kLimitsPage);
    QLineEdit* dayVenue = field("MaskDiaLocal");
    typeInto(dayVenue, QStringLiteral("150"));
    EXPECT_EQ(dayVenue->text(), QStringLiteral("150"));
    showPage(0); // leaving the page takes the focus out of the field
    EXPECT_EQ(dayVenue->text(), QStringLiteral("120"));
    EXPECT_EQ(tabs()->currentIndex(), ProgrammingWindow::kLimitsPage);
    EXPECT_TRUE(dayVenue->hasFocus());

    QLineEdit* dayNeighbour = field("MaskDiaVei");
    typeInto(dayNeighbour, QStringLiteral("10"));
    focusTo(field("MaskNitLocal"));
    EXPECT_EQ(dayNeighbour->text(), QStringLiteral("10"));
    EXPECT_TRUE(field("MaskNitLocal")->hasFocus());
    EXPECT_TRUE(prompter_.shown().isEmpty());

    typeInto(field("MaskNitLocal"), QString());
    focusTo(dayNeighbour);
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{60});
    EXPECT_TRUE(field("MaskNitLocal")->hasFocus());
}

TEST_F(ProgrammingWindowTest, NightHoursDriveTheDayHoursAndMayNotBeEqual)
{
    open();
    showPage(ProgrammingWindow::kLimitsPage);
    QLineEdit* nightEnd = field("MaskTerminaNoche");
    typeInto(nightEnd, QStringLiteral("2200"));
    EXPECT_EQ(nightEnd->text(), QStringLiteral("22:00"));
    focusTo(field("MaskNitVei"));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{97});
    EXPECT_EQ(prompter_.shown().front().text, QStringLiteral("Inicio igual a final"));
    EXPECT_TRUE(field("MaskEmpiezaNoche")->hasFocus());
    EXPECT_EQ(field("MaskEmpiezaDia")->text(), QStringLiteral("08:00"));
    EXPECT_EQ(field("MaskTerminaDia")->text(), QStringLiteral("22:00"));

    // Back in the night start, the user moves it; the day end follows.
    prompter_.clear();
    typeInto(field("MaskEmpiezaNoche"), QStringLiteral("2100"));
    typeInto(nightEnd, QStringLiteral("0730"));
    EXPECT_EQ(field("MaskTerminaDia")->text(), QStringLiteral("21:00"));
    focusTo(field("MaskNitVei"));
    EXPECT_TRUE(prompter_.shown().isEmpty());
    EXPECT_EQ(field("MaskEmpiezaDia")->text(), QStringLiteral("07:30"));

    typeInto(field("MaskEmpiezaNoche"), QStringLiteral("2"));
    focusTo(field("MaskNitVei"));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{25});
    EXPECT_TRUE(field("MaskEmpiezaNoche")->hasFocus());
}

TEST_F(ProgrammingWindowTest, SaveRunsEveryFieldCheckFirstAndStoresNothingThatFails)
{
    storeUnit(100);
    open();
    // A value no leave check has seen, as a field skipped by the checks leaves it.
    field("MaskDiaLocal")->setText(QStringLiteral("7"));
    child<QPushButton>(window_.get(), "SSCommandGrabar")->click();
    settle();
    EXPECT_TRUE(prompter_.shown().isEmpty()) << "no question before the fields pass";
    EXPECT_EQ(field("MaskDiaLocal")->text(), QStringLiteral("60"));
    EXPECT_EQ(tabs()->currentIndex(), ProgrammingWindow::kLimitsPage);
    EXPECT_TRUE(field("MaskDiaLocal")->hasFocus());
    EXPECT_EQ(test::take(loadProgramming(*store_, 100))->record.dayLimitVenue, 80);

    // Moving on with an edit whose save fails keeps the record and the edit.
    storeUnit(200);
    typeInto(field("MaskNitLocal"), QStringLiteral("7"));
    child<QPushButton>(window_.get(), "SSCommandSiguiente")->click();
    settle();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    EXPECT_EQ(field("MaskNumeroSerie")->text().trimmed(), QStringLiteral("100"));
    EXPECT_EQ(field("MaskNitLocal")->text(), QStringLiteral("60"));
}

// The octave boxes show every value the unit can hold, below zero too, and
// change none they cannot show: more decimals stay as stored until edited,
// and a value beyond the unit's range is shown as it is and stops the save.
TEST_F(ProgrammingWindowTest, OctaveBoxesKeepEveryValueAsStored)
{
    ProgrammingRecord r = storeUnit(4711);
    r.octaves = {-12.5f, float(kLowestOctave), float(kHighestOctave), 12.34f, 5000.0f, 0.1f, 0, 0, 0};
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    open();
    auto* beyond = child<QDoubleSpinBox>(window_.get(), "MaskOctava5");
    EXPECT_EQ(child<QDoubleSpinBox>(window_.get(), "MaskOctava1")->value(), -12.5);
    EXPECT_EQ(beyond->value(), 5000.0);
    EXPECT_EQ(window_->record().octaves, r.octaves);

    click("SSCommandGrabar");
    settle();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{msg::BadValue}) << "refused before the question";
    EXPECT_TRUE(beyond->hasFocus());

    // Typed, the minus sign goes through.
    beyond->selectAll();
    for (const QChar c : QStringLiteral("-40"))
        press(beyond, c.unicode(), QString(c));
    prompter_.clear();
    click("SSCommandGrabar");
    settle();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{msg::SaveChanges});
    r.octaves[4] = -40.0f;
    EXPECT_EQ(test::take(loadProgramming(*store_, 4711))->record.octaves, r.octaves);
}

// With real message boxes: once one closes no window is active, and Tab in
// an inactive window moves the focus without any focus event.
TEST_F(ProgrammingWindowTest, AfterAMessageTheNextLeaveOfTheFieldIsCheckedAgain)
{
    WidgetPrompter boxes;
    window_ = std::make_unique<ProgrammingWindow>(programmingWindowNeeds(*ctx_, boxes));
    window_->resize(1280, 800);
    activate(window_.get());
    int shown = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++shown;
            box->accept();
        }
    });
    closer.start(0);
    auto leaveWithTab = [&](QLineEdit* f, const char* text) {
        typeInto(f, QString::fromUtf8(text));
        press(f, Qt::Key_Tab, QStringLiteral("\t"));
        settle();
    };
    showPage(2);
    QLineEdit* seconds = field("MaskTempsActLoc");
    leaveWithTab(seconds, "");
    leaveWithTab(seconds, "15");
    EXPECT_EQ(seconds->text(), QStringLiteral("10"));
    showPage(ProgrammingWindow::kLimitsPage);
    QLineEdit* limit = field("MaskDiaLocal");
    leaveWithTab(limit, "");
    leaveWithTab(limit, "7");
    EXPECT_EQ(limit->text(), QStringLiteral("60"));
    leaveWithTab(field("MaskEmpiezaNoche"), "2500");
    leaveWithTab(field("MaskEmpiezaNoche"), "0800");
    EXPECT_EQ(shown, 4) << "empty seconds, empty limit, 25:00, start equal to end";
}

TEST_F(ProgrammingWindowTest, RingsAndAttenuationAreCorrectedSilentlyAndImpossibleDatesRefused)
{
    open();
    showPage(1);
    QLineEdit* rings = field("MaskRings");
    typeInto(rings, QStringLiteral("0"));
    focusTo(field("MaskTLeq"));
    EXPECT_EQ(rings->text(), QStringLiteral("1"));

    showPage(2);
    QLineEdit* attenuation = field("MaskTiempoAtenuacion");
    typeInto(attenuation, QStringLiteral("1"));
    focusTo(field("MaskTempsActLoc"));
    EXPECT_EQ(attenuation->text(), QStringLiteral("0"));
    EXPECT_TRUE(prompter_.shown().isEmpty());

    // Impossible dates are refused.
    QLineEdit* date = field("MaskFecha");
    typeInto(date, QStringLiteral("121310"));
    focusTo(field("MaskVersion"));
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{18});
    EXPECT_EQ(prompter_.shown().value(0).text, QStringLiteral("Fecha incorrecta"));
    EXPECT_TRUE(date->hasFocus());
    prompter_.clear();
    typeInto(date, QStringLiteral("120510"));
    focusTo(field("MaskVersion"));
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(ProgrammingWindowTest, ChoosingTheSecondsOptionFillsAnEmptyBoxAndSavesLeq01s)
{
    ProgrammingRecord r = storeUnit(100);
    r.venueAction = {ActionType::Leq125ms, {}};
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    open();
    showPage(2);
    QLineEdit* seconds = field("MaskTempsActLoc");
    ASSERT_TRUE(child<QRadioButton>(window_.get(), "OptionLocalLeq125")->isChecked());
    typeInto(seconds, QString());
    child<QRadioButton>(window_.get(), "OptionLocalLeq1s")->click();
    EXPECT_EQ(seconds->text(), QStringLiteral("01"));
    EXPECT_TRUE(window_->isModified());
    child<QPushButton>(window_.get(), "SSCommandGrabar")->click();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    EXPECT_EQ(test::take(loadProgramming(*store_, 100))->record.venueAction,
              (ActionType{ActionType::LeqSeconds, QStringLiteral("01")}));
    EXPECT_FALSE(window_->isModified());

    // An emptied seconds box is refused on leaving.
    typeInto(seconds, QString());
    focusTo(field("MaskTiempoAtenuacion"));
    EXPECT_EQ(prompter_.catalogueIds().back(), 106);
    EXPECT_TRUE(seconds->hasFocus());
}

TEST_F(ProgrammingWindowTest, FirmwareVersionSetsWhatTheUnitCanDo)
{
    storeUnit(32, QStringLiteral("old"), QStringLiteral("3.2"));
    ProgrammingRecord modern = storeUnit(40, QStringLiteral("new"), QStringLiteral("4.0"));
    modern.globalCorrection = true;
    ASSERT_TRUE(saveProgramming(*store_, modern, unusedIntervals()));
    open();
    ASSERT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("32"));
    EXPECT_FALSE(field("MaskTempsActLoc")->isEnabled());
    EXPECT_FALSE(field("MaskTempsActVei")->isEnabled());
    EXPECT_TRUE(child<QGroupBox>(window_.get(), "FrameApliCorrecioGlobal")->isHidden());
    EXPECT_EQ(window_->firmwareVersion(), QStringLiteral("3.2"));

    child<QPushButton>(window_.get(), "SSCommandSiguiente")->click();
    ASSERT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("40"));
    EXPECT_TRUE(field("MaskTempsActLoc")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>(window_.get(), "FrameApliCorrecioGlobal")->isHidden());
    EXPECT_TRUE(child<QCheckBox>(window_.get(), "CheckApliCorrecioGlobal")->isChecked());
}

TEST_F(ProgrammingWindowTest, KeyboardRulesOfTheWindow)
{
    storeUnit(77);
    open();
    EXPECT_FALSE(window_->isModified());
    EXPECT_EQ(ctx_->unit.current(), 77) << "the loaded record is the current unit";
    auto* clock = window_->findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_TRUE(clock);
    EXPECT_TRUE(clock->isActive());
    EXPECT_EQ(clock->interval(), 1000);
    QLineEdit* version = field("MaskVersion");
    focusTo(version);
    press(version, Qt::Key_5, QStringLiteral("5"));
    EXPECT_EQ(version->text(), QStringLiteral("3.3"));
    EXPECT_FALSE(window_->isModified());

    QLineEdit* serial = field("MaskNumeroSerie");
    focusTo(serial);
    press(serial, Qt::Key_1, QStringLiteral("1"));
    EXPECT_EQ(serial->text(), QStringLiteral("77"));
    EXPECT_TRUE(window_->isModified());

    showPage(ProgrammingWindow::kLimitsPage);
    QLineEdit* limit = field("MaskNitLocal");
    typeInto(limit, QStringLiteral("9 -+0"));
    EXPECT_EQ(limit->text(), QStringLiteral("90"));
    showPage(0);
    QLineEdit* contact = field("MaskContacto");
    typeInto(contact, QStringLiteral("Ana-Luz +1"));
    EXPECT_EQ(contact->text(), QStringLiteral("AnaLuz 1"));

    auto* note = child<QPlainTextEdit>(window_.get(), "TextNota");
    focusTo(note);
    press(note, Qt::Key_Tab, QStringLiteral("\t"));
    EXPECT_FALSE(note->hasFocus());
    EXPECT_FALSE(note->toPlainText().contains(QLatin1Char('\t')));
}

TEST_F(ProgrammingWindowTest, SearchUsesTheLastSearchableFieldFocused)
{
    for (qint32 s : {5, 9120, 3412, 77})
        storeUnit(s);
    open();
    ASSERT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("5"));
    focusTo(field("MaskNumeroSerie"));
    EXPECT_EQ(window_->currentSearchField(), QStringLiteral("MaskNumeroSerie"));
    prompter_.inputAnswer(QStringLiteral("12"));
    auto* search = child<QPushButton>(window_.get(), "SSCommandBuscar");
    focusTo(search);
    search->click();
    EXPECT_EQ(prompter_.inputPrompts(), QStringList{QStringLiteral("Buscar en el campo N. Serie:")});
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("3412"));

    // A text with quotes and wildcards is only a text; no match changes nothing.
    focusTo(field("MaskLocal"));
    prompter_.inputAnswer(QStringLiteral("%' OR 1=1 --"));
    search->click();
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("3412"));
    EXPECT_TRUE(prompter_.shown().isEmpty());

    // The note is not searchable: the button does nothing.
    showPage(0);
    focusTo(window_->findChild<QWidget*>(QStringLiteral("TextNota")));
    search->click();
    EXPECT_EQ(prompter_.inputPrompts().size(), 2);
}

TEST_F(ProgrammingWindowTest, CommandLineSerialIsHonouredOnTheFirstOpeningOnly)
{
    storeUnit(10, QStringLiteral("Bar  Centro "));
    storeUnit(20);
    ctx_->CommandLineFile = QStringLiteral("20");
    open();
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("20"));
    child<QPushButton>(window_.get(), "SSCommandAnterior")->click();
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("10"));
    // The title names the record shown.
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("10 Bar Centro - Programación - TVQ-52"));
    window_->close();
    activate(window_.get());
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("10"));
}

TEST_F(ProgrammingWindowTest, AnEmptyDatabaseOpensOnANewRecord)
{
    open();
    EXPECT_EQ(field("MaskNumeroSerie")->text(), QStringLiteral("0"));
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Programación - TVQ-52"));
    EXPECT_EQ(field("MaskFecha")->text(), QDate::currentDate().toString(QStringLiteral("dd/MM/yy")));
    EXPECT_TRUE(window_->isModified());
    // Serial 0 is never saved and never asks.
    child<QPushButton>(window_.get(), "SSCommandGrabar")->click();
    child<QPushButton>(window_.get(), "SSCommandBorrar")->click();
    EXPECT_TRUE(prompter_.shown().isEmpty());
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 0);

    // Deleting the fields moves the focus; nothing may reach the half-destroyed
    // window (caught by the sanitizer build).
    showPage(ProgrammingWindow::kLimitsPage);
    typeInto(field("MaskDiaLocal"), QStringLiteral("7"));
    window_.reset();
    settle();
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(ProgrammingWindowTest, DeleteAsksMovesToTheFirstRemainingUnitAndTheLastLeavesANewRecord)
{
    storeUnit(1, QStringLiteral("Bar"));
    storeUnit(2);
    storeUnit(3);
    ASSERT_TRUE(store_->insert(QStringLiteral("DiaReprogramado"),
                               row({{"LNumeroSerie", 3}, {"DFecha", QDate(2010, 1, 1)}, {"THora", "10:00"}})));
    open();
    click("SSCommandSiguiente");
    click("SSCommandSiguiente");
    ASSERT_EQ(shownSerial(), QStringLiteral("3"));
    // Enter on the question keeps the unit: Cancel is its default button.
    click("SSCommandBorrar");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{27});
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 3);
    EXPECT_TRUE(Journal(*ctx_->db).entries().value().isEmpty());
    const auto box = WidgetPrompter::createMessageBox(prompter_.shown().last(), window_.get());
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    prompter_.answer(Answer::Ok);
    click("SSCommandBorrar");
    EXPECT_EQ(shownSerial(), QStringLiteral("1"));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 2);
    EXPECT_EQ(test::take(store_->count(QStringLiteral("DiaReprogramado"))), 0);
    const QList<JournalEntry> deletions = Journal(*ctx_->db).entries(3).value();
    ASSERT_EQ(deletions.size(), 1);
    EXPECT_EQ(deletions[0].action, JournalAction::UnitDeletion);
    EXPECT_TRUE(deletions[0].sealed());
    EXPECT_TRUE(Journal(*ctx_->db).verify().findings.isEmpty()) << "the entry verifies on its chain";

    // A deletion the journal cannot record deletes nothing, and says so.
    QSqlQuery refuse(ctx_->db->connection());
    ASSERT_TRUE(
        refuse.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON \"Diario\" "
                                   "BEGIN SELECT RAISE(ABORT, 'journal refused'); END")));
    prompter_.clear();
    prompter_.answer(Answer::Ok);
    click("SSCommandBorrar");
    ASSERT_EQ(prompter_.shown().size(), 2);
    EXPECT_EQ(prompter_.shown().last().style, MessageStyle::Critical);
    EXPECT_TRUE(prompter_.shown().last().text.contains(QStringLiteral("journal refused")));
    EXPECT_EQ(shownSerial(), QStringLiteral("1"));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 2);
    EXPECT_EQ(test::take(store_->count(QStringLiteral("IntervaloInhabil"), row({{"LNumeroSerie", 1}}))), 30);
    ASSERT_TRUE(refuse.exec(QStringLiteral("DROP TRIGGER refuse")));

    for (int left = 2; left > 0; --left) {
        prompter_.answer(Answer::Ok);
        click("SSCommandBorrar");
    }
    EXPECT_EQ(shownSerial(), QStringLiteral("0"));
    EXPECT_EQ(field("MaskLocal")->text(), QStringLiteral(" "));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 0);
    EXPECT_EQ(test::take(store_->count(QStringLiteral("IntervaloInhabil"))), 0);
}

TEST_F(ProgrammingWindowTest, SaveAlwaysAsksButPreviousAndNextOnlyWhenModified)
{
    storeUnit(1);
    storeUnit(2);
    open();
    click("SSCommandGrabar");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    prompter_.clear();
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    click("SSCommandSiguiente"); // the last one: beeps and stays
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    click("SSCommandAnterior");
    click("SSCommandAnterior");
    EXPECT_EQ(shownSerial(), QStringLiteral("1"));
    EXPECT_TRUE(prompter_.shown().isEmpty());

    field("MaskContacto")->setText(QStringLiteral("Pau"));
    click("SSCommandSiguiente");
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{23});
    EXPECT_EQ(test::take(loadProgramming(*store_, 1))->record.contact, QStringLiteral("Pau"));
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));

    // Cancelling the question writes nothing.
    field("MaskLocal")->setText(QStringLiteral("Otro"));
    prompter_.answer(Answer::Cancel);
    click("SSCommandGrabar");
    EXPECT_EQ(test::take(loadProgramming(*store_, 2))->record.venue, QStringLiteral(" "));
    EXPECT_TRUE(window_->isModified());
}

// Leaving edits asks Save, Discard or Cancel; Cancel keeps the window open
// with the edits as they are.
TEST_F(ProgrammingWindowTest, LeavingEditsAsksToSaveDiscardOrCancel)
{
    storeUnit(1);
    storeUnit(2);
    open();
    field("MaskContacto")->setText(QStringLiteral("Pau"));
    prompter_.answer(Answer::Cancel);
    EXPECT_FALSE(window_->close());
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(prompter_.shown()[0].style, MessageStyle::SaveDiscardCancel);
    EXPECT_EQ(prompter_.shown()[0].defaultAnswer, Answer::Save);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->isModified());
    EXPECT_EQ(field("MaskContacto")->text(), QStringLiteral("Pau"));
    prompter_.answer(Answer::Cancel);
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("1")) << "Cancel stays on the record";

    prompter_.answer(Answer::Discard);
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    EXPECT_NE(test::take(loadProgramming(*store_, 1))->record.contact, QStringLiteral("Pau"));

    field("MaskContacto")->setText(QStringLiteral("Pep"));
    prompter_.answer(Answer::Save);
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(test::take(loadProgramming(*store_, 2))->record.contact, QStringLiteral("Pep"));
}

TEST_F(ProgrammingWindowTest, IntervalGridFollowsItsEditingRules)
{
    ProgrammingRecord r = storeUnit(9);
    ProgIntervals intervals = unusedIntervals();
    intervals[0] = {QStringLiteral("01/02/10"), QStringLiteral("10:00"), QStringLiteral("05/02/10"),
                    QStringLiteral("10:00")};
    ASSERT_TRUE(saveProgramming(*store_, r, intervals));
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
    EXPECT_TRUE(test::take(loadProgramming(*store_, 9))->intervals[0].isUnused());
}

// With a desktop's larger font the pages may be taller than a short screen:
// the window still fits it and its pages scroll rather than run off the
// bottom; where there is room they show whole, unscrolled.
TEST_F(ProgrammingWindowTest, ItsPagesScrollOnAShortScreenAndShowWholeOnATallOne)
{
    const QFont before = QApplication::font();
    const std::shared_ptr<void> restore(nullptr, [&](void*) { QApplication::setFont(before); });
    QFont larger = before;
    larger.setPointSizeF(larger.pointSizeF() * 1.3);
    QApplication::setFont(larger);
    open();
    auto* scroller = child<QScrollArea>(window_.get(), "PageScroller");
    const int pagesNeed = tabs()->minimumSizeHint().height();
    const int shortScreen = 566;
    ASSERT_GT(window_->minimumSizeHint().height() - scroller->minimumSizeHint().height() + pagesNeed, shortScreen)
        << "the font is not large enough to need the scroller";
    EXPECT_LE(window_->minimumSizeHint().height(), shortScreen);
    // At its narrowest, too: the scroll bar takes no width from the pages.
    window_->resize(window_->minimumSizeHint().width(), shortScreen);
    settle();
    EXPECT_TRUE(scroller->verticalScrollBar()->isVisible());
    EXPECT_GE(tabs()->height(), pagesNeed);
    EXPECT_LE(tabs()->width(), scroller->viewport()->width());
    window_->resize(window_->width(), window_->sizeHint().height() + 40);
    settle();
    EXPECT_FALSE(scroller->verticalScrollBar()->isVisible());
}

// What the login may not do is off, its tip naming the role it needs; given
// the role again, each command comes back as it was.
TEST_F(ProgrammingWindowTest, CommandsTheLoginMayNotUseAreOffWithATipNamingTheRoleNeeded)
{
    storeUnit(1);
    open();
    const QString tipBefore = child<QPushButton>(window_.get(), "SSCommandTransmitir")->toolTip();
    struct Case {
        Right login;
        const char* neededForReceive; // nullptr: allowed
        const char* neededForTransmitAndDelete;
    };
    const Case cases[] = {{Right::Read, "collect", "admin"},
                          {Right::Collect, nullptr, "admin"},
                          {Right::Admin, nullptr, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.login));
        ctx_->db->noteRight(c.login);
        window_->hide();
        window_->show();
        settle();
        const std::pair<const char*, const char*> buttons[] = {{"SSCommandRecibir", c.neededForReceive},
                                                               {"SSCommandTransmitir", c.neededForTransmitAndDelete},
                                                               {"SSCommandBorrar", c.neededForTransmitAndDelete}};
        for (const auto& [name, needed] : buttons) {
            const QPushButton* b = child<QPushButton>(window_.get(), name);
            EXPECT_EQ(b->isEnabled(), needed == nullptr) << name;
            EXPECT_EQ(b->toolTip().contains(QStringLiteral("«%1»").arg(QLatin1String(needed))), needed != nullptr)
                << name << ": " << b->toolTip().toStdString();
        }
    }
    EXPECT_EQ(child<QPushButton>(window_.get(), "SSCommandTransmitir")->toolTip(), tipBefore);
}
