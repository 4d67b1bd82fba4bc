#include "records/gui/collect_window.h"

#include "core/application_info.h"

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "records/outcome_text.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tvq52 {

CollectWindow::CollectWindow(const Translator& translator, const QList<CollectItem>& items, const QStringList& devices,
                             LineWorkers workers, QWidget* parent)
    : QDialog(parent), translator_(translator), items_(items), settled_(std::size_t(items.size()), false)
{
    setObjectName(QStringLiteral("FormRecogida"));
    QList<CollectItem> dealt;
    for (const CollectItem& item : items) {
        if (listedSerial(item.text)) {
            dealt << item;
            continue;
        }
        CollectedUnit refused;
        refused.index = item.index;
        refused.requested = item.text;
        refused.outcome = CollectOutcome::NotSerialNumber;
        refused_ << refused;
    }
    round_ = new CollectRound(dealt, devices, std::move(workers), this);

    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(int(items.size()), 5, this);
    table_->setObjectName(QStringLiteral("GridRecogida"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Aparato"), QStringLiteral("Línea"), QStringLiteral("Resultado"),
                                       QStringLiteral("Intervalos"), QStringLiteral("Sesiones")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 2);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressRecogida"));
    progress_->setRange(0, int(items.size()));
    progress_->setValue(0);
    layout->addWidget(progress_);
    // What the lines say, as they say it: already in the user's language.
    log_ = new QPlainTextEdit(this);
    log_->setObjectName(QStringLiteral("TextMensajes"));
    log_->setProperty("Tag", QStringLiteral("!"));
    log_->setReadOnly(true);
    layout->addWidget(log_, 1);

    auto* bottom = new QHBoxLayout;
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("LbResumen"));
    summary_->setProperty("Tag", QStringLiteral("!"));
    stop_ = new QPushButton(QStringLiteral("Parar"), this);
    stop_->setObjectName(QStringLiteral("SSCommandStop"));
    stop_->setToolTip(QStringLiteral("Parar las llamadas en curso; lo recibido se guarda"));
    close_ = new QPushButton(QStringLiteral("Cerrar"), this);
    close_->setObjectName(QStringLiteral("SSCommandExit"));
    close_->setEnabled(false);
    bottom->addWidget(summary_, 1);
    bottom->addWidget(stop_);
    bottom->addWidget(close_);
    layout->addLayout(bottom);

    for (int row = 0; row < items.size(); ++row)
        setCells(row, {items[row].text, QString(), translator_.translate(QStringLiteral("En espera"))});
    for (const CollectedUnit& unit : std::as_const(refused_))
        showUnit(unit);

    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);
        round_->stop();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(round_, &CollectRound::unitTaken, this, &CollectWindow::showTaken);
    connect(round_, &CollectRound::unitDone, this, &CollectWindow::showUnit);
    connect(round_, &CollectRound::workerSaid, this, &CollectWindow::log);
    connect(round_, &CollectRound::failed, this, [this](const Error& e) { log(errorText(translator_, e)); });
    connect(round_, &CollectRound::finished, this, &CollectWindow::showEnd);
    resize(760, 520);
    translator_.translateWindow(this);
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Recoger ahora")));
}

void CollectWindow::start()
{
    round_->start();
}

int CollectWindow::rowOf(int index) const
{
    // Items come numbered in the list's order.
    return index >= 0 && index < items_.size() && items_[index].index == index ? index : -1;
}

void CollectWindow::setCells(int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c)
        table_->setItem(row, c, new QTableWidgetItem(cells[c]));
}

void CollectWindow::showTaken(int index, const QString& device)
{
    if (const int row = rowOf(index); row >= 0)
        setCells(row, {items_[row].text, device, translator_.translate(QStringLiteral("Llamando"))});
}

void CollectWindow::showUnit(const CollectedUnit& unit)
{
    const int row = rowOf(unit.index);
    if (row < 0)
        return;
    QStringList cells{unit.requested, unit.line, collectOutcomeText(translator_, unit.outcome)};
    if (unit.answered != 0 || unit.intervals != 0 || unit.sessions != 0)
        cells << QString::number(unit.intervals) << QString::number(unit.sessions);
    setCells(row, cells);
    if (!settled_[row]) {
        settled_[row] = true;
        progress_->setValue(progress_->value() + 1);
    }
}

void CollectWindow::showEnd()
{
    // Units no line called, or none was given once the round stopped.
    for (int row = 0; row < items_.size(); ++row)
        if (!settled_[row])
            setCells(row, {items_[row].text, QString(), collectOutcomeText(translator_, CollectOutcome::NotCalled)});
    const auto& units = round_->outcome().units;
    const auto collected = std::count_if(units.begin(), units.end(), [](const CollectedUnit& u) { return u.ok; });
    const QString counts = round_->outcome().stopped
        ? translator_.translate(QStringLiteral("Recogida parada: %1 de %2 unidades recogidas"))
        : translator_.translate(QStringLiteral("%1 de %2 unidades recogidas"));
    summary_->setText(counts.arg(collected).arg(items_.size()));
    progress_->setValue(progress_->maximum());
    stop_->setEnabled(false);
    close_->setEnabled(true);
    table_->resizeColumnsToContents();
    emit roundFinished();
}

void CollectWindow::log(const QString& text)
{
    log_->appendPlainText(text);
}

void CollectWindow::closeEvent(QCloseEvent* event)
{
    if (round_->isRunning()) {
        stop_->setEnabled(false);
        round_->stop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CollectWindow::reject()
{
    if (round_->isRunning()) {
        stop_->setEnabled(false);
        round_->stop();
        return;
    }
    QDialog::reject();
}

} // namespace tvq52
