#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <array>
#include <functional>

namespace tvq52::pdf {

// The room kept for the signature: a CMS with its certificate and a time
// stamp token with the authority's certificates.
inline constexpr qsizetype kSignatureRoom = 16 * 1024;

// Signs the bytes a signature covers; the DER of a detached CMS.
using SignCovered = std::function<Result<QByteArray>(QByteArrayView covered)>;

// The update appended to `file` that signs it whole: a signature field with
// an invisible widget on the first page, the catalog's form, a classic
// cross-reference section and a trailer. The returned bytes follow the
// file's last byte.
Result<QByteArray> signatureUpdate(const QByteArray& file, const QDateTime& now, const SignCovered& sign);

// The signature a file's form holds, and how much of the file it covers.
struct FoundSignature {
    enum class State : std::uint8_t {
        None,      // no signature field with a value: an unsigned file
        Found,     // one, read below
        Unreadable // the file's structure or its signature cannot be read
    };
    State state = State::None;
    std::array<qint64, 4> range{};
    bool startsAtZero = false;
    bool reachesEnd = false;    // nothing appended after what was signed
    bool gapIsContents = false; // the bytes left out are the signature's own hex string, no more
    QByteArray cms;             // DER, the padding dropped
    QByteArray covered;         // the bytes the range covers
    QString problem;            // why it is Unreadable, untranslated

    bool wholeFile() const { return startsAtZero && reachesEnd && gapIsContents; }
};
FoundSignature findSignature(const QByteArray& file);

} // namespace tvq52::pdf
