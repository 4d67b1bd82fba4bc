#include "reports/gui/report_window.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "core/unit_selection.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "programming/programming_record.h"
#include "records/gui/csv_export.h"
#include "records/gui/grid_column_widths.h"
#include "records/gui/record_grid_items.h"
#include "records/recorded_data.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

namespace tvq52 {

namespace {

constexpr int kNoData = 59;
const char* const kFirmwareColumns[] = {"ByLineaInsuficiente", "ByDNA", "ByENA"};

QString tr0(const char* native)
{
    return QString::fromUtf8(native);
}

} // namespace

ReportWindow::ReportWindow(Needs needs, QWidget* parent)
    : QDialog(parent), needs_(std::move(needs)), prompter_(needs_.prompter)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitleOf(this, needs_.translator.translate(QStringLiteral("Informes")));
    auto* layout = new QVBoxLayout(this);
    auto* grids = new QHBoxLayout;
    const auto boxed = [&](const char* caption, QTableView* view, QLineEdit* field) {
        auto* box = new QGroupBox(tr0(caption), this);
        auto* inner = new QVBoxLayout(box);
        inner->addWidget(field, 0, Qt::AlignLeft);
        inner->addWidget(view);
        grids->addWidget(box, 1);
    };
    startView_ = makeGrid("TDBGridInici", &startModel_);
    endView_ = makeGrid("TDBGridFi", &endModel_);
    startField_ = makeDateField("TxtDesde", startView_, startModel_, RangeEnd::From);
    endField_ = makeDateField("TxtHasta", endView_, endModel_, RangeEnd::To);
    boxed("Desde:", startView_, startField_);
    boxed("Hasta:", endView_, endField_);
    layout->addLayout(grids, 1);

    auto* kinds = new QGroupBox(this);
    auto* kindRow = new QHBoxLayout(kinds);
    const auto option = [&](const char* name, const char* caption) {
        auto* b = new QRadioButton(tr0(caption), kinds);
        b->setObjectName(tr0(name));
        kindRow->addWidget(b);
        return b;
    };
    intervals_ = option("OptionIntervalos", "Registros Leq");
    sessions_ = option("OptionSesiones", "Sesiones");
    exceedances_ = option("OptionExcesos", "Resumen de excesos");
    kindRow->addStretch();
    intervals_->setChecked(true);
    layout->addWidget(kinds);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(tr0(caption), this);
        b->setObjectName(tr0(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    connect(button("SSCommandImprimir", "Imprimir"), &QPushButton::clicked, this, &ReportWindow::print);
    connect(button("SSCommandCsv", "Exportar CSV"), &QPushButton::clicked, this, &ReportWindow::exportCsv);
    buttons->addStretch();
    connect(button("SSCommandHelp", "Ayuda"), &QPushButton::clicked, this, [this] {
        if (needs_.openHelp)
            needs_.openHelp();
    });
    connect(button("SSCommandExit", "Salir"), &QPushButton::clicked, this, &QDialog::close);
    layout->addLayout(buttons);

    needs_.translator.translateWindow(this);
    resize(1000, 640);
}

QTableView* ReportWindow::makeGrid(const char* name, RecordGridItems** model)
{
    auto* v = new QTableView(this);
    v->setObjectName(tr0(name));
    // The headings come from the catalogue in the chosen language.
    v->setProperty("Tag", QStringLiteral("!"));
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->verticalHeader()->hide();
    v->verticalHeader()->setDefaultSectionSize(v->fontMetrics().height() + 6);
    v->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    if (needs_.database) {
        *model = new RecordGridItems(*needs_.database, RecordGrid::Intervals, needs_.translator, this);
        v->setModel(*model);
    }
    return v;
}

QLineEdit* ReportWindow::makeDateField(const char* name, QTableView* view, RecordGridItems* model, RangeEnd end)
{
    auto* field = new QLineEdit(this);
    field->setObjectName(tr0(name));
    field->setInputMask(QStringLiteral("99/99/9999 99:99"));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00")) + 24);
    field->setToolTip(tr0("Escriba una fecha y pulse Intro, o elija una fila de la lista"));
    connect(field, &QLineEdit::returnPressed, this, [this, field, view, model, end] { goToTyped(field, view, model, end); });
    if (model)
        connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this, field, model](const QModelIndex& current) {
                    const auto start = current.isValid() ? rowStart(model, current.row()) : std::nullopt;
                    field->setText(start ? start->toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QString());
                });
    return field;
}

std::optional<QDateTime> ReportWindow::rowStart(const RecordGridItems* model, int row) const
{
    // The stored date and time, never the shown text.
    const QDate day = QDate::fromString(
        model->storedValue(row, model->columnOf(QStringLiteral("DFechaInicio"))).toString().left(10), Qt::ISODate);
    const QTime time =
        QTime::fromString(model->storedValue(row, model->columnOf(QStringLiteral("THoraInicio"))).toString().left(5),
                          QStringLiteral("HH:mm"));
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    return wallClock(day, time);
}

void ReportWindow::goToTyped(QLineEdit* field, QTableView* view, RecordGridItems* model, RangeEnd end)
{
    if (!model)
        return;
    const QDateTime typed = QDateTime::fromString(field->text(), QStringLiteral("dd/MM/yyyy HH:mm"));
    if (!typed.isValid()) {
        prompter_.show(needs_.translator.translate(QStringLiteral("Fecha incorrecta")), MessageStyle::Exclamation);
        return;
    }
    const QDateTime at = wallClock(typed.date(), typed.time());
    // From: the first interval that starts then or later; to: the last that
    // starts then or earlier, whichever way the grid is sorted.
    int best = -1;
    QDateTime bestStart;
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto start = rowStart(model, row);
        if (!start)
            continue;
        const bool inside = end == RangeEnd::From ? *start >= at : *start <= at;
        const bool nearer = best < 0 || (end == RangeEnd::From ? *start < bestStart : *start > bestStart);
        if (inside && nearer) {
            best = row;
            bestStart = *start;
        }
    }
    if (best < 0) {
        showCatalogue(prompter_, needs_.translator, kNoData, MessageStyle::Exclamation);
        return;
    }
    view->selectRow(best);
    view->scrollTo(model->index(best, 0), QAbstractItemView::PositionAtCenter);
}

void ReportWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        loadUnit(needs_.unit.current(), needs_.unit.firmware());
}

bool ReportWindow::loadUnit(qint32 serial, const QString& firmware)
{
    serial_ = serial;
    setWindowTitleOf(this, needs_.translator.translate(QStringLiteral("Informes")), unitCaption(serial));
    if (!startModel_ || !endModel_)
        return false;
    const bool measured = std::lround(versionValue(firmware) * 10) >= 30;
    for (auto [view, model] : {std::pair{startView_, startModel_}, std::pair{endView_, endModel_}}) {
        // Loaded newest first; one header click turns it to oldest first.
        Status loaded = model->load(serial);
        if (loaded)
            loaded = model->sortByColumn(model->columnOf(QStringLiteral("DFechaInicio")));
        if (!loaded) {
            prompter_.show(loaded.error().detail, MessageStyle::Critical);
            return false;
        }
        for (const char* field : kFirmwareColumns)
            view->setColumnHidden(model->columnOf(tr0(field)), !measured);
        fitGridColumns(*view, *model);
    }
    if (startModel_->rowCount() > 0) {
        startView_->selectRow(0);
        endView_->selectRow(endModel_->rowCount() - 1);
        endView_->scrollToBottom();
    }
    return true;
}

void ReportWindow::setKind(RecordedReportKind kind)
{
    (kind == RecordedReportKind::Intervals      ? intervals_
         : kind == RecordedReportKind::Sessions ? sessions_
                                                : exceedances_)
        ->setChecked(true);
}

RecordedReportKind ReportWindow::kind() const
{
    if (sessions_->isChecked())
        return RecordedReportKind::Sessions;
    if (exceedances_->isChecked())
        return RecordedReportKind::Exceedances;
    return RecordedReportKind::Intervals;
}

std::optional<QDateTime> ReportWindow::pickedStart(const QTableView* view, const RecordGridItems* model) const
{
    const QModelIndexList rows = view->selectionModel() ? view->selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty())
        return std::nullopt;
    return rowStart(model, rows.first().row());
}

std::optional<std::pair<QDateTime, QDateTime>> ReportWindow::chosenRange() const
{
    if (!startModel_)
        return std::nullopt;
    const auto from = pickedStart(startView_, startModel_);
    if (!from)
        return std::nullopt;
    // No row picked in the second grid: up to the first grid's row.
    const auto to = pickedStart(endView_, endModel_);
    return std::pair{*from, to.value_or(*from)};
}

void ReportWindow::print()
{
    const auto range = chosenRange();
    if (!range || !needs_.database)
        return;
    RecordedReportRequest request;
    request.kind = kind();
    request.serial = serial_;
    request.from = range->first;
    request.to = range->second;
    request.footer = needs_.footerText();
    request.assetFolder = needs_.assetFolder();
    const RecordedReportResult result = buildRecordedReport(*needs_.database, needs_.translator, request);
    if (!result) {
        showError(prompter_, needs_.translator, result.error());
        return;
    }
    if (!result->has_value()) {
        showCatalogue(prompter_, needs_.translator, kNoData, MessageStyle::Critical);
        return;
    }
    if (needs_.openPreview)
        needs_.openPreview(**result, reportFileStem(), this);
}

QString ReportWindow::reportFileStem() const
{
    static const char* const names[] = {"intervalos", "sesiones", "superaciones"};
    return QStringLiteral("%1_%2").arg(serial_).arg(QLatin1String(names[int(kind())]));
}

void ReportWindow::exportCsv()
{
    if (startModel_)
        exportGridCsv(*startModel_, *startView_, prompter_, needs_.translator,
                      QStringLiteral("tvq52_%1_intervalos.csv").arg(serial_));
}

} // namespace tvq52
