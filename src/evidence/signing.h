#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace tvq52 {

// A certificate as the program shows and compares it.
struct CertificateInfo {
    QString subject;        // one line, "CN=..., O=..."
    QString commonName;     // empty when the subject has none
    QString organization;   // the subject's O, empty when none
    QByteArray fingerprint; // lower-case hex SHA-256 of the DER form
    QDateTime notBefore;    // UTC
    QDateTime notAfter;     // UTC
    QByteArray pem;

    bool isNull() const { return fingerprint.isEmpty(); }
    bool validAt(const QDateTime& at) const { return at >= notBefore && at <= notAfter; }
};

// When a signature was made, and whether anything but the signer says so.
struct SigningTime {
    QDateTime at;        // UTC; invalid when the signature states none
    bool proven = false; // from an RFC 3161 time stamp whose authority verified
    QString authority;   // the time-stamping authority's subject when proven
};

// Why a certificate is or is not taken as an office's.
enum class SignerTrust : std::uint8_t {
    Own,             // one of this PC's certificates, present or replaced
    Trusted,         // added with `trust add`, or issued by a trusted authority for its organization
    Untrusted,       // known to nobody here: only its fingerprint names it
    NotValidThen     // trusted, but the signing time falls outside its validity
};

// What checking a detached CMS signature found.
struct SignatureCheck {
    enum class Outcome : std::uint8_t {
        Valid,   // the signature verifies over the content with its certificate
        Changed, // well formed, but the content is not what was signed
        Damaged  // not a CMS signature this program can read, or no certificate in it
    };
    Outcome outcome = Outcome::Damaged;
    CertificateInfo signer; // null when Damaged before a certificate was read
    SignerTrust trust = SignerTrust::Untrusted;
    SigningTime time;
    QString detail; // the library's reason, untranslated, for Changed and Damaged

    bool valid() const { return outcome == Outcome::Valid; }
    bool trusted() const { return valid() && (trust == SignerTrust::Own || trust == SignerTrust::Trusted); }
};

// A signature as made: a DER CMS SignedData, detached.
struct Signature {
    QByteArray cms;
    // Whether an RFC 3161 token from the authority is inside; when an
    // authority was set and did not answer, why (untranslated).
    bool timeStamped = false;
    QString timeStampProblem;
};

// The PC's signing key, loaded. Signs with SHA-256; the certificate goes
// into every signature, and the signing time as a signed attribute.
class Signer {
public:
    virtual ~Signer() = default;
    virtual const CertificateInfo& certificate() const = 0;
    // Later: no time stamp now even with an authority set, for a caller that
    // holds the database's write lock and stamps once it has let go.
    enum class Stamp : std::uint8_t { Now, Later };
    // A detached signature over `content`, time-stamped when an authority is
    // set. Refused (nothing signed) when the certificate is not valid now.
    virtual Result<Signature> sign(QByteArrayView content, Stamp stamp = Stamp::Now) = 0;
};

// Where the keys and trusted certificates live, and how signing runs.
struct SigningSetup {
    QString folder;         // the data folder's "keys" subfolder
    QString passphraseFile; // the key's passphrase, first line; empty: none or asked
    QString timestampUrl;   // an RFC 3161 authority over HTTP; empty: the PC's clock
};

// The certificates this PC trusts: its own (always), other offices' added
// one by one, and authorities trusted for one organization each.
class TrustStore {
public:
    // Reads the folder; a missing folder trusts only nothing.
    static Result<TrustStore> load(const QString& folder);

    Status add(const QString& pemFile);
    Status addAuthority(const QString& pemFile, const QString& organization);
    // False when no certificate has that fingerprint (a unique prefix of at least 8 hex digits is taken too).
    Result<bool> remove(const QString& fingerprint);

    struct Entry {
        CertificateInfo certificate;
        QString organization; // authorities only: the organization they are trusted for
        bool own = false;
        bool authority = false;
    };
    QList<Entry> entries() const;

    // How `signer` (with the certificates the signature carried) stands at `at`.
    SignerTrust judge(const CertificateInfo& signer, const QList<QByteArray>& carriedDer, const QDateTime& at) const;

private:
    QString folder_;
    QList<Entry> entries_;
};

// The PC's key pair and certificate in the keys folder. The private key is
// a PEM file of its own, mode 0600; a key file others can read is refused.
class KeyStore {
public:
    explicit KeyStore(QString folder) : folder_(std::move(folder)) {}

    // A new key pair and a self-signed certificate naming `name` (the PC's
    // host name when empty). The certificate it replaces stays known.
    Result<CertificateInfo> create(const QString& name, const QString& passphrase = {});
    // A key and certificate a certification authority issued, from PKCS#12.
    // The key stays encrypted with the same passphrase (KeyPassphraseFile).
    Result<CertificateInfo> importPkcs12(const QString& file, const QString& passphrase);
    // The current certificate; nothing when there is no key.
    Result<std::optional<CertificateInfo>> current() const;
    // Writes the current certificate as PEM, for other offices.
    Status writeCertificate(const QString& pemFile) const;
    // Every certificate this PC has signed with, newest first.
    QList<CertificateInfo> ownCertificates() const;
    // The key, ready to sign; nothing when there is none.
    Result<std::unique_ptr<Signer>> load(const SigningSetup& setup) const;

private:
    QString folder_;
};

// Checks a detached signature over `content`.
SignatureCheck verifySignature(const QByteArray& cms, QByteArrayView content, const TrustStore& trust);

// Adds an RFC 3161 time stamp to a signature made without one (a journal
// entry signed while the authority did not answer).
Result<QByteArray> addTimeStamp(const QByteArray& cms, const QString& timestampUrl);

// The lower-case hex SHA-256 of `bytes`.
QByteArray sha256Hex(QByteArrayView bytes);

// The signing of this run: the PC's key (loaded on first use) and its trust
// store. Set once at start-up by the shell; the journal, the PDF writer and
// the exchange writer take it from here.
class OfficeSigning {
public:
    static void configure(const SigningSetup& setup);
    // The key; null when the PC has none. A key that cannot be loaded (a
    // wrong passphrase, a file others can read) is an error, never unsigned.
    static Result<Signer*> signer();
    static const TrustStore& trust();
    // The time-stamping authority configured; empty when none.
    static QString timestampUrl();
    // True the first time in a run only: the caller warns once that it
    // writes unsigned.
    static bool firstUnsignedWarning();
    // Why the last signature went without its time stamp (the authority did
    // not answer); taken, and forgotten, by whoever tells the user.
    static void noteTimeStampProblem(const QString& problem);
    static QString takeTimeStampProblem();
    // Forgets the loaded key, so that a new one is read (after `key create`).
    static void reset();
};

} // namespace tvq52
