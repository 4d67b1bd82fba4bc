#include "app/gui/help_window.h"

#include "core/application_info.h"
#include "i18n/translator.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tvq52 {

HelpWindow::HelpWindow(const Translator& translator, QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("FormAyuda"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    browser_->setObjectName(QStringLiteral("TextAyuda"));
    // Links to other sites go to the desktop's browser, pages of the manual stay here.
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto add = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    QPushButton* back = add("SSCommandAtras", "Atrás");
    QPushButton* forward = add("SSCommandAdelante", "Adelante");
    QPushButton* contents = add("SSCommandContenido", "Contenido");
    row->addStretch();
    QPushButton* close = add("SSCommandCerrar", "Cerrar");
    layout->addLayout(row);
    layout->addWidget(browser_, 1);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(contents, &QPushButton::clicked, this, [this] {
        if (!contents_.isEmpty())
            browser_->setSource(QUrl::fromLocalFile(contents_));
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QString::fromLatin1(kApplicationTitle)
                                       : title + QStringLiteral(" - ") + QString::fromLatin1(kApplicationTitle));
    });
    translator.translateWindow(this);
    // Wide enough for the pictures of the windows, never wider than the screen.
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1024, 768);
    resize(qMin(900, screen.width() - 40), qMin(700, screen.height() - 60));
}

void HelpWindow::showPage(const QString& path)
{
    contents_ = QFileInfo(path).dir().filePath(QStringLiteral("index.html"));
    browser_->setSource(QUrl::fromLocalFile(path));
    show();
    raise();
    activateWindow();
}

QString HelpWindow::shownPage() const
{
    return browser_->source().toLocalFile();
}

} // namespace tvq52
