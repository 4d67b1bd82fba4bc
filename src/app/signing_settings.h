#pragma once

#include "core/error.h"
#include "evidence/signing.h"

#include <QString>

namespace tvq52 {

class Translator;
class Prompter;

// The signing settings of a data folder's settings file.
struct SigningSettings {
    QString timestampUrl;              // TimestampUrl: empty signs with the PC's clock alone
    QString passphraseFile;            // KeyPassphraseFile: the key's passphrase, first line
    bool requireSignedImports = false; // RequireSignedImports=1
};

// The data folder's "keys" subfolder: the PC's key, its certificates and the trusted ones.
QString keysFolder(const QString& home);

// The settings as the file holds them now, so that a change made by
// `config set` or the settings window counts at once. A value the settings
// check refuses reads as unset, but RequireSignedImports is on for any value
// other than 0 or nothing: a mistyped setting never lets unsigned files in.
SigningSettings readSigningSettings(const QString& home);

// Whether an exchange file is imported only when a trusted office signed it.
bool requireSignedImports(const QString& home);

// What this run's signing is set up with for the data folder `home`.
SigningSetup signingSetup(const QString& home);

// Sets up this run's signing (OfficeSigning) from the folder's settings; the
// key is read again on its next use.
void configureSigning(const QString& home);

// The passphrase a file holds on its first line; a file without one is
// refused rather than taken as no passphrase.
Result<QString> readPassphraseFile(const QString& file);

// Asked before this PC's key is replaced (a key replaced signs no more, its
// certificate stays known); true when there is none or the user says Yes.
bool mayReplaceKey(const QString& home, const Translator& translator, Prompter& prompter);

// Checks the three settings, writes them and sets up the signing with them.
// Nothing is written when one is refused or the file cannot be written.
Status acceptSigningSettings(const QString& home, const SigningSettings& settings);

} // namespace tvq52
