#pragma once

#include "evidence/journal.h"
#include "evidence/signing.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

// What the office's key signs in the journal, and how an entry's
// signatures are read back.
namespace tvq52::journal_signatures {

// The bytes an opening signature covers: its link, which holds the head it
// extends and a hash over its opening fields. Each kind names itself, so
// that no signature passes for the other.
QByteArray openingText(const QByteArray& link);
// The bytes a seal signature covers: the entry's hash, which covers the
// previous entry's.
QByteArray sealText(const QByteArray& hash);

// The "ISelloPendiente" value of `pending`: NULL when no stamp is due.
QVariant pendingColumn(int pending);

// Checks `cms` over `text` against this PC's trust, once per signature in a
// run of `cache`.
SignatureCheck check(const QByteArray& cms, const QByteArray& text, QHash<QByteArray, SignatureCheck>& cache);

// How the entry's signatures stand. The findings of those that fail go into
// `findings` (an opening whose link fails is the caller's to report).
JournalSigning entrySigning(const JournalEntry& e, QHash<QByteArray, SignatureCheck>& cache,
                            QList<JournalFinding>* findings = nullptr);

// Whether an open entry's opening carries a valid signature by a trusted
// certificate.
bool openingTrusted(const JournalEntry& e, QHash<QByteArray, SignatureCheck>& cache);

// "CN=..., O=... (1a2b3c4d5e6f7a8b)": the subject and the fingerprint's start.
QString signerName(const CertificateInfo& certificate);

} // namespace tvq52::journal_signatures
