#include "app/gui/signing_dialog.h"

#include "app/gui/dialog_buttons.h"

#include "app/app_context.h"
#include "app/signing_settings.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "evidence/signing.h"
#include "i18n/catalogue_message.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

QLabel* fieldLabel(const char* name, const char* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

// A certificate's subject and fingerprint are shown as they are, never translated.
QLabel* valueLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setProperty("Tag", QStringLiteral("!"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* actionButton(const char* name, const char* text, const char* tip, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromUtf8(tip));
    button->setAutoDefault(false);
    return button;
}

QString shownTime(const QDateTime& at)
{
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

SigningDialog::SigningDialog(AppContext& ctx, Prompter& prompter, QWidget* parent)
    : QDialog(parent), ctx_(ctx), prompter_(prompter)
{
    setObjectName(QStringLiteral("FormFirma"));
    setModal(true);
    setMinimumWidth(480);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildKeyBox());
    layout->addWidget(buildSettingsBox());
    addAcceptRow(this, layout, LeaveButton::Cancel);

    ctx_.translator.translateWindow(this);
    setWindowTitleOf(this, ctx_.translator.translate(QStringLiteral("Firma")));
    const SigningSettings settings = readSigningSettings(ctx_.home);
    timestampUrl_->setText(settings.timestampUrl);
    passphraseFile_->setText(settings.passphraseFile);
    requireSigned_->setChecked(settings.requireSignedImports);
    showCertificate();
}

QString SigningDialog::title() const
{
    return QString::fromLatin1(kApplicationTitle);
}

QGroupBox* SigningDialog::buildKeyBox()
{
    auto* box = new QGroupBox(QStringLiteral("Firma"), this);
    box->setObjectName(QStringLiteral("FrameFirma"));
    auto* boxLayout = new QVBoxLayout(box);
    auto* form = new QFormLayout;
    subject_ = valueLabel("ValorCertificado", box);
    subject_->setWordWrap(true);
    fingerprint_ = valueLabel("ValorHuella", box);
    validity_ = valueLabel("ValorValidez", box);
    // Read-only values: their labels lead nowhere.
    form->addRow(fieldLabel("LbCertificado", "Certificado:", nullptr, box), subject_);
    form->addRow(fieldLabel("LbHuella", "Huella SHA-256:", nullptr, box), fingerprint_);
    form->addRow(fieldLabel("LbValidez", "Válido:", nullptr, box), validity_);
    boxLayout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    QPushButton* create = actionButton("SSCommandCrearClave", "Crear clave",
                                       "Crear una clave y un certificado propios para este PC", box);
    QPushButton* import = actionButton("SSCommandImportarClave", "Importar PKCS#12",
                                       "Importar la clave y el certificado que emitió una autoridad", box);
    QPushButton* write = actionButton("SSCommandGuardarCertificado", "Guardar certificado",
                                      "Guardar el certificado en un archivo para otras oficinas", box);
    buttons->addWidget(create);
    buttons->addWidget(import);
    buttons->addWidget(write);
    buttons->addStretch();
    boxLayout->addLayout(buttons);
    connect(create, &QPushButton::clicked, this, &SigningDialog::createKey);
    connect(import, &QPushButton::clicked, this, &SigningDialog::importKey);
    connect(write, &QPushButton::clicked, this, &SigningDialog::writeCertificate);
    return box;
}

QGroupBox* SigningDialog::buildSettingsBox()
{
    auto* box = new QGroupBox(QStringLiteral("Sellado de tiempo e importación"), this);
    box->setObjectName(QStringLiteral("FrameAjustesFirma"));
    auto* form = new QFormLayout(box);
    timestampUrl_ = new QLineEdit(box);
    timestampUrl_->setObjectName(QStringLiteral("TextSelloTiempo"));
    timestampUrl_->setToolTip(
        QStringLiteral("Dirección http:// o https:// de la autoridad; vacía: la hora de este PC"));
    timestampUrl_->setMinimumWidth(320);
    passphraseFile_ = new QLineEdit(box);
    passphraseFile_->setObjectName(QStringLiteral("TextFrasePaso"));
    passphraseFile_->setToolTip(QStringLiteral("Archivo cuya primera línea es la frase de paso de la clave"));
    requireSigned_ = new QCheckBox(QStringLiteral("Importar solo archivos firmados por una oficina de confianza"), box);
    requireSigned_->setObjectName(QStringLiteral("CheckSoloFirmados"));
    requireSigned_->setToolTip(QStringLiteral("Rechazar los archivos de intercambio sin una firma válida"));
    form->addRow(fieldLabel("LbSelloTiempo", "Autoridad de sellado de tiempo:", timestampUrl_, box), timestampUrl_);
    form->addRow(fieldLabel("LbFrasePaso", "Archivo de la frase de paso:", passphraseFile_, box), passphraseFile_);
    form->addRow(requireSigned_);
    return box;
}

void SigningDialog::showCertificate()
{
    const auto current = KeyStore(keysFolder(ctx_.home)).current();
    const bool some = current && current->has_value();
    if (!current)
        subject_->setText(errorText(ctx_.translator, current.error()));
    else if (!some)
        subject_->setText(ctx_.translator.translate(QStringLiteral("Este PC no tiene clave de firma")));
    else
        subject_->setText((*current)->subject);
    fingerprint_->setText(some ? QString::fromLatin1((*current)->fingerprint) : QString());
    validity_->setText(some ? ctx_.translator.translate(QStringLiteral("del %1 al %2"))
                                  .arg(shownTime((*current)->notBefore), shownTime((*current)->notAfter))
                            : QString());
    if (QPushButton* write = findChild<QPushButton*>(QStringLiteral("SSCommandGuardarCertificado")))
        write->setEnabled(some);
}

void SigningDialog::createKey()
{
    KeyStore store(keysFolder(ctx_.home));
    if (!mayReplaceKey(ctx_.home, ctx_.translator, prompter_))
        return;
    const auto name = prompter_.input(
        ctx_.translator.translate(QStringLiteral("Nombre del certificado (vacío: el nombre de este PC):")), title(),
        QString(), 64);
    if (!name)
        return;
    // The key is kept under the passphrase the settings name, so that it signs unasked.
    QString passphrase;
    if (const QString file = readSigningSettings(ctx_.home).passphraseFile; !file.isEmpty()) {
        const Result<QString> read = readPassphraseFile(file);
        if (!read) {
            showError(prompter_, ctx_.translator, read.error());
            return;
        }
        passphrase = *read;
    }
    if (const Result<CertificateInfo> made = store.create(name->trimmed(), passphrase); !made)
        showError(prompter_, ctx_.translator, made.error());
    OfficeSigning::reset();
    showCertificate();
}

void SigningDialog::importKey()
{
    KeyStore store(keysFolder(ctx_.home));
    const QString file = prompter_.openFile(ctx_.translator.translate(QStringLiteral("Importar PKCS#12")),
                                            {QStringLiteral("PKCS#12 (*.p12 *.pfx)")}, QDir::homePath());
    if (file.isEmpty() || !mayReplaceKey(ctx_.home, ctx_.translator, prompter_))
        return;
    const auto passphrase =
        prompter_.secret(ctx_.translator.translate(QStringLiteral("Frase de paso del archivo PKCS#12:")), title());
    if (!passphrase)
        return;
    if (const Result<CertificateInfo> made = store.importPkcs12(file, *passphrase); !made)
        showError(prompter_, ctx_.translator, made.error());
    else if (!passphrase->isEmpty() && passphraseFile_->text().trimmed().isEmpty())
        // The key keeps the file's passphrase: without it nothing is signed.
        prompter_.show(ctx_.translator.translate(QStringLiteral(
                           "Para firmar sin preguntar, indique el archivo de la frase de paso en el ajuste "
                           "KeyPassphraseFile.")),
                       MessageStyle::Information, title());
    OfficeSigning::reset();
    showCertificate();
}

void SigningDialog::writeCertificate()
{
    const QString file = prompter_.saveFile(ctx_.translator.translate(QStringLiteral("Guardar certificado")),
                                            {QStringLiteral("PEM (*.pem)")}, QDir::homePath());
    if (file.isEmpty())
        return;
    if (const Status written = KeyStore(keysFolder(ctx_.home)).writeCertificate(file); !written)
        showError(prompter_, ctx_.translator, written.error());
}

void SigningDialog::accept()
{
    const SigningSettings settings{timestampUrl_->text(), passphraseFile_->text(), requireSigned_->isChecked()};
    if (const Status accepted = acceptSigningSettings(ctx_.home, settings); !accepted) {
        showError(prompter_, ctx_.translator, accepted.error());
        return;
    }
    QDialog::accept();
}

} // namespace tvq52
