#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QVBoxLayout;

namespace tvq52 {

struct AppContext;
class Prompter;

// The communication settings: serial port or device, direct cable or modem, tone or pulse, prefix.
class CommunicationDialog : public QDialog {
    Q_OBJECT
public:
    CommunicationDialog(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr);

    void accept() override;

private:
    // The port box and, below it, why the port shown cannot be opened.
    void buildPort(QVBoxLayout* layout);
    QGroupBox* buildLinkChoice();
    QGroupBox* buildDialling();
    // The settings in force, as the controls show them.
    void showSettings();
    // Says why the port being chosen cannot be opened, if it cannot.
    void showPortState();

    AppContext& ctx_;
    Prompter& prompter_;
    QComboBox* port_;
    QLabel* portState_;
    QRadioButton* rs_;
    QRadioButton* modem_;
    QRadioButton* tone_;
    QRadioButton* pulse_;
    QLineEdit* prefix_;
};

} // namespace tvq52
