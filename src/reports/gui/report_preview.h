#pragma once

#include "reports/report.h"

#include <QDialog>
#include <memory>

class QLabel;
class QPrintPreviewWidget;
class QPrinter;

namespace tvq52 {

class LocGuru;
class Prompter;

// The preview window: the laid-out report on Qt's print preview, with zoom,
// fit, page navigation, page setup, print and save as PDF.
class Form15 : public QDialog {
    Q_OBJECT
public:
    Form15(const RenderedReport& report, Prompter& prompter, const LocGuru& guru, QWidget* parent = nullptr);
    ~Form15() override;

    QPrintPreviewWidget* preview() const { return preview_; }
    int currentPage() const;
    // Save as PDF without asking (the button asks for the file).
    Status saveAsPdf(const QString& path);

private:
    void paintOn(QPrinter* printer);
    void print();
    void askSavePdf();
    void pageSetup();
    void updatePageLabel();

    const RenderedReport& report_;
    Prompter& prompter_;
    const LocGuru& guru_;
    QPrintPreviewWidget* preview_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    bool userLayout_ = false;
};

// Shows `report` modally in the preview window.
void previewReport(const RenderedReport& report, Prompter& prompter, const LocGuru& guru, QWidget* parent);

} // namespace tvq52
