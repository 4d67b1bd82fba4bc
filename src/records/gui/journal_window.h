#pragma once

#include "evidence/journal.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace tvq52 {

class Database;
class Prompter;
class Translator;

// The exchange journal, newest entry first, for every unit or one; the
// chain head is shown so that it can be noted elsewhere.
class JournalWindow : public QDialog {
    Q_OBJECT
public:
    JournalWindow(const Translator& translator, Prompter& prompter, Database& database, qint32 shownSerial,
                  QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // Lists the entries again with the filter as it stands; a journal that
    // cannot be read is told, and the list is left as it was.
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Lays the columns out for the window's width.
    void fitColumns();
    void fitMessageColumn();
    const Translator& translator_;
    Prompter& prompter_;
    Journal journal_;
    QRadioButton* all_ = nullptr;
    QRadioButton* one_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* head_ = nullptr;
    QLabel* shown_ = nullptr;
};

} // namespace tvq52
