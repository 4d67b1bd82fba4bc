#pragma once

#include "reports/report.h"

#include <QDialog>
#include <QScrollArea>
#include <functional>
#include <memory>

class QLabel;
class QPrinter;

namespace tvq52 {

class Translator;
class Prompter;

// The preview's view: one page of the report at a time, laid out when it is
// shown, never the whole report held.
class ReportPageView : public QScrollArea {
    Q_OBJECT
public:
    explicit ReportPageView(const RenderedReport& report, QWidget* parent = nullptr);

    int pageCount() const { return report_.pageCount(); }
    // From 1, as the page counter shows it; 0 for a report without pages.
    int currentPage() const { return current_; }
    void setCurrentPage(int page);
    void zoomIn();
    void zoomOut();
    void fitToWidth();
    void fitInView();
    // Pixels per millimetre of the page.
    double zoom() const { return zoom_; }
    // Told when laying a page out fails (its records can no longer be read).
    void onFailure(std::function<void(const Error&)> tell) { tell_ = std::move(tell); }

signals:
    void pageChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Scrolling on past a page's end turns to the next page, as in a
    // document viewer; the keys do the same.
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Fit { None, Width, Page };
    // Turns `step` pages on (or back) when the page is scrolled to that end;
    // true when it turned.
    bool turnAtEdge(int step);
    void setZoom(double zoom, Fit fit);
    void fit();
    void showPage();

    const RenderedReport& report_;
    QLabel* page_ = nullptr;
    int current_ = 0;
    double zoom_ = 3;
    Fit fit_ = Fit::Width;
    std::function<void(const Error&)> tell_;
};

// The preview window: the report's pages one at a time, with zoom, fit,
// page navigation, page setup, print and save as PDF.
class ReportPreviewWindow : public QDialog {
    Q_OBJECT
public:
    ReportPreviewWindow(const RenderedReport& report, Prompter& prompter, const Translator& translator,
                        QWidget* parent = nullptr);
    ~ReportPreviewWindow() override;

    ReportPageView* preview() const { return preview_; }
    int currentPage() const;
    // Save as PDF without asking (the button asks for the file).
    Status saveAsPdf(const QString& path);
    // What the PDF's proposed name starts with (serial and report); the date
    // and ".pdf" follow.
    void setFileStem(const QString& stem) { fileStem_ = stem; }
    QString proposedPdfName(const QDate& day) const;
    // Asks for the file, adds ".pdf" to a name without it, writes the PDF
    // and says where it went.
    void askSavePdf();

private:
    void print();
    void pageSetup();
    void updatePageLabel();

    const RenderedReport& report_;
    Prompter& prompter_;
    const Translator& translator_;
    ReportPageView* preview_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    bool userLayout_ = false;
    QString fileStem_;
};

// Shows `report` modally in the preview window; `fileStem` starts the name
// its PDF is proposed under.
void previewReport(const RenderedReport& report, Prompter& prompter, const Translator& translator, QWidget* parent,
                   const QString& fileStem = {});

} // namespace tvq52
