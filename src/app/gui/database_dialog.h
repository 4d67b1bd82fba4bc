#pragma once

#include "db/database_target.h"

#include <QDialog>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

namespace tvq52 {

struct AppContext;
class Prompter;

// Where the records live: the data folder's own file or an office's
// PostgreSQL server. No password field: it is asked when connecting and
// never kept.
class DatabaseDialog : public QDialog {
    Q_OBJECT
public:
    // `why`: the failure that brought the dialog up at start, shown on top.
    DatabaseDialog(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr, const QString& why = {});

    // What the fields say; nothing when the server's fields are incomplete.
    std::optional<DatabaseTarget> chosen() const;
    // Connects to the server as filled in and says what happened.
    void testConnection();
    QString resultText() const;

    void accept() override;

private:
    // Why the dialog came up, if it did at start, and the two places.
    void buildChoice(QVBoxLayout* layout, const QString& why);
    QGroupBox* buildServerBox();
    QLabel* buildResult();
    // The choice in force, as the fields show it.
    void showCurrent();
    void showServerFields(bool server);

    AppContext& ctx_;
    Prompter& prompter_;
    DatabaseTarget current_;
    QRadioButton* local_;
    QRadioButton* server_;
    QGroupBox* serverBox_;
    QLabel* passwordNote_ = nullptr;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLabel* result_;
};

} // namespace tvq52
