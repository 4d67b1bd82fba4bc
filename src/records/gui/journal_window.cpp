#include "records/gui/journal_window.h"

#include "core/application_info.h"
#include "records/gui/record_kind_text.h"
#include "records/outcome_text.h"

#include "db/database.h"
#include "evidence/journal.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tvq52 {

namespace {

constexpr int kUserColumn = 7;

QString actionText(const Translator& translator, JournalAction action)
{
    switch (action) {
    case JournalAction::Download:
        return translator.translate(QStringLiteral("Descarga de datos"));
    case JournalAction::ProgramReceive:
        return translator.translate(QStringLiteral("Recepción de programación"));
    case JournalAction::ProgramTransmit:
        return translator.translate(QStringLiteral("Transmisión de programación"));
    case JournalAction::UnitDeletion:
        return translator.translate(QStringLiteral("Borrado de ficha"));
    case JournalAction::Merge:
        return translator.translate(QStringLiteral("Fusión de base de datos"));
    case JournalAction::Import:
        return translator.translate(QStringLiteral("Importación de archivo de intercambio"));
    case JournalAction::Adopt:
        return translator.translate(QStringLiteral("Registros anteriores al diario"));
    case JournalAction::Restart:
        return translator.translate(QStringLiteral("Diario vuelto a empezar"));
    }
    return {};
}

QString lineText(const Translator& translator, const QString& line)
{
    if (line == QLatin1String("cable"))
        return translator.translate(QStringLiteral("Cable"));
    if (line == QLatin1String("modem"))
        return translator.translate(QStringLiteral("Módem"));
    return line;
}

// The entry's signer by name, so that the counts stay in sight; the tooltip
// has the whole subject and the fingerprint.
QString signerText(const Translator& translator, const JournalSigning& s)
{
    if (!s.isSigned)
        return translator.translate(QStringLiteral("Sin firma"));
    if (!s.valid)
        return translator.translate(QStringLiteral("Firma no válida"));
    const QString who = s.signer.commonName.isEmpty() ? s.signer.subject : s.signer.commonName;
    return s.trusted ? who : translator.translate(QStringLiteral("Sin confianza: %1")).arg(who);
}

} // namespace

JournalWindow::JournalWindow(const Translator& translator, Prompter& prompter, Database& database, qint32 shownSerial,
                             QWidget* parent)
    : QDialog(parent), translator_(translator), prompter_(prompter), journal_(database)
{
    setObjectName(QStringLiteral("FormDiario"));
    // It lists one unit or all, as chosen: the title names no unit.
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Diario de intercambios")));
    auto* layout = new QVBoxLayout(this);

    auto* filter = new QHBoxLayout;
    all_ = new QRadioButton(QStringLiteral("Todos los aparatos"), this);
    all_->setObjectName(QStringLiteral("OptionTodos"));
    one_ = new QRadioButton(QStringLiteral("Número de serie:"), this);
    one_->setObjectName(QStringLiteral("OptionAparato"));
    serial_ = new QLineEdit(this);
    serial_->setObjectName(QStringLiteral("TextNumeroSerie"));
    serial_->setValidator(new QIntValidator(0, 2147483647, serial_));
    serial_->setMinimumWidth(serial_->fontMetrics().horizontalAdvance(QStringLiteral("00000000000")) + 12);
    filter->addWidget(all_);
    filter->addWidget(one_);
    filter->addWidget(serial_);
    filter->addStretch();
    layout->addLayout(filter);

    table_ = new QTableWidget(0, 9, this);
    table_->setObjectName(QStringLiteral("GridDiario"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Fecha y hora"), QStringLiteral("Acción"),
                                       QStringLiteral("Aparato"), QStringLiteral("Línea"), QStringLiteral("Resultado"),
                                       QStringLiteral("Mensaje"), QStringLiteral("Registros"),
                                       QStringLiteral("Usuario"), QStringLiteral("Firmado por")});
    // A file has one user; a server names the login that opened each entry.
    table_->setColumnHidden(kUserColumn, !database.isServer());
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);

    shown_ = new QLabel(this);
    shown_->setObjectName(QStringLiteral("LbEntradasMostradas"));
    shown_->setProperty("Tag", QStringLiteral("!"));
    layout->addWidget(shown_);

    auto* bottom = new QHBoxLayout;
    auto* headCaption = new QLabel(QStringLiteral("Cabeza de la cadena:"), this);
    head_ = new QLabel(this);
    head_->setObjectName(QStringLiteral("LbCabeza"));
    head_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A hash, never translated.
    head_->setProperty("Tag", QStringLiteral("!"));
    auto* close = new QPushButton(QStringLiteral("Cerrar"), this);
    close->setObjectName(QStringLiteral("SSCommandExit"));
    bottom->addWidget(headCaption);
    bottom->addWidget(head_, 1);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    if (shownSerial != 0) {
        serial_->setText(QString::number(shownSerial));
        one_->setChecked(true);
    } else {
        all_->setChecked(true);
    }
    connect(all_, &QRadioButton::toggled, this, &JournalWindow::refresh);
    connect(serial_, &QLineEdit::textEdited, this, [this] {
        one_->setChecked(true);
        refresh();
    });
    resize(1000, 480);
    translator_.translateWindow(this);
    refresh();
}

void JournalWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    fitColumns();
}

void JournalWindow::fitColumns()
{
    table_->resizeColumnsToContents();
    fitMessageColumn();
    // The counts take a line per kind, a long message wraps.
    table_->resizeRowsToContents();
}

void JournalWindow::fitMessageColumn()
{
    // A long message would push the counts out of sight: it wraps instead,
    // in what the other columns leave.
    constexpr int kMessage = 5;
    int others = 0;
    for (int c = 0; c < table_->columnCount(); ++c)
        if (c != kMessage && !table_->isColumnHidden(c))
            others += table_->columnWidth(c);
    // Wrapping makes rows taller: room is kept for the vertical bar that may bring.
    const QScrollBar* bar = table_->verticalScrollBar();
    const int room = table_->viewport()->width() - (bar->isVisible() ? 0 : bar->sizeHint().width()) - others;
    const int narrowest = table_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 12;
    if (table_->columnWidth(kMessage) > room)
        table_->setColumnWidth(kMessage, std::max(room, narrowest));
}

void JournalWindow::refresh()
{
    std::optional<qint32> serial;
    if (one_->isChecked())
        serial = serial_->text().toInt();
    const Result<QList<JournalEntry>> entries = journal_.entries(serial);
    const Result<QByteArray> head = entries ? journal_.head() : Result<QByteArray>(entries.error());
    if (!head) {
        showError(prompter_, translator_, head.error());
        return;
    }
    table_->setRowCount(int(entries->size()));
    int row = 0;
    for (const JournalEntry& e : *entries) {
        const QString counts = journalCountsText(translator_, e.counts);
        const JournalSigning signing = journal_.signing(e);
        const QStringList cells{e.at.toString(QStringLiteral("dd/MM/yy HH:mm:ss")),
                                actionText(translator_, e.action),
                                e.serial ? QString::number(e.serial) : QString(),
                                lineText(translator_, e.line),
                                journalOutcomeText(translator_, e.outcome),
                                journalMessageText(translator_, e),
                                counts,
                                e.user,
                                signerText(translator_, signing)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            table_->setItem(row, c, item);
        }
        if (!signing.signer.isNull())
            table_->item(row, int(cells.size()) - 1)
                ->setToolTip(signing.signer.subject + QLatin1Char('\n')
                             + QString::fromLatin1(signing.signer.fingerprint));
        ++row;
    }
    // What the filter shows, not the whole journal.
    shown_->setText(translator_.translate(QStringLiteral("Entradas mostradas: %1")).arg(entries->size()));
    fitColumns();
    head_->setText(QString::fromLatin1(*head));
}

} // namespace tvq52
