#pragma once

#include <QDialog>

class QTextBrowser;

namespace tvq52 {

class Translator;

// The manual, read in the program itself: its pages are plain HTML with
// pictures, so no browser need be installed.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(const Translator& translator, QWidget* parent = nullptr);

    // Shows the page file `path` and brings the window up.
    void showPage(const QString& path);
    QString shownPage() const;

private:
    QTextBrowser* browser_;
    QString contents_;
};

} // namespace tvq52
