#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace tvq52 {

struct AppContext;
class Prompter;

// The signing settings: this PC's certificate and the buttons that make,
// import and hand out its key, the time-stamping authority, the key's
// passphrase file and whether imports must be signed.
class SigningDialog : public QDialog {
    Q_OBJECT
public:
    SigningDialog(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr);

    void accept() override;

private:
    QGroupBox* buildKeyBox();
    QGroupBox* buildSettingsBox();
    // The certificate in force, or that there is none.
    void showCertificate();
    void createKey();
    void importKey();
    void writeCertificate();
    QString title() const;

    AppContext& ctx_;
    Prompter& prompter_;
    QLabel* subject_;
    QLabel* fingerprint_;
    QLabel* validity_;
    QLineEdit* timestampUrl_;
    QLineEdit* passphraseFile_;
    QCheckBox* requireSigned_;
};

} // namespace tvq52
