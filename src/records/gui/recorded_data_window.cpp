#include "records/gui/recorded_data_window.h"

#include "core/application_info.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "core/unit_selection.h"
#include "db/server_rights.h"
#include "exchange/exchange_writer.h"
#include "i18n/catalogue_message.h"
#include "i18n/gui/button_tips.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "records/download_workflow.h"
#include "records/gui/csv_export.h"
#include "records/gui/grid_column_widths.h"
#include "records/gui/range_picker.h"
#include "records/gui/record_grid_items.h"
#include "records/gui/record_kind_text.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

constexpr int kUncalibratedFirmwareTenths = 30; // columns 32-34 from 3.0 on
constexpr int kNoData = 59;
const char* const kFirmwareColumns[] = {"ByLineaInsuficiente", "ByDNA", "ByENA"};

// The commands the download switches off and back.
const char* const kCommands[] = {"SSCommandAnterior",  "SSCommandBuscar",       "SSCommandCsv",
                                 "SSCommandExit",      "SSCommandHelp",         "SSCommandImprimir",
                                 "SSCommandSiguiente", "SSCommandProgramacion", "SSCommandGrafica",
                                 "SSCommandRecibir",   "SSCommandDiario",       "SSCommandExportar"};

QString tr0(const char* native)
{
    return QString::fromUtf8(native);
}

// The date check of the identification field: a "dd/mm/yy" date whose day
// is not "00" and whose month does not read past "12".
bool acceptableDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d\\d)/(\\d\\d)/(\\d\\d)$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch() || m.captured(1) == QLatin1String("00") || m.captured(2) > QLatin1String("12"))
        return false;
    return QDate(2000 + m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt()).isValid();
}

void showTitle(QWidget* window, const Translator& translator, const std::optional<ShownUnit>& unit)
{
    setWindowTitleOf(window, translator.translate(QStringLiteral("Datos registrados")),
                     unit ? unitCaption(unit->serial, unit->venue) : QString());
}

} // namespace

RecordedDataWindow::RecordedDataWindow(Needs needs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      needs_(std::move(needs)),
      prompter_(needs_.prompter),
      beep_([] { QApplication::beep(); })
{
    setObjectName(QStringLiteral("Form5"));
    showTitle(this, needs_.translator, shown_);
    if (needs_.database)
        browser_.emplace(*needs_.database);
    buildUi();
    needs_.translator.translateWindow(this);
    // The grids are the window's purpose: it takes what a small screen
    // offers, leaving room for the title bar.
    if (const QScreen* sc = screen())
        resize(QSize(1000, 700).boundedTo(sc->availableGeometry().size() - QSize(16, 48)));
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
}

RecordedDataWindow::~RecordedDataWindow()
{
    disconnect(focusWatch_);
}

void RecordedDataWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(buildIdentification(), 3);
    top->addWidget(buildTotals(), 4);
    layout->addLayout(top);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    struct GridDef {
        RecordGrid kind;
        const char* name;
        const char* tab;
    };
    const GridDef grids[] = {
        {RecordGrid::Intervals, "TDBGridIntervalos", "Registros Leq"},
        {RecordGrid::Sessions, "TDBGridSesiones", "Sesiones"},
        {RecordGrid::BatteryEnds, "TDBGridBateria", "Finales de batería"},
        {RecordGrid::Erasures, "TDBGridBorrat", "Borrados"},
        {RecordGrid::Reprogrammings, "TDBGridRepro", "Reprogramaciones"},
    };
    for (int g = 0; g < 5; ++g) {
        auto* v = new QTableView(tabs_);
        v->setObjectName(tr0(grids[g].name));
        // The headings come from the catalogue in the chosen language.
        v->setProperty("Tag", QStringLiteral("!"));
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->verticalHeader()->setDefaultSectionSize(v->fontMetrics().height() + 6);
        v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        v->verticalHeader()->hide();
        v->horizontalHeader()->setSectionsClickable(true);
        v->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
        if (needs_.database) {
            models_[std::size_t(g)] = new RecordGridItems(*needs_.database, grids[g].kind, needs_.translator, this);
            v->setModel(models_[std::size_t(g)]);
        }
        connect(v->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this, g](int column) { sortGrid(Grid(g), column); });
        views_[std::size_t(g)] = v;
        tabs_->addTab(v, tr0(grids[g].tab));
    }
    layout->addWidget(tabs_, 1);
    layout->addWidget(buildProgress());
    layout->addWidget(buildButtons());
}

QWidget* RecordedDataWindow::buildIdentification()
{
    auto* box = new QGroupBox(this);
    box->setObjectName(QStringLiteral("FrameFicha"));
    auto* grid = new QGridLayout(box);
    auto add = [&](int row, int column, const char* caption, const char* name) {
        auto* label = new QLabel(tr0(caption), box);
        auto* edit = new QLineEdit(box);
        edit->setObjectName(tr0(name));
        grid->addWidget(label, row, column * 2);
        grid->addWidget(edit, row, column * 2 + 1);
        return edit;
    };
    serial_ = add(0, 0, "N. Serie:", "TextNumeroSerie");
    version_ = add(0, 1, "Versión:", "TextVersion");
    date_ = add(1, 0, "Fecha:", "TextFecha");
    venue_ = add(2, 0, "Local:", "TextLocal");
    grid->addWidget(venue_, 2, 1, 1, 3);
    for (QLineEdit* e : {serial_, version_, date_})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 12);
    // A venue name has up to 30 characters.
    venue_->setMinimumWidth(venue_->fontMetrics().horizontalAdvance(QString(30, QLatin1Char('n'))) + 12);
    date_->installEventFilter(this);
    return box;
}

QWidget* RecordedDataWindow::buildTotals()
{
    auto* box = new QGroupBox(tr0("ÚLTIMOS CONTADORES TOTALES:"), this);
    box->setObjectName(QStringLiteral("FrameTotales"));
    auto* grid = new QGridLayout(box);
    auto add = [&](int row, int column, const char* caption, const char* name) {
        auto* label = new QLabel(tr0(caption), box);
        auto* edit = new QLineEdit(box);
        edit->setObjectName(tr0(name));
        edit->setReadOnly(true);
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00000")) + 12);
        grid->addWidget(label, row, column * 2);
        grid->addWidget(edit, row, column * 2 + 1);
        return edit;
    };
    // Three rows of two: the translated captions are long.
    totalsDate_ = add(0, 0, "Fecha:", "MaskFechaTotales");
    totalsTime_ = add(0, 1, "Hora:", "MaskHoraTotales");
    passesVenue_ = add(1, 0, "Pasadas (emisión):", "LbPasadasLocal");
    passesNeighbour_ = add(1, 1, "Pasadas (recepción):", "LbPasadasVei");
    sensorInactive_ = add(2, 0, "Sensor inactivo:", "MaskE3");
    erasures_ = add(2, 1, "Borrados:", "MaskCB");
    return box;
}

// In place of an animation, the download shows what it has received,
// stored and refused, its rate and the time it expects to need.
QWidget* RecordedDataWindow::buildProgress()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("SSPanel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(panel);
    frames_ = new QLabel(panel);
    frames_->setObjectName(QStringLiteral("Frame17"));
    frames_->setMinimumWidth(frames_->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    progressText_ = new QLabel(panel);
    progressText_->setObjectName(QStringLiteral("LbProgreso"));
    progressText_->setWordWrap(true);
    layout->addWidget(frames_);
    layout->addWidget(progressText_, 1);
    panel->hide();
    progress_ = panel;
    return panel;
}

QWidget* RecordedDataWindow::buildButtons()
{
    auto* bar = new QWidget(this);
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* unitRow = new QHBoxLayout;
    auto* toolRow = new QHBoxLayout;
    rows->addLayout(unitRow);
    rows->addLayout(toolRow);
    auto add = [&](QHBoxLayout* row, const char* name, const char* caption, void (RecordedDataWindow::*slot)()) {
        auto* b = new QPushButton(tr0(caption), bar);
        b->setObjectName(tr0(name));
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    add(unitRow, "SSCommandAnterior", "<< Anterior", &RecordedDataWindow::previousUnit);
    add(unitRow, "SSCommandSiguiente", "Siguiente >>", &RecordedDataWindow::nextUnit);
    add(unitRow, "SSCommandBuscar", "Buscar", &RecordedDataWindow::searchUnit);
    unitRow->addStretch();
    add(unitRow, "SSCommandRecibir", "Recibir", &RecordedDataWindow::download);
    add(unitRow, "SSCommandStop", "Parar", &RecordedDataWindow::stop)->hide();
    add(toolRow, "SSCommandGrafica", "Gráfica", &RecordedDataWindow::openGraph);
    add(toolRow, "SSCommandImprimir", "Imprimir", &RecordedDataWindow::openReport);
    add(toolRow, "SSCommandDiario", "Diario", &RecordedDataWindow::openJournal);
    add(toolRow, "SSCommandCsv", "Exportar CSV", &RecordedDataWindow::exportCsv);
    add(toolRow, "SSCommandExportar", "Exportar TQ52", &RecordedDataWindow::exportExchange);
    add(toolRow, "SSCommandProgramacion", "Programación", nullptr);
    toolRow->addStretch();
    add(toolRow, "SSCommandHelp", "Ayuda", nullptr);
    add(toolRow, "SSCommandExit", "Salir", nullptr);
    connect(button("SSCommandProgramacion"), &QPushButton::clicked, this, [this] {
        close();
        if (openProgramming_)
            openProgramming_();
    });
    connect(button("SSCommandHelp"), &QPushButton::clicked, this, [this] {
        if (needs_.openHelp)
            needs_.openHelp();
    });
    connect(button("SSCommandExit"), &QPushButton::clicked, this, &QWidget::close);
    return bar;
}

QPushButton* RecordedDataWindow::button(const char* name) const
{
    return findChild<QPushButton*>(tr0(name));
}

void RecordedDataWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each opening shows the unit of the run: the one last shown or
    // identified by any window, else the first stored.
    if (!event->spontaneous()) {
        openUnitSet();
        showRights();
    }
}

void RecordedDataWindow::showRights()
{
    showRefusal(button("SSCommandRecibir"), refusal(needs_.database, Operation::Download), needs_.translator);
}

void RecordedDataWindow::openUnitSet()
{
    progress_->hide();
    searchField_ = QStringLiteral("TextNumeroSerie");
    if (!hasStore()) {
        clearUnit();
        return;
    }
    const qint32 current = needs_.unit.current();
    if (current != 0 && showUnit(current))
        return;
    const auto first = serialFound(browser_->first());
    if (!first || !showUnit(*first))
        clearUnit();
}

void RecordedDataWindow::clearUnit()
{
    shown_.reset();
    showTitle(this, needs_.translator, shown_);
    for (QLineEdit* e : {serial_, version_, date_, venue_, totalsDate_, totalsTime_, passesVenue_, passesNeighbour_,
                         sensorInactive_, erasures_})
        e->clear();
    for (RecordGridItems* m : models_)
        if (m)
            m->clear();
    updateReportButtons();
}

bool RecordedDataWindow::showUnit(qint32 serial)
{
    if (!hasStore())
        return false;
    auto unit = loadShownUnit(*needs_.database, serial);
    if (!unit)
        return false;
    // What a stopped download left to say belongs to the unit it was about.
    if (!shown_ || shown_->serial != unit->serial)
        progress_->hide();
    shown_ = std::move(unit);
    const ShownUnit& u = *shown_;
    showTitle(this, needs_.translator, shown_);
    needs_.unit.select(u.serial, u.firmware);
    serial_->setText(QString::number(u.serial));
    date_->setText(u.recordDate);
    venue_->setText(u.venue);
    version_->setText(u.firmware);
    totalsDate_->setText(u.totalsDate);
    totalsTime_->setText(u.totalsTime);
    passesVenue_->setText(QString::number(u.passesVenue));
    passesNeighbour_->setText(QString::number(u.passesNeighbour));
    sensorInactive_->setText(QString::number(u.sensorInactive));
    erasures_->setText(QString::number(u.erasures));
    reloadGrids();
    return true;
}

void RecordedDataWindow::reloadGrids()
{
    for (RecordGridItems* m : models_) {
        if (!m)
            continue;
        if (const Status loaded = m->load(shown_->serial); !loaded)
            prompter_.show(loaded.error().detail, MessageStyle::Critical);
    }
    // The older firmware does not measure these.
    const bool measured = qRound(versionValue(shown_->firmware) * 10) >= kUncalibratedFirmwareTenths;
    if (RecordGridItems* m = models_[Intervals]) {
        for (const char* field : kFirmwareColumns)
            views_[Intervals]->setColumnHidden(m->columnOf(tr0(field)), !measured);
    }
    for (QTableView* v : views_)
        fitColumns(v);
    updateReportButtons();
}

void RecordedDataWindow::fitColumns(QTableView* view)
{
    if (const auto* model = qobject_cast<const RecordGridModel*>(view->model()))
        fitGridColumns(*view, *model);
}

void RecordedDataWindow::setGraphOpener(std::function<void()> open)
{
    openGraph_ = std::move(open);
    updateReportButtons();
}

void RecordedDataWindow::setReportOpener(std::function<void()> open)
{
    openReport_ = std::move(open);
    updateReportButtons();
}

void RecordedDataWindow::updateReportButtons()
{
    if (buttonsOff_)
        return;
    // Without intervals the buttons say there is nothing to show; with them,
    // they need the window they open.
    const bool noIntervals = !models_[Intervals] || models_[Intervals]->rowCount() == 0;
    button("SSCommandGrafica")->setEnabled(noIntervals || bool(openGraph_));
    button("SSCommandImprimir")->setEnabled(noIntervals || bool(openReport_));
}

void RecordedDataWindow::previousUnit()
{
    if (!hasStore())
        return;
    const auto serial = serialFound(browser_->previous(shownSerial()));
    if (!serial || !showUnit(*serial))
        beep_();
}

void RecordedDataWindow::nextUnit()
{
    if (!hasStore())
        return;
    const auto serial = serialFound(browser_->next(shownSerial()));
    if (!serial || !showUnit(*serial))
        beep_();
}

void RecordedDataWindow::searchUnit()
{
    const auto field = searchFieldOf(searchField_);
    if (!field || !hasStore())
        return;
    const auto answer =
        prompter_.input(needs_.translator.text(msg::SearchInField) + QLatin1Char(' ') + needs_.translator.text(field->labelId),
                        needs_.translator.text(msg::SearchTitle), QString());
    if (!answer || answer->isEmpty())
        return;
    // No match leaves the unit shown, without a message.
    if (const auto serial = serialFound(browser_->findContaining(*field, *answer)))
        showUnit(*serial);
}

void RecordedDataWindow::sortGrid(Grid grid, int column)
{
    RecordGridItems* m = models_[grid];
    if (!m || !shown_)
        return;
    QScrollBar* across = views_[grid]->horizontalScrollBar();
    const int scrolled = across->value();
    if (const Status sorted = m->sortByColumn(column); !sorted) {
        prompter_.show(sorted.error().detail, MessageStyle::Critical);
    } else {
        // The heading's arrow shows the order the rows now have.
        QHeaderView* header = views_[grid]->horizontalHeader();
        header->setSortIndicatorShown(true);
        header->setSortIndicator(column, m->descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    across->setValue(scrolled);
}

void RecordedDataWindow::openGraph()
{
    if (!models_[Intervals] || models_[Intervals]->rowCount() == 0) {
        showCatalogue(prompter_, needs_.translator, kNoData, MessageStyle::Critical);
        return;
    }
    if (!openGraph_)
        return;
    // Reading and drawing a long history takes a while: the panel says so
    // until the graph window is up (the first turn of its event loop).
    frames_->clear();
    progressText_->setText(needs_.translator.translate(QStringLiteral("Abriendo la gráfica...")));
    progress_->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QTimer::singleShot(0, this, [this] {
        progress_->hide();
        QApplication::restoreOverrideCursor();
    });
    openGraph_();
}

void RecordedDataWindow::openReport()
{
    if (!models_[Intervals] || models_[Intervals]->rowCount() == 0) {
        showCatalogue(prompter_, needs_.translator, kNoData, MessageStyle::Critical);
        return;
    }
    if (openReport_)
        openReport_();
}

void RecordedDataWindow::exportCsv()
{
    const int g = tabs_->currentIndex();
    RecordGridItems* m = models_[std::size_t(g)];
    if (!m || !shown_)
        return;
    static const char* const names[] = {"intervalos", "sesiones", "baterias", "borrados", "reprogramaciones"};
    exportGridCsv(*m, *views_[std::size_t(g)], prompter_, needs_.translator,
                  QStringLiteral("tvq52_%1_%2.csv").arg(shown_->serial).arg(QLatin1String(names[g])));
}

void RecordedDataWindow::exportExchange()
{
    if (!hasStore() || !shown_)
        return;
    const QString path = prompter_.saveFile(
        needs_.translator.translate(QStringLiteral("Exportar archivo de intercambio")),
        {QStringLiteral("VORTA MERIAL TVQ52 File (*.tq52)")}, QStringLiteral("%1.TQ52").arg(shown_->serial));
    if (path.isEmpty())
        return;
    ExchangeSigning signing;
    const Result<qint64> rows = writeExchangeFile(*needs_.database, path, {shown_->serial}, &signing);
    if (signing.warning)
        showError(prompter_, needs_.translator, *signing.warning);
    if (!rows && rows.error().catalogueId == kOwnWords) {
        showError(prompter_, needs_.translator, rows.error());
        return;
    }
    if (!rows) {
        prompter_.show(needs_.translator.translate(QStringLiteral("No se pudo escribir el archivo %1")).arg(path)
                           + QLatin1Char('\n') + rows.error().detail,
                       MessageStyle::Critical);
        return;
    }
    prompter_.show(needs_.translator.translate(QStringLiteral("%1 filas escritas en %2")).arg(*rows).arg(path),
                   MessageStyle::Information);
}

void RecordedDataWindow::openJournal()
{
    if (!hasStore())
        return;
    if (openJournal_)
        openJournal_(shownSerial());
}

void RecordedDataWindow::download()
{
    if (!hasStore())
        return;
    const std::unique_ptr<ExchangeSession> session = needs_.openSession(line_, clock_);
    // A download waits longer for the unit than the other exchanges.
    session->timer().setInterval(kDownloadSilenceLimitMs);
    DownloadWorkflow workflow(*session, prompter_, needs_.translator, *needs_.database, *this);
    stopPressed_ = false;
    workflow_ = &workflow;
    workflow.run();
    workflow_ = nullptr;
    // A unit that answered and is not stored stays the current unit, as
    // one loaded does.
    if (const UnitIdentity& unit = session->unit(); unit.serial != 0 && unit.serial != shownSerial())
        needs_.unit.select(unit.serial, unit.firmware);
}

void RecordedDataWindow::stop()
{
    button("SSCommandStop")->hide();
    button("SSCommandRecibir")->show();
    stopPressed_ = true;
    if (workflow_)
        workflow_->stop();
}

std::optional<DownloadRange> RecordedDataWindow::chooseRange(const DownloadRange& proposal)
{
    if (rangeRunner_)
        return rangeRunner_(proposal);
    RangePicker picker(needs_.translator, prompter_, proposal.start(), proposal.end(), this);
    picker.exec();
    return picker.range();
}

void RecordedDataWindow::showFirmware(const QString& firmware)
{
    version_->setText(firmware);
    if (shown_)
        shown_->firmware = firmware;
}

void RecordedDataWindow::showTotals(const TotalsReading& totals)
{
    totalsDate_->setText(totals.readAt.toString(QStringLiteral("dd/MM/yy")));
    totalsTime_->setText(totals.readAt.toString(QStringLiteral("HH:mm:ss")));
    passesVenue_->setText(QString::number(totals.passesVenue));
    passesNeighbour_->setText(QString::number(totals.passesNeighbour));
    sensorInactive_->setText(QString::number(totals.sensorInactive));
    erasures_->setText(QString::number(totals.erasures));
}

void RecordedDataWindow::ToggleButtons()
{
    // Each command comes back as it was before the download.
    if (!buttonsOff_) {
        buttonsBefore_.clear();
        for (const char* name : kCommands) {
            QPushButton* b = button(name);
            buttonsBefore_.insert(b, b->isEnabled());
            b->setEnabled(false);
        }
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        for (auto it = buttonsBefore_.cbegin(); it != buttonsBefore_.cend(); ++it)
            it.key()->setEnabled(it.value());
        QApplication::restoreOverrideCursor();
    }
    buttonsOff_ = !buttonsOff_;
}

void RecordedDataWindow::downloadStarted()
{
    frames_->setText(QStringLiteral("0"));
    counts_.clear();
    progressText_->setText(needs_.translator.translate(QStringLiteral("Conectando con el TVQ-52...")));
    button("SSCommandRecibir")->hide();
    button("SSCommandStop")->show();
    button("SSCommandStop")->setEnabled(true);
    progress_->show();
}

void RecordedDataWindow::downloadProgress(const DownloadProgress& p)
{
    frames_->setText(QString::number(p.frames));
    QStringList lines;
    for (int k = 0; k < kRecordKinds; ++k) {
        const KindCounts& c = p.counts[std::size_t(k)];
        if (c.received == 0 && RecordKind(k) != p.current)
            continue;
        // Looked up before the numbers go in, so the translation keeps its places.
        lines << needs_.translator.translate(QStringLiteral("%1: %2 recibidos, %3 guardados, %4 rechazados"))
                     .arg(recordKindTitle(needs_.translator, RecordKind(k)))
                     .arg(c.received)
                     .arg(c.added + c.rewritten)
                     .arg(c.refused);
    }
    // What a stop leaves on the panel: the counts, never a rate or an estimate.
    counts_ = lines.join(QLatin1Char('\n'));
    if (p.msLeft) {
        lines << needs_.translator.translate(QStringLiteral("%1 registros/s, quedan %2 s"))
                     .arg(p.recordsPerSecond, 0, 'f', 1)
                     .arg((*p.msLeft + 999) / 1000);
    } else if (p.recordsPerSecond > 0) {
        lines << needs_.translator.translate(QStringLiteral("%1 registros/s")).arg(p.recordsPerSecond, 0, 'f', 1);
    }
    progressText_->setText(lines.join(QLatin1Char('\n')));
}

void RecordedDataWindow::downloadFinished()
{
    button("SSCommandStop")->hide();
    button("SSCommandRecibir")->show();
    // A stopped download says so, beside the counts it reached, until the
    // next unit or download; a finished one has told its outcome already.
    if (stopPressed_) {
        progressText_->setText(
            needs_.translator.translate(QStringLiteral("Descarga parada: lo recibido hasta ahora está guardado."))
            + QLatin1Char('\n') + counts_);
    } else {
        progress_->hide();
    }
    if (shown_)
        showUnit(shown_->serial);
}

bool RecordedDataWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == date_ && event->type() == QEvent::FocusOut && !checkingDate_) {
        // Leaving the window (for the message itself, another window or
        // program) is not leaving the field: checking then would repeat the
        // message each time the window is activated again.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            checkDate();
    }
    return QWidget::eventFilter(watched, event);
}

void RecordedDataWindow::checkDate()
{
    const QString text = date_->text();
    if (text.trimmed().isEmpty() || acceptableDate(text))
        return;
    // After the focus has moved on: the message, then the field again.
    checkingDate_ = true;
    QTimer::singleShot(0, this, [this] {
        showCatalogue(prompter_, needs_.translator, msg::WrongDate, MessageStyle::Critical);
        date_->setFocus(Qt::OtherFocusReason);
        checkingDate_ = false;
    });
}

void RecordedDataWindow::focusMoved(QWidget* now)
{
    if (!now || now->window() != this)
        return;
    if (now == serial_ || now == version_ || now == date_ || now == venue_)
        searchField_ = now->objectName();
}

} // namespace tvq52
