#include "exchange/gui/exchange_import_dialog.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "i18n/translator.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tvq52 {

ExchangeImportDialog::ExchangeImportDialog(Translator& translator, Prompter& prompter, Database& database, QString path,
                                           QWidget* parent)
    : QDialog(parent), translator_(translator), prompter_(prompter), database_(database), path_(std::move(path))
{
    setObjectName(QStringLiteral("Form16"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("fraPrincipal"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto* inner = new QVBoxLayout(frame);
    file_ = new QLabel(frame);
    file_->setObjectName(QStringLiteral("lblFitxer"));
    file_->setProperty("Tag", QStringLiteral("!")); // a file name is never translated
    text_ = new QLabel(QStringLiteral("Importando datos"), frame);
    text_->setObjectName(QStringLiteral("lblText"));
    text_->setWordWrap(true);
    bar_ = new QProgressBar(frame);
    bar_->setObjectName(QStringLiteral("prgAvance"));
    bar_->setRange(0, 1000);
    bar_->setValue(0);
    summaryView_ = new QPlainTextEdit(frame);
    summaryView_->setObjectName(QStringLiteral("txtResumen"));
    summaryView_->setReadOnly(true);
    summaryView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // There from the start, so that the window keeps its size when the
    // summary arrives.
    summaryView_->setMinimumSize(600, 220);
    inner->addWidget(file_);
    inner->addWidget(text_);
    inner->addWidget(bar_);
    inner->addWidget(summaryView_);
    layout->addWidget(frame);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cancel_ = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel_->setObjectName(QStringLiteral("sscmdCancel"));
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (running_)
            cancelled_ = true;
        else
            accept();
    });

    translator_.translateWindow(this);
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Importación de archivo de intercambio")));
    designText_ = text_->text();
    file_->setText(QFileInfo(path_).fileName());
}

void ExchangeImportDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        QTimer::singleShot(0, this, &ExchangeImportDialog::runImport);
    }
}

void ExchangeImportDialog::reject()
{
    // Escape or the close box during the import cancels it; the window stays
    // to show what was done.
    if (running_) {
        cancelled_ = true;
        return;
    }
    QDialog::reject();
}

void ExchangeImportDialog::runImport()
{
    if (running_ || finished_)
        return;
    running_ = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ExchangeImporter importer(database_);
    importer.translator = &translator_;
    importer.onProgress = [this](const ImportProgress& p) { showProgress(p); };
    importer.cancelRequested = [this] { return cancelled_; };
    importer.requireSigned = requireSigned;
    // Asked before a row is stored; No unless the user says otherwise.
    importer.acceptUnsigned = [this](const ProvenanceVerdict& v) {
        QApplication::restoreOverrideCursor();
        const Answer answer =
            prompter_.message(Message{unsignedQuestion(v, &translator_), QString::fromLatin1(kApplicationTitle),
                                      MessageStyle::YesNoQuestion, 0, Answer::No});
        QApplication::setOverrideCursor(Qt::BusyCursor);
        return answer == Answer::Yes;
    };
    summary_ = importer.run(path_);
    QApplication::restoreOverrideCursor();
    running_ = false;
    finished_ = true;
    const bool changed = summary_.verdict.kind == ProvenanceVerdict::Kind::Changed;
    if (!summary_.opened || summary_.notExchange || !summary_.refusal.isEmpty()
        || (summary_.failure.failed() && summary_.failedAtLine == 0)) {
        prompter_.show(summaryLines(summary_, translator_).join(QLatin1Char('\n')),
                       summary_.failure.failed() || changed ? MessageStyle::Critical : MessageStyle::Exclamation);
        accept();
        return;
    }
    showSummary();
    // The rows are stored, but the file is not what was written: a warning, not a summary.
    if (const QString warning = provenanceWarning(summary_.provenance, &translator_); !warning.isEmpty())
        prompter_.show(warning, MessageStyle::Exclamation);
}

void ExchangeImportDialog::showProgress(const ImportProgress& p)
{
    text_->setText(designText_ + QStringLiteral("   ") + progressText(p, translator_));
    if (p.bytesTotal > 0)
        bar_->setValue(int(1000 * p.bytesRead / p.bytesTotal));
    QCoreApplication::processEvents();
    if (afterProgress)
        afterProgress(p);
}

void ExchangeImportDialog::showSummary()
{
    bar_->setValue(summary_.cancelled || summary_.failure.failed() ? bar_->value() : bar_->maximum());
    text_->setText(summary_.failure.failed()
                       ? translator_.translate(QStringLiteral("Importación detenida por un fallo de la base de datos"))
                       : summary_.cancelled ? translator_.translate(QStringLiteral("Importación cancelada"))
                                            : translator_.translate(QStringLiteral("Importación terminada")));
    QStringList lines = summaryLines(summary_, translator_);
    if (lines.isEmpty())
        lines << translator_.translate(QStringLiteral("El archivo no contiene registros."));
    summaryView_->setPlainText(lines.join(QLatin1Char('\n')));
    cancel_->setText(translator_.translate(QStringLiteral("Cerrar")));
}

} // namespace tvq52
