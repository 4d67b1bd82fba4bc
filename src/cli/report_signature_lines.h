#pragma once

#include "evidence/signed_pdf.h"

#include <QJsonObject>
#include <QStringList>

namespace tvq52 {

class Translator;

// What verify-report says of a report's signature: its lines in the user's
// language (the last one why it fails, when it does), and its --json object.
QStringList signatureLines(const Translator& translator, const ReportSignature& signature);
QJsonObject signatureJson(const ReportSignature& signature);
// Whether the signature lets the report pass: signed whole by a trusted
// signer, or not signed at all (a file from before the PC had a key).
bool signatureHolds(const ReportSignature& signature);

} // namespace tvq52
