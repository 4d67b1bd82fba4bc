#include "app/data_folder.h"
#include "app/gui/signing_dialog.h"
#include "app/ini_file.h"
#include "app/signing_settings.h"
#include "evidence/signing.h"
#include "support/file_bytes.h"
#include "support/started_program.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace tvq52;
using namespace tvq52::test;

namespace {

std::optional<CertificateInfo> currentCertificate(const TempHome& home)
{
    const auto current = KeyStore(keysFolder(home.path())).current();
    return current ? *current : std::nullopt;
}

} // namespace

// The main window's button opens the dialog; it makes a key, shows its
// certificate, writes it out, and replaces it only when the user agrees.
TEST(SigningDialog, MakesShowsAndWritesTheKey)
{
    StartedProgram program;
    whenModal([&](QWidget* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("FormFirma"));
        EXPECT_TRUE(child<QLabel>(d, "ValorHuella")->text().isEmpty());
        EXPECT_FALSE(child<QPushButton>(d, "SSCommandGuardarCertificado")->isEnabled());
        program.prompter.inputAnswer(QStringLiteral("Oficina Este"));
        child<QPushButton>(d, "SSCommandCrearClave")->click();
        const auto made = currentCertificate(program.home);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->commonName, QStringLiteral("Oficina Este"));
        EXPECT_EQ(child<QLabel>(d, "ValorHuella")->text(), QString::fromLatin1(made->fingerprint));
        EXPECT_EQ(child<QLabel>(d, "ValorCertificado")->text(), made->subject);

        // No to the question keeps the key; nothing else is asked.
        program.prompter.answer(Answer::No);
        child<QPushButton>(d, "SSCommandCrearClave")->click();
        EXPECT_EQ(currentCertificate(program.home)->fingerprint, made->fingerprint);
        EXPECT_EQ(program.prompter.inputPrompts().size(), 1);

        program.prompter.fileAnswer(program.home.file(QStringLiteral("este.pem")));
        child<QPushButton>(d, "SSCommandGuardarCertificado")->click();
        child<QPushButton>(d, "SSCommandCancelar")->click();
    });
    child<QPushButton>(&program.window(), "SSCommandFirma")->click();
    EXPECT_TRUE(tvq52::test::readBytes(program.home.file(QStringLiteral("este.pem")))
                    .startsWith("-----BEGIN CERTIFICATE-----"));
}

// A value the program cannot use keeps the dialog open and the file as it
// was; good values are written when accepted.
TEST(SigningDialog, RefusesABadAuthorityAndWritesGoodSettings)
{
    StartedProgram program;
    SigningDialog dialog(program.shell->context(), program.prompter, &program.window());
    dialog.show();
    auto* url = child<QLineEdit>(&dialog, "TextSelloTiempo");
    url->setText(QStringLiteral("tsa.example.org"));
    child<QCheckBox>(&dialog, "CheckSoloFirmados")->setChecked(true);
    child<QPushButton>(&dialog, "SSCommandAceptar")->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_TRUE(program.prompter.shown()[0].text.contains(QStringLiteral("TimestampUrl")));
    EXPECT_FALSE(requireSignedImports(program.home.path()));

    url->setText(QStringLiteral("https://tsa.example.org/stamp"));
    child<QPushButton>(&dialog, "SSCommandAceptar")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(requireSignedImports(program.home.path()));
    EXPECT_EQ(signingSetup(program.home.path()).timestampUrl, QStringLiteral("https://tsa.example.org/stamp"));
}
