#pragma once

#include "core/error.h"
#include "core/message_words.h"
#include "evidence/exchange_provenance.h"
#include "evidence/signing.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tvq52 {

class ExchangeReader;
struct ExchangeRecord;
class Translator;

// The bytes an office signs for a file: the provenance section's lines
// without the signature's, behind a label that keeps a signature made for
// anything else (a journal entry, a report) from standing for a file.
QByteArray provenanceSignedContent(FileProvenance p);

// Signs `p` with `signer` (its signature goes into p.signature).
Result<Signature> signProvenance(FileProvenance& p, Signer& signer);

// What an import can say of who wrote a file: exactly one of these.
struct ProvenanceVerdict {
    enum class Kind : std::uint8_t {
        None,            // no provenance section: a file of an older program
        Damaged,         // the section cannot be read
        Unsigned,        // the digest holds, and nobody vouches for the writer
        UnsignedChanged, // no signature, and the digest does not hold
        Changed,         // signed, and changed after signing
        Untrusted,       // intact, signed by an office not trusted here
        Trusted,         // intact, signed by a trusted office
    };
    Kind kind = Kind::None;
    SignatureCheck check; // when the file is signed

    bool intact() const { return kind == Kind::Unsigned || kind == Kind::Untrusted || kind == Kind::Trusted; }
    bool isSigned() const { return kind == Kind::Changed || kind == Kind::Untrusted || kind == Kind::Trusted; }
    bool trusted() const { return kind == Kind::Trusted; }
};

ProvenanceVerdict judgeProvenance(const FileProvenance& p, const TrustStore& trust);

// Reads the provenance section record by record as the reader meets it:
// the import and the check before it share this, so that both find the
// same section in the same bytes.
class ProvenanceScan {
public:
    ProvenanceScan(ExchangeReader& reader, FileProvenance& target) : reader_(reader), p_(target) {}
    // At a section line: true when it is the provenance, now being read.
    bool enter(const ExchangeRecord& record);
    bool active() const { return reading_.has_value(); }
    void take(ExchangeRecord& record);
    // At the end of the file, or of the section.
    void leave(qint64 line);

private:
    ExchangeReader& reader_;
    FileProvenance& p_;
    std::optional<ProvenanceReader> reading_;
};

// One read of a whole file before its rows are stored: what it says of where
// it comes from (with the digest of the bytes before that) and the SHA-256
// of all of it, for the journal, from the same bytes.
struct FileScan {
    FileProvenance provenance;
    QByteArray fileDigest; // hex
    qint64 size = 0;
    QDateTime modified;
};
Result<FileScan> scanFile(const QString& path);

// The summary's line on where the file comes from; empty when it has no
// section (older programs wrote none).
QString verdictLine(const ProvenanceVerdict& v, const FileProvenance& p, Translator* translator);
// The same as what it is made of, for the journal.
MessageWords verdictWords(const ProvenanceVerdict& v, const FileProvenance& p);
// Why an import that requires signed files refuses this one.
QString unsignedRefusal(const ProvenanceVerdict& v, Translator* translator);
MessageWords unsignedRefusalWords(const ProvenanceVerdict& v);
// `m` in the language `translator` shows; as written without one.
QString shownIn(const MessageWords& m, Translator* translator);
// The question the import window asks instead.
QString unsignedQuestion(const ProvenanceVerdict& v, Translator* translator);

// As `import --json` gives it.
QJsonObject verdictJson(const ProvenanceVerdict& v);
// The provenance as the journal keeps it, with who signed it.
QString provenanceRecord(const FileProvenance& p, const ProvenanceVerdict& v);

} // namespace tvq52
