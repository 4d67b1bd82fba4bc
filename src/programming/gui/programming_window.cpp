#include "programming/gui/programming_window.h"

#include "core/application_info.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "core/unit_selection.h"
#include "db/server_rights.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/catalogue_message.h"
#include "i18n/gui/button_tips.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "programming/gui/action_page.h"
#include "programming/gui/field_rules.h"
#include "programming/gui/insulation_page.h"
#include "programming/gui/intervals_page.h"
#include "programming/gui/limits_page.h"
#include "programming/gui/record_header.h"
#include "programming/gui/unit_page.h"
#include "programming/gui/venue_page.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/programming_store.h"
#include "programming/programming_transfer.h"
#include "programming/programming_workflow.h"
#include "reports/programming_report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tvq52 {

namespace {

QString tr0(const char* native)
{
    return QString::fromUtf8(native);
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// The pages at their full size where the screen has room for them, scrolled
// up and down where it has not (a short screen at a large scale factor); the
// window is never made taller than the screen for them.
class PageScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override { return widget()->sizeHint() + frame(); }
    QSize minimumSizeHint() const override
    {
        // Wide enough for the pages beside the scroll bar, which takes its
        // room from them when it shows.
        const int lines = 12 * fontMetrics().height();
        const QSize least = widget()->minimumSizeHint();
        return QSize(least.width() + verticalScrollBar()->sizeHint().width(), std::min(lines, least.height()))
            + frame();
    }

private:
    QSize frame() const
    {
        const int f = 2 * frameWidth();
        return QSize(f, f);
    }
};

} // namespace

ProgrammingWindow::ProgrammingWindow(Needs needs, QWidget* parent)
    : QWidget(parent, Qt::Window), needs_(std::move(needs)), prompter_(needs_.prompter)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitleOf(this, needs_.translator.translate(QStringLiteral("Programación")));
    if (needs_.database)
        browser_.emplace(*needs_.database);
    buildUi();
    needs_.translator.translateWindow(this);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
}

ProgrammingWindow::~ProgrammingWindow()
{
    // Deleting the fields moves the focus and sends them focus events; by
    // then this object is half gone, so nothing may call back into it.
    disconnect(focusWatch_);
    delete rules_;
}

void ProgrammingWindow::buildUi()
{
    rules_ = new FieldRules(this, [this] { edited(); });
    rules_->discardSigns();
    auto* layout = new QVBoxLayout(this);
    header_ = new RecordHeader(*rules_, this);
    layout->addWidget(header_);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab2"));
    venuePage_ = new VenuePage(*rules_, tabs_);
    unitPage_ = new UnitPage(*rules_, tabs_);
    actionPage_ = new ActionPage(
        *rules_, [this] { openWeekSchedule(); }, tabs_);
    limitsPage_ = new LimitsPage(*rules_, tabs_);
    insulationPage_ = new InsulationPage(*rules_, tabs_);
    intervalsPage_ = new IntervalsPage(
        intervals_, *rules_, [this](int id) { showMessage(id); }, tabs_);
    tabs_->addTab(venuePage_, QStringLiteral("Datos del local"));
    tabs_->addTab(unitPage_, QStringLiteral("Aparato"));
    tabs_->addTab(actionPage_, QStringLiteral("Actuación y sesiones"));
    tabs_->addTab(limitsPage_, QStringLiteral("Límites y horario nocturno"));
    tabs_->addTab(insulationPage_, QStringLiteral("Aislamiento acústico"));
    tabs_->addTab(intervalsPage_, QStringLiteral("Intervalos inhábiles"));
    auto* scroller = new PageScroller(this);
    scroller->setObjectName(QStringLiteral("PageScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setWidget(tabs_);
    layout->addWidget(scroller, 1);
    // The busy panel takes the place of the commands, which wait for the
    // transmission anyway: the window keeps its size, before and after.
    bottom_ = new QStackedWidget(this);
    bottom_->addWidget(buildButtons());
    bottom_->addWidget(buildBusyPanel());
    layout->addWidget(bottom_);

    const std::pair<QLineEdit*, QWidget*> checked[] = {
        {header_->date, nullptr},
        {unitPage_->leqTime, unitPage_},
        {unitPage_->fastLimit, unitPage_},
        {unitPage_->rings, unitPage_},
        {actionPage_->venueSeconds, actionPage_},
        {actionPage_->neighbourSeconds, actionPage_},
        {actionPage_->attenuation, actionPage_},
        {limitsPage_->dayVenue, limitsPage_},
        {limitsPage_->dayNeighbour, limitsPage_},
        {limitsPage_->nightStart, limitsPage_},
        {limitsPage_->nightEnd, limitsPage_},
        {limitsPage_->nightVenue, limitsPage_},
        {limitsPage_->nightNeighbour, limitsPage_},
    };
    for (const auto& [field, page] : checked) {
        pageOf_.insert(field, page);
        rules_->onLeave(field, [this, field = field] { checkOnLeaving(field); });
    }
}

QWidget* ProgrammingWindow::buildButtons()
{
    // Two rows, the record's commands above the unit's: one row of twelve
    // translated captions is wider than a 1024-pixel screen.
    auto* bar = new QWidget(this);
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* recordRow = new QHBoxLayout;
    auto* unitRow = new QHBoxLayout;
    rows->addLayout(recordRow);
    rows->addLayout(unitRow);
    QHBoxLayout* layout = recordRow;
    auto add = [&](const char* name, const char* caption, void (ProgrammingWindow::*slot)()) {
        auto* b = new QPushButton(tr0(caption), bar);
        b->setObjectName(tr0(name));
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        else
            b->setEnabled(false); // its window or link is not part of the program yet
        layout->addWidget(b);
        return b;
    };
    add("SSCommandAnterior", "<< Anterior", &ProgrammingWindow::previousRecord);
    add("SSCommandSiguiente", "Siguiente >>", &ProgrammingWindow::nextRecord);
    add("SSCommandBuscar", "Buscar", &ProgrammingWindow::searchRecord);
    add("SSCommandGrabar", "Guardar", &ProgrammingWindow::saveRecord);
    add("SSCommandBorrar", "Borrar", &ProgrammingWindow::deleteRecord);
    layout->addStretch();
    layout = unitRow;
    add("SSCommandRecibir", "Recibir", &ProgrammingWindow::receiveProgramming);
    add("SSCommandTransmitir", "Transmitir", &ProgrammingWindow::transmitProgramming);
    add("SSCommandRealTime", "Tiempo real", &ProgrammingWindow::openMonitor);
    add("SSCommandImprimir", "Imprimir", &ProgrammingWindow::printReport);
    QPushButton* recorded = add("SSCommandIncidencias", "Datos registrados", nullptr);
    connect(recorded, &QPushButton::clicked, this, [this] {
        if (!openRecordedData_ || !offerToSaveChanges())
            return;
        // Edits the user chose to drop are not asked about again on closing.
        modified_ = false;
        const qint32 serial = shownSerial_;
        if (close())
            openRecordedData_(serial);
    });
    layout->addStretch();
    layout = recordRow;
    QPushButton* help = add("SSCommandHelp", "Ayuda", nullptr);
    help->setEnabled(true);
    connect(help, &QPushButton::clicked, this, [this] {
        if (needs_.openHelp)
            needs_.openHelp();
    });
    QPushButton* exit = add("SSCommandExit", "Salir", nullptr);
    exit->setEnabled(true);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    // The receive and transmit buttons clear the search field on focus.
    for (const char* name : {"SSCommandRecibir", "SSCommandTransmitir"})
        rules_->onEnter(bar->findChild<QPushButton*>(tr0(name)), [this] { searchField_.clear(); });
    return bar;
}

// In place of the animation, the transmission shows how far it has got.
QWidget* ProgrammingWindow::buildBusyPanel()
{
    busyPanel_ = new QFrame(this);
    busyPanel_->setObjectName(QStringLiteral("SSPanel2"));
    static_cast<QFrame*>(busyPanel_)->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(busyPanel_);
    busyText_ = new QLabel(busyPanel_);
    busyText_->setObjectName(QStringLiteral("LbProgreso"));
    busyBar_ = new QProgressBar(busyPanel_);
    busyBar_->setObjectName(QStringLiteral("ProgressBarEnvio"));
    busyBar_->setTextVisible(false);
    layout->addWidget(busyText_, 1);
    layout->addWidget(busyBar_, 2);
    return busyPanel_;
}

std::unique_ptr<ExchangeSession> ProgrammingWindow::openSession()
{
    return needs_.openSession(line_, clock_);
}

void ProgrammingWindow::keepIdentifiedUnit(const ExchangeSession& session)
{
    if (const UnitIdentity& unit = session.unit(); unit.serial != 0 && unit.serial != shownSerial_)
        needs_.unit.select(unit.serial, unit.firmware);
}

void ProgrammingWindow::setRecordedDataOpener(std::function<void(qint32)> open)
{
    openRecordedData_ = std::move(open);
    findChild<QPushButton*>(QStringLiteral("SSCommandIncidencias"))->setEnabled(bool(openRecordedData_));
}

void ProgrammingWindow::receiveProgramming()
{
    const auto session = openSession();
    ProgrammingWorkflow workflow(*session, prompter_, needs_.translator, *this, received_);
    std::optional<Journal> journal;
    if (needs_.database)
        workflow.setJournal(&journal.emplace(*needs_.database));
    workflow.receive();
    keepIdentifiedUnit(*session);
}

void ProgrammingWindow::transmitProgramming()
{
    const auto session = openSession();
    ProgrammingWorkflow workflow(*session, prompter_, needs_.translator, *this, received_);
    std::optional<Journal> journal;
    if (needs_.database)
        workflow.setJournal(&journal.emplace(*needs_.database));
    workflow.setRecords(needs_.database);
    workflow.transmit();
    keepIdentifiedUnit(*session);
}

void ProgrammingWindow::openMonitor()
{
    if (!needs_.openMonitor)
        return;
    // The programming window is out of use while the monitor is open.
    setEnabled(false);
    const ExchangeSession* session =
        needs_.openMonitor(this, [this](Line*, Clock*) { return openSession(); }, venuePage_->phone->text(),
                           header_->serial->text().trimmed().toInt());
    setEnabled(true);
    if (session)
        keepIdentifiedUnit(*session);
}

void ProgrammingWindow::showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals,
                                     const QString& unitFirmware)
{
    showRecord(record, false);
    applyFirmware(unitFirmware, record.globalCorrection);
    intervals_ = intervals;
    intervalsPage_->reload();
    modified_ = true;
}

void ProgrammingWindow::setVersion(const QString& version)
{
    loading_ = true;
    header_->version->setText(version);
    loading_ = false;
    if (version != firmwareVersion_) {
        firmwareVersion_ = version;
        applyFirmware(version, unitPage_->globalCorrection->isChecked());
    }
}

void ProgrammingWindow::ToggleCommandButtons()
{
    // Every command waits for the exchange, the exchange buttons included, so
    // that no second exchange starts inside the waits of the first.
    const QList<QPushButton*> buttons = findChildren<QPushButton*>(QRegularExpression(QStringLiteral("^SSCommand")));
    if (!commandsOff_) {
        commandsBeforeExchange_.clear();
        for (QPushButton* b : buttons) {
            commandsBeforeExchange_.insert(b, b->isEnabled());
            b->setEnabled(false);
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        for (auto it = commandsBeforeExchange_.cbegin(); it != commandsBeforeExchange_.cend(); ++it)
            it.key()->setEnabled(it.value());
        QApplication::restoreOverrideCursor();
    }
    commandsOff_ = !commandsOff_;
}

void ProgrammingWindow::transmissionStarted()
{
    busyBar_->setRange(0, 1);
    busyBar_->setValue(0);
    busyText_->setText(needs_.translator.translate(QStringLiteral("Conectando con el TVQ-52...")));
    bottom_->setCurrentWidget(busyPanel_);
}

void ProgrammingWindow::transmissionProgress(int sent, int total, qint64 msLeft)
{
    busyBar_->setRange(0, total);
    busyBar_->setValue(sent);
    // Looked up before the numbers go in, so the translation keeps its places.
    busyText_->setText(needs_.translator.translate(QStringLiteral("Enviando programación: %1 de %2 bytes, quedan %3 s"))
                           .arg(sent)
                           .arg(total)
                           .arg((msLeft + 999) / 1000));
}

void ProgrammingWindow::transmissionFinished()
{
    bottom_->setCurrentIndex(0);
}

bool ProgrammingWindow::hasStore() const
{
    return browser_.has_value();
}

void ProgrammingWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (needsOpening_) {
        needsOpening_ = false;
        openRecordSet();
    }
    if (!event->spontaneous())
        showRights();
}

void ProgrammingWindow::showRights()
{
    const std::pair<const char*, Operation> guarded[] = {{"SSCommandBorrar", Operation::UnitDeletion},
                                                         {"SSCommandRecibir", Operation::ProgramReceive},
                                                         {"SSCommandTransmitir", Operation::ProgramTransmit}};
    for (const auto& [name, op] : guarded)
        showRefusal(findChild<QPushButton*>(QString::fromLatin1(name)), refusal(needs_.database, op), needs_.translator);
}

void ProgrammingWindow::closeEvent(QCloseEvent* event)
{
    // Edits whose save failed keep the window open.
    if (!offerToSaveChanges()) {
        event->ignore();
        return;
    }
    needsOpening_ = true;
    event->accept();
}

void ProgrammingWindow::openRecordSet()
{
    modified_ = false;
    if (!hasStore()) {
        showNewRecord();
        return;
    }
    if (!commandLineHonoured_) {
        commandLineHonoured_ = true;
        if (const auto serial = commandLineSerial(needs_.commandLineArgument); serial && loadStored(*serial))
            return;
    }
    // The unit last identified or loaded, by any window.
    const qint32 current = needs_.unit.current();
    std::optional<qint32> serial;
    if (current >= 1 && browser_->contains(current))
        serial = current;
    else if (current < 1)
        serial = serialFound(browser_->first());
    if (!serial || !loadStored(*serial))
        showNewRecord();
}

std::optional<qint32> ProgrammingWindow::commandLineSerial(const QString& argument) const
{
    if (!hasStore() || argument.isEmpty() || argument.toUpper().endsWith(QLatin1String(".TQ52")))
        return std::nullopt;
    return browser_->findCommandLineSerial(argument);
}

void ProgrammingWindow::showRecord(const ProgrammingRecord& r, bool keepSeconds)
{
    loading_ = true;
    header_->showRecord(r);
    venuePage_->showRecord(r);
    unitPage_->showRecord(r);
    actionPage_->showRecord(r, keepSeconds);
    limitsPage_->showRecord(r);
    insulationPage_->showRecord(r);
    loading_ = false;
    setWindowTitleOf(this, needs_.translator.translate(QStringLiteral("Programación")), unitCaption(r.serial, r.venue));
}

void ProgrammingWindow::applyFirmware(const QString& version, bool globalCorrection)
{
    actionPage_->applyFirmware(version);
    unitPage_->applyFirmware(version, globalCorrection);
}

ProgrammingRecord ProgrammingWindow::recordFromFields() const
{
    ProgrammingRecord r;
    header_->readRecord(r);
    venuePage_->readRecord(r);
    unitPage_->readRecord(r);
    actionPage_->readRecord(r);
    limitsPage_->readRecord(r);
    insulationPage_->readRecord(r);
    return r;
}

void ProgrammingWindow::showNewRecord()
{
    showRecord(defaultProgramming(), true);
    intervals_ = unusedIntervals();
    intervalsPage_->reload();
    shownSerial_ = 0;
    modified_ = true;
}

bool ProgrammingWindow::loadStored(qint32 serial)
{
    if (!hasStore())
        return false;
    const Store store(*needs_.database);
    const auto loaded = tvq52::loadProgramming(store, serial);
    if (!loaded) {
        prompter_.show(untranslatedText(loaded.error()), MessageStyle::Critical);
        return false;
    }
    const std::optional<StoredProgramming>& stored = *loaded;
    if (!stored)
        return false;
    showRecord(stored->record, false);
    loaded_.take(store, serial);
    needs_.unit.select(serial, stored->record.version);
    firmwareVersion_ = stored->record.version;
    applyFirmware(firmwareVersion_, stored->record.globalCorrection);
    intervals_ = stored->intervals;
    intervalsPage_->reload();
    shownSerial_ = serial;
    modified_ = false;
    return true;
}

bool ProgrammingWindow::checkAllFields()
{
    FieldTexts texts = fieldTexts();
    // A seconds box counts only with its seconds option chosen.
    if (!actionPage_->venueLeq1s->isChecked())
        texts.remove(actionPage_->venueSeconds->objectName());
    if (!actionPage_->neighbourLeq1s->isChecked())
        texts.remove(actionPage_->neighbourSeconds->objectName());
    // The octave values as the record holds them, beyond its boxes' decimals.
    const ProgrammingRecord shown = recordFromFields();
    for (int k = 0; k < kOctaveCount; ++k)
        texts.insert(insulationPage_->octaves[k]->objectName(), QString::number(double(shown.octaves[k])));
    std::optional<FieldFault> stop;
    for (const FieldFault& f : fieldFaults(texts)) {
        auto* field = findChild<QLineEdit*>(f.control);
        if (!stop && (f.check.messageId || f.check.focus != FieldCheck::Focus::MoveOn))
            stop = f;
        else if (field && field->text() != f.check.text)
            field->setText(f.check.text);
    }
    if (!stop)
        return true;
    auto* field = findChild<QLineEdit*>(stop->control);
    if (!field) {
        // An octave value the unit cannot hold: its box, never changed.
        tabs_->setCurrentWidget(insulationPage_);
        rules_->refocusLater(findChild<QWidget*>(stop->control),
                             [this, id = stop->check.messageId] { showMessage(id); });
        return false;
    }
    if (QWidget* page = pageOf_.value(field))
        tabs_->setCurrentWidget(page);
    applyCheck(field, stop->check);
    return false;
}

bool ProgrammingWindow::save()
{
    // Every save goes through here: a record that fails a check stays unsaved.
    if (!hasStore() || !checkAllFields())
        return false;
    Store store(*needs_.database);
    const ProgrammingRecord record = recordFromFields();
    const Result<SaveOutcome> outcome = saveShownProgramming(store, record, intervals_, loaded_, [&] {
        return askToOverwriteProgramming(prompter_, needs_.translator, record.serial);
    });
    if (!outcome)
        showError(prompter_, needs_.translator, outcome.error());
    if (!outcome || *outcome != SaveOutcome::Saved)
        return false;
    shownSerial_ = record.serial;
    modified_ = false;
    return true;
}

bool ProgrammingWindow::offerToSaveChanges()
{
    if (header_->serial->text().trimmed().toInt() == 0 || !modified_)
        return true;
    switch (askToSaveEdits(prompter_, needs_.translator)) {
    case Answer::Save:
        return save();
    case Answer::Discard:
        return true;
    default:
        return false;
    }
}

void ProgrammingWindow::previousRecord()
{
    if (!hasStore())
        return;
    WaitCursor wait;
    if (!offerToSaveChanges())
        return;
    const auto serial = serialFound(browser_->previous(shownSerial_));
    if (!serial || !loadStored(*serial))
        QApplication::beep();
}

void ProgrammingWindow::nextRecord()
{
    if (!hasStore())
        return;
    WaitCursor wait;
    if (!offerToSaveChanges())
        return;
    const auto serial = serialFound(browser_->next(shownSerial_));
    if (!serial || !loadStored(*serial))
        QApplication::beep();
}

void ProgrammingWindow::searchRecord()
{
    const auto field = searchFieldOf(searchField_);
    if (!field || !hasStore())
        return;
    const auto answer =
        prompter_.input(needs_.translator.text(msg::SearchInField) + QLatin1Char(' ') + needs_.translator.text(field->labelId),
                        needs_.translator.text(msg::SearchTitle), searchText_);
    if (!answer || answer->isEmpty())
        return;
    searchText_ = *answer;
    if (!offerToSaveChanges())
        return;
    if (const auto serial = serialFound(browser_->findContaining(*field, searchText_)))
        loadStored(*serial);
}

void ProgrammingWindow::saveRecord()
{
    if (header_->serial->text().trimmed().toInt() == 0 || !checkAllFields())
        return;
    if (showCatalogue(prompter_, needs_.translator, msg::SaveChanges, MessageStyle::OkCancelQuestion) == Answer::Ok)
        save();
}

void ProgrammingWindow::printReport()
{
    const qint32 serial = header_->serial->text().trimmed().toInt();
    if (serial == 0 || !hasStore())
        return;
    // The report reads the database: unsaved changes are offered first.
    if (!offerToSaveChanges())
        return;
    std::optional<Result<RenderedReport>> built;
    {
        WaitCursor wait;
        built = buildProgrammingReport(*needs_.database, needs_.translator,
                                       reportTemplatePath(needs_.assetFolder(), QStringLiteral("tvq52_1.xml")), serial,
                                       header_->version->text(), needs_.footerText());
    }
    if (!*built) {
        showError(prompter_, needs_.translator, built->error());
        return;
    }
    if (needs_.openPreview)
        needs_.openPreview(**built, QStringLiteral("%1_programacion").arg(shownSerial_), this);
}

void ProgrammingWindow::deleteRecord()
{
    const qint32 serial = header_->serial->text().trimmed().toInt();
    if (serial == 0 || !hasStore())
        return;
    if (!offerToSaveChanges())
        return;
    // Deleting every record of a unit cannot be undone: Enter keeps them.
    if (prompter_.message(Message{needs_.translator.text(msg::DeleteUnitData),
                                  {},
                                  MessageStyle::OkCancelQuestion,
                                  msg::DeleteUnitData,
                                  Answer::Cancel})
        != Answer::Ok)
        return;
    Status deleted;
    {
        WaitCursor wait;
        deleted = deleteUnitWithEntry(*needs_.database, serial);
    }
    if (!deleted) {
        showError(prompter_, needs_.translator, deleted.error());
        return;
    }
    const auto first = serialFound(browser_->first());
    if (!first || !loadStored(*first))
        showNewRecord();
}

void ProgrammingWindow::edited()
{
    if (!loading_)
        modified_ = true;
}

void ProgrammingWindow::focusMoved(QWidget* now)
{
    // Buttons keep the field that had the focus, so a search knows what to search.
    if (!now || now->window() != this || qobject_cast<QPushButton*>(now))
        return;
    searchField_ = searchFieldOf(now->objectName()) ? now->objectName() : QString();
}

void ProgrammingWindow::showMessage(int catalogueId)
{
    showCatalogue(prompter_, needs_.translator, catalogueId, MessageStyle::Critical);
}

FieldTexts ProgrammingWindow::fieldTexts() const
{
    FieldTexts texts;
    for (auto it = pageOf_.cbegin(); it != pageOf_.cend(); ++it)
        texts.insert(it.key()->objectName(), it.key()->text());
    return texts;
}

void ProgrammingWindow::checkOnLeaving(QLineEdit* field)
{
    applyCheck(field, checkField(field->objectName(), fieldTexts()));
}

void ProgrammingWindow::applyCheck(QLineEdit* field, const FieldCheck& check)
{
    if (field->text() != check.text)
        field->setText(check.text);
    if (check.updateDayHours)
        limitsPage_->followNight();
    if (check.focus == FieldCheck::Focus::MoveOn && !check.messageId)
        return;
    QLineEdit* target = check.focus == FieldCheck::Focus::ToNightStart ? limitsPage_->nightStart
        : check.focus == FieldCheck::Focus::BackToField                ? field
                                                                       : nullptr;
    if (check.showLimitsPage)
        tabs_->setCurrentIndex(kLimitsPage);
    rules_->refocusLater(target, [this, showPage = check.showLimitsPage, id = check.messageId] {
        if (showPage)
            tabs_->setCurrentIndex(kLimitsPage);
        if (id)
            showMessage(id);
    });
}

void ProgrammingWindow::openWeekSchedule()
{
    std::optional<std::array<SessionHours, 7>> week;
    if (weekScheduleRunner_) {
        week = weekScheduleRunner_(*this);
    } else {
        WeekScheduleWindow dialog(
            needs_.translator, prompter_, actionPage_->sessionHours(), limitsPage_->nightStart->text(),
            limitsPage_->nightEnd->text(), [this] { modified_ = true; }, this);
        if (dialog.exec() == QDialog::Accepted)
            week = dialog.sessions();
    }
    if (!week)
        return;
    actionPage_->setSessionHours(*week);
    modified_ = true;
}

} // namespace tvq52
