#include "reports/gui/report_preview.h"

#include "i18n/gui/access_keys.h"

#include "core/application_info.h"
#include "core/prompter.h"
#include "evidence/signed_pdf.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tvq52 {

namespace {

constexpr double kZoomStep = 1.25;
constexpr double kZoomMin = 0.5; // pixels per millimetre
constexpr double kZoomMax = 8;   // an A4 page of 16 MB: one page is held as an image

} // namespace

ReportPageView::ReportPageView(const RenderedReport& report, QWidget* parent) : QScrollArea(parent), report_(report)
{
    page_ = new QLabel;
    page_->setObjectName(QStringLiteral("LbPage"));
    setWidget(page_);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    current_ = report.pageCount() > 0 ? 1 : 0;
    showPage();
}

void ReportPageView::setCurrentPage(int page)
{
    page = std::clamp(page, std::min(1, pageCount()), pageCount());
    if (page == current_)
        return;
    current_ = page;
    showPage();
    emit pageChanged();
}

bool ReportPageView::turnAtEdge(int step)
{
    QScrollBar* bar = verticalScrollBar();
    const bool atEdge = step > 0 ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
    const int target = current_ + step;
    if (!atEdge || target < 1 || target > pageCount())
        return false;
    setCurrentPage(target);
    // The new page is entered from the side it was scrolled towards.
    bar->setValue(step > 0 ? bar->minimum() : bar->maximum());
    return true;
}

void ReportPageView::wheelEvent(QWheelEvent* event)
{
    const int dy = event->angleDelta().y();
    if (dy != 0 && !(event->modifiers() & Qt::ControlModifier) && turnAtEdge(dy < 0 ? 1 : -1)) {
        event->accept();
        return;
    }
    QScrollArea::wheelEvent(event);
}

void ReportPageView::keyPressEvent(QKeyEvent* event)
{
    int step = 0;
    if (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_Down)
        step = 1;
    else if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_Up)
        step = -1;
    if (step != 0 && event->modifiers() == Qt::NoModifier && turnAtEdge(step)) {
        event->accept();
        return;
    }
    QScrollArea::keyPressEvent(event);
}

void ReportPageView::zoomIn()
{
    setZoom(zoom_ * kZoomStep, Fit::None);
}

void ReportPageView::zoomOut()
{
    setZoom(zoom_ / kZoomStep, Fit::None);
}

void ReportPageView::fitToWidth()
{
    fit_ = Fit::Width;
    fit();
}

void ReportPageView::fitInView()
{
    fit_ = Fit::Page;
    fit();
}

void ReportPageView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    fit();
}

void ReportPageView::setZoom(double zoom, Fit fit)
{
    fit_ = fit;
    zoom = std::clamp(zoom, kZoomMin, kZoomMax);
    if (std::abs(zoom - zoom_) < 1e-6)
        return;
    zoom_ = zoom;
    showPage();
}

// The zoom that fits the page into the view, kept while the view is resized.
void ReportPageView::fit()
{
    const QSizeF mm = report_.pageSizeMm();
    if (fit_ == Fit::None || mm.isEmpty())
        return;
    const QSize room = maximumViewportSize() - QSize(4, 4);
    // The width fit leaves room for the scroll bar it brings.
    const double byWidth = (room.width() - verticalScrollBar()->sizeHint().width()) / mm.width();
    const double byPage = std::min(room.width() / mm.width(), room.height() / mm.height());
    setZoom(fit_ == Fit::Width ? byWidth : byPage, fit_);
}

void ReportPageView::showPage()
{
    const QSizeF mm = report_.pageSizeMm();
    if (current_ < 1 || mm.isEmpty()) {
        page_->setPixmap(QPixmap());
        page_->adjustSize();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    QImage image((QSizeF(mm) * zoom_ * ratio).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const Status painted = report_.paintPage(painter, current_ - 1);
    painter.end();
    // Painted on every physical pixel, shown at the zoom's size.
    image.setDevicePixelRatio(ratio);
    page_->setPixmap(QPixmap::fromImage(image));
    page_->adjustSize();
    if (!painted && tell_)
        tell_(painted.error());
}

ReportPreviewWindow::ReportPreviewWindow(const RenderedReport& report, Prompter& prompter, const Translator& translator,
                                         QWidget* parent)
    : QDialog(parent), report_(report), prompter_(prompter), translator_(translator)
{
    setObjectName(QStringLiteral("ReportPreviewWindow"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    preview_ = new ReportPageView(report, this);
    preview_->setObjectName(QStringLiteral("VSPrinter1"));
    preview_->onFailure([this](const Error& error) { showError(prompter_, translator_, error); });
    connect(preview_, &ReportPageView::pageChanged, this, &ReportPreviewWindow::updatePageLabel);

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
    bar->addWidget(button("SSCommandFitWidth", translator.translate(QStringLiteral("Ancho de página")),
                          [this] { preview_->fitToWidth(); }));
    bar->addWidget(button("SSCommandFitPage", translator.translate(QStringLiteral("Página entera")),
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
        button("SSCommandPagina", translator.translate(QStringLiteral("Configurar página")), [this] { pageSetup(); }));
    bar->addWidget(
        button("SSCommandPdf", translator.translate(QStringLiteral("Guardar PDF")), [this] { askSavePdf(); }));
    bar->addWidget(button("SSCommandImprimir", translator.translate(QStringLiteral("Imprimir")), [this] { print(); }));
    bar->addWidget(button("SSCommandExit", translator.translate(QStringLiteral("Salir")), [this] { accept(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(preview_, 1);
    // As large as a small screen allows, leaving room for the title bar.
    QSize size(1000, 720);
    if (const QScreen* sc = screen())
        size = size.boundedTo(sc->availableGeometry().size() - QSize(16, 48));
    resize(size);
    preview_->fitToWidth();
    updatePageLabel();
    setAccessKeys(this);
}

ReportPreviewWindow::~ReportPreviewWindow() = default;

int ReportPreviewWindow::currentPage() const
{
    return preview_->currentPage();
}

void ReportPreviewWindow::updatePageLabel()
{
    pageLabel_->setText(QStringLiteral("%1 / %2").arg(preview_->currentPage()).arg(preview_->pageCount()));
}

void ReportPreviewWindow::pageSetup()
{
    QPageSetupDialog dialog(printer_.get(), this);
    // The paper chosen is the printer's: the preview keeps showing the
    // report's own page.
    if (dialog.exec() == QDialog::Accepted)
        userLayout_ = true;
}

void ReportPreviewWindow::print()
{
    QPrintDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        showFailure(prompter_, translator_, report_.print(*printer_, userLayout_));
}

Status ReportPreviewWindow::saveAsPdf(const QString& path)
{
    return report_.writePdf(path, windowTitle());
}

QString ReportPreviewWindow::proposedPdfName(const QDate& day) const
{
    const QString stem = fileStem_.isEmpty() ? QStringLiteral("tvq52") : fileStem_;
    return QStringLiteral("%1_%2.pdf").arg(stem, day.toString(QStringLiteral("yyyy-MM-dd")));
}

void ReportPreviewWindow::askSavePdf()
{
    // A bare name: the dialog proposes it in the folder last used.
    QString path = prompter_.saveFile(translator_.translate(QStringLiteral("Guardar PDF")),
                                      {QStringLiteral("PDF (*.pdf)")}, proposedPdfName(QDate::currentDate()));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        path += QLatin1String(".pdf");
    const Status saved = saveAsPdf(path);
    if (!saved) {
        showFailure(prompter_, translator_, saved);
        return;
    }
    prompter_.show(translator_.translate(QStringLiteral("PDF guardado en %1")).arg(QDir::toNativeSeparators(path)),
                   MessageStyle::Information);
    warnOfPdfSigning(prompter_, translator_);
}

void previewReport(const RenderedReport& report, Prompter& prompter, const Translator& translator, QWidget* parent,
                   const QString& fileStem)
{
    ReportPreviewWindow window(report, prompter, translator, parent);
    window.setFileStem(fileStem);
    window.exec();
}

} // namespace tvq52
