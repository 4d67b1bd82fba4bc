#pragma once

#include <QDialog>

namespace tvq52 {

struct AppContext;

// The language dialog: one option per interface language.
class LanguageDialog : public QDialog {
    Q_OBJECT
public:
    explicit LanguageDialog(AppContext& ctx, QWidget* parent = nullptr);

    // The code of the option chosen; the current language until one is chosen,
    // 0 when the current one is not among them.
    int chosenCode() const { return code_; }

private:
    qint16 code_ = 0;
};

} // namespace tvq52
