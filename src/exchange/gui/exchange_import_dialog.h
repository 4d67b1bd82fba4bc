#pragma once

#include "exchange/exchange_import.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tvq52 {

class Database;
class Translator;
class Prompter;

// The import window: names the file, shows the import's progress with a
// Cancel button, and at the end its summary until the user closes it.
class ExchangeImportDialog : public QDialog {
public:
    // Imports the file at `path` into `database`.
    ExchangeImportDialog(Translator& translator, Prompter& prompter, Database& database, QString path, QWidget* parent);

    // Runs the import once, from the first showing of the window.
    void runImport();
    const ImportSummary& summary() const { return summary_; }
    bool finished() const { return finished_; }
    // Only files signed by a trusted office are taken without asking.
    bool requireSigned = false;
    // Called after each progress update is on screen (lets a test look at it).
    std::function<void(const ImportProgress&)> afterProgress;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void showProgress(const ImportProgress& p);
    void showSummary();

    Translator& translator_;
    Prompter& prompter_;
    Database& database_;
    QString path_;
    QString designText_;
    QLabel* file_ = nullptr;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPlainTextEdit* summaryView_ = nullptr;
    QPushButton* cancel_ = nullptr;
    ImportSummary summary_;
    bool started_ = false;
    bool running_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
};

} // namespace tvq52
