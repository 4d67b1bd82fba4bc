#include "reports/gui/report_preview.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/loc_guru.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tvq52 {

Form15::Form15(const RenderedReport& report, Prompter& prompter, const LocGuru& guru, QWidget* parent)
    : QDialog(parent), report_(report), prompter_(prompter), guru_(guru)
{
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    preview_ = new QPrintPreviewWidget(printer_.get(), this);
    preview_->setObjectName(QStringLiteral("VSPrinter1"));
    connect(preview_, &QPrintPreviewWidget::paintRequested, this, &Form15::paintOn);
    connect(preview_, &QPrintPreviewWidget::previewChanged, this, &Form15::updatePageLabel);

    auto button = [this](const char* name, const QString& text, auto slot) -> QAbstractButton* {
        QAbstractButton* b = nullptr;
        // Symbols need no more than a square: tool buttons.
        if (text.size() <= 2) {
            b = new QToolButton(this);
        } else {
            auto* push = new QPushButton(this);
            push->setAutoDefault(false);
            b = push;
        }
        b->setText(text);
        b->setObjectName(QLatin1String(name));
        connect(b, &QAbstractButton::clicked, this, slot);
        return b;
    };
    auto* bar = new QHBoxLayout;
    bar->addWidget(button("SSCommandZoomIn", QStringLiteral("+"), [this] { preview_->zoomIn(); }));
    bar->addWidget(button("SSCommandZoomOut", QStringLiteral("-"), [this] { preview_->zoomOut(); }));
    bar->addWidget(button("SSCommandFitWidth", guru.GetTranslation(QStringLiteral("Ancho de página")),
                          [this] { preview_->fitToWidth(); }));
    bar->addWidget(button("SSCommandFitPage", guru.GetTranslation(QStringLiteral("Página entera")),
                          [this] { preview_->fitInView(); }));
    bar->addSpacing(12);
    bar->addWidget(button("SSCommandFirst", QStringLiteral("|<"), [this] { preview_->setCurrentPage(1); }));
    bar->addWidget(button("SSCommandPrevious", QStringLiteral("<"),
                          [this] { preview_->setCurrentPage(std::max(1, preview_->currentPage() - 1)); }));
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("LbPagina"));
    bar->addWidget(pageLabel_);
    bar->addWidget(button("SSCommandNext", QStringLiteral(">"), [this] {
        preview_->setCurrentPage(std::min(preview_->pageCount(), preview_->currentPage() + 1));
    }));
    bar->addWidget(
        button("SSCommandLast", QStringLiteral(">|"), [this] { preview_->setCurrentPage(preview_->pageCount()); }));
    bar->addStretch();
    bar->addWidget(
        button("SSCommandPagina", guru.GetTranslation(QStringLiteral("Configurar página")), [this] { pageSetup(); }));
    bar->addWidget(
        button("SSCommandPdf", guru.GetTranslation(QStringLiteral("Guardar PDF")), [this] { askSavePdf(); }));
    bar->addWidget(button("SSCommandImprimir", guru.GetTranslation(QStringLiteral("Imprimir")), [this] { print(); }));
    bar->addWidget(button("SSCommandExit", guru.GetTranslation(QStringLiteral("Salir")), [this] { accept(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(preview_, 1);
    resize(1000, 720);
    preview_->fitToWidth();
    updatePageLabel();
}

Form15::~Form15() = default;

int Form15::currentPage() const
{
    return preview_->currentPage();
}

void Form15::paintOn(QPrinter* printer)
{
    report_.print(*printer, userLayout_);
}

void Form15::updatePageLabel()
{
    pageLabel_->setText(QStringLiteral("%1 / %2").arg(preview_->currentPage()).arg(preview_->pageCount()));
}

void Form15::pageSetup()
{
    QPageSetupDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted) {
        userLayout_ = true;
        preview_->updatePreview();
    }
}

void Form15::print()
{
    QPrintDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        report_.print(*printer_, userLayout_);
}

Status Form15::saveAsPdf(const QString& path)
{
    return report_.writePdf(path, windowTitle());
}

void Form15::askSavePdf()
{
    const QString path = prompter_.saveFile(guru_.GetTranslation(QStringLiteral("Guardar PDF")),
                                            {QStringLiteral("PDF (*.pdf)")}, QString());
    if (path.isEmpty())
        return;
    showFailure(prompter_, guru_, saveAsPdf(path));
}

void previewReport(const RenderedReport& report, Prompter& prompter, const LocGuru& guru, QWidget* parent)
{
    Form15 window(report, prompter, guru, parent);
    window.exec();
}

} // namespace tvq52
