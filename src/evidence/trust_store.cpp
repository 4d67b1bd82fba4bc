#include "evidence/openssl_handles.h"

#include "core/own_words.h"
#include "core/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/err.h>
#include <openssl/x509v3.h>

namespace tvq52 {

namespace {

QList<TrustStore::Entry> readEntries(const QString& dir, bool own, bool authority)
{
    QList<TrustStore::Entry> entries;
    for (const QFileInfo& file : QDir(dir).entryInfoList({QStringLiteral("*.pem")}, QDir::Files, QDir::Name)) {
        QFile in(file.filePath());
        if (!in.open(QIODevice::ReadOnly))
            continue;
        ssl::Cert cert = ssl::parseCertificate(in.readAll());
        if (!cert)
            continue;
        TrustStore::Entry entry;
        entry.certificate = ssl::describe(cert.get());
        entry.own = own;
        entry.authority = authority;
        if (authority) {
            QFile organization(dir + u'/' + file.completeBaseName() + QStringLiteral(".organization"));
            if (!organization.open(QIODevice::ReadOnly))
                continue; // an authority trusted for no organization vouches for nobody
            entry.organization = QString::fromUtf8(organization.readAll()).trimmed();
        }
        entries.append(entry);
    }
    return entries;
}

Result<ssl::Cert> readCertificateFile(const QString& path)
{
    if (isNonRegularFile(path))
        return nonRegularFileError(path, FileUse::Read);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return ownWords(QStringLiteral("No se puede leer %1: %2"), {path, in.errorString()});
    ssl::Cert cert = ssl::parseCertificate(in.readAll());
    if (!cert)
        return ownWords(QStringLiteral("El archivo %1 no contiene un certificado."), {path});
    return cert;
}

QString pemName(const QString& dir, const QByteArray& fingerprint, const char* suffix = ".pem")
{
    return dir + u'/' + QString::fromLatin1(fingerprint) + QLatin1String(suffix);
}

// Whether `leaf` chains to `anchor` through the carried certificates at `at`.
bool chainsTo(X509* leaf, X509* anchor, STACK_OF(X509) * carried, const QDateTime& at)
{
    ssl::Store store(X509_STORE_new());
    ssl::StoreContext context(X509_STORE_CTX_new());
    if (!store || !context || X509_STORE_add_cert(store.get(), anchor) != 1
        || X509_STORE_CTX_init(context.get(), store.get(), leaf, carried) != 1)
        return false;
    // The authority may be an intermediate one: it anchors the chain itself.
    X509_STORE_CTX_set_flags(context.get(), X509_V_FLAG_PARTIAL_CHAIN);
    X509_STORE_CTX_set_time(context.get(), 0, static_cast<time_t>(at.toSecsSinceEpoch()));
    const bool verified = X509_verify_cert(context.get()) == 1;
    ERR_clear_error();
    return verified;
}

} // namespace

Result<TrustStore> TrustStore::load(const QString& folder)
{
    TrustStore store;
    store.folder_ = folder;
    store.entries_ = readEntries(ssl::layout::own(folder), true, false);
    store.entries_ += readEntries(ssl::layout::trusted(folder), false, false);
    store.entries_ += readEntries(ssl::layout::authorities(folder), false, true);
    return store;
}

Status TrustStore::add(const QString& pemFile)
{
    Result<ssl::Cert> cert = readCertificateFile(pemFile);
    if (!cert)
        return cert.error();
    Entry entry;
    entry.certificate = ssl::describe(cert->get());
    for (const Entry& known : std::as_const(entries_))
        if (!known.authority && known.certificate.fingerprint == entry.certificate.fingerprint)
            return {};
    const QString name = QString::fromLatin1(entry.certificate.fingerprint) + QStringLiteral(".pem");
    if (Status written = ssl::writeFiles(folder_, ssl::layout::trusted(folder_), {{name, entry.certificate.pem}});
        !written)
        return written;
    entries_.append(entry);
    return {};
}

Status TrustStore::addAuthority(const QString& pemFile, const QString& organization)
{
    const QString name = organization.trimmed();
    if (name.isEmpty())
        return ownWords(QStringLiteral("Falta la organización para la que se confía en la autoridad de %1."),
                        {pemFile});
    Result<ssl::Cert> cert = readCertificateFile(pemFile);
    if (!cert)
        return cert.error();
    Entry entry;
    entry.certificate = ssl::describe(cert->get());
    entry.organization = name;
    entry.authority = true;
    if (X509_check_ca(cert->get()) < 1)
        return ownWords(QStringLiteral("El certificado %1 (%2) no es de una autoridad de certificación."),
                        {pemFile, entry.certificate.subject});
    const QByteArray& print = entry.certificate.fingerprint;
    const QString base = QString::fromLatin1(print);
    if (Status written = ssl::writeFiles(folder_, ssl::layout::authorities(folder_),
                                         {{base + QStringLiteral(".organization"), name.toUtf8() + '\n'},
                                          {base + QStringLiteral(".pem"), entry.certificate.pem}});
        !written)
        return written;
    entries_.removeIf([&](const Entry& known) { return known.authority && known.certificate.fingerprint == print; });
    entries_.append(entry);
    return {};
}

Result<bool> TrustStore::remove(const QString& fingerprint)
{
    const QByteArray wanted = fingerprint.trimmed().toLower().remove(u':').toLatin1();
    if (wanted.size() < 8)
        return ownWords(QStringLiteral("La huella %1 es demasiado corta: escriba al menos 8 cifras hexadecimales."),
                        {fingerprint});
    QList<Entry> matches;
    for (const Entry& entry : std::as_const(entries_))
        if (entry.certificate.fingerprint.startsWith(wanted))
            matches.append(entry);
    if (matches.isEmpty())
        return false;
    for (const Entry& match : std::as_const(matches))
        if (match.certificate.fingerprint != matches.front().certificate.fingerprint)
            return ownWords(QStringLiteral("Hay más de un certificado cuya huella empieza por %1: escriba más cifras."),
                            {fingerprint});
    const QByteArray print = matches.front().certificate.fingerprint;
    for (const Entry& match : std::as_const(matches))
        if (match.own)
            return ownWords(QStringLiteral("El certificado %1 es de este PC: no se puede quitar."),
                            {match.certificate.subject});
    const QStringList files = {pemName(ssl::layout::trusted(folder_), print),
                               pemName(ssl::layout::authorities(folder_), print),
                               pemName(ssl::layout::authorities(folder_), print, ".organization")};
    for (const QString& file : files) {
        QFile gone(file);
        if (gone.exists() && !gone.remove())
            return ownWords(QStringLiteral("No se puede escribir %1: %2"), {file, gone.errorString()});
    }
    entries_.removeIf([&](const Entry& entry) { return entry.certificate.fingerprint == print; });
    return true;
}

QList<TrustStore::Entry> TrustStore::entries() const
{
    return entries_;
}

SignerTrust TrustStore::judge(const CertificateInfo& signer, const QList<QByteArray>& carriedDer,
                              const QDateTime& at) const
{
    if (signer.isNull())
        return SignerTrust::Untrusted;
    const QDateTime when = at.isValid() ? at : QDateTime::currentDateTimeUtc();
    const bool inTime = signer.validAt(when);
    // Own before added, so that a certificate of this PC also added by hand reads as Own.
    for (bool own : {true, false})
        for (const Entry& entry : entries_)
            if (!entry.authority && entry.own == own && entry.certificate.fingerprint == signer.fingerprint)
                return !inTime ? SignerTrust::NotValidThen : own ? SignerTrust::Own : SignerTrust::Trusted;

    ssl::Cert leaf = ssl::parsePem(signer);
    ssl::CertStack carried(sk_X509_new_null());
    for (const QByteArray& der : carriedDer)
        if (ssl::Cert cert = ssl::parseCertificate(der))
            sk_X509_push(carried.get(), cert.release());
    if (!leaf || !carried)
        return SignerTrust::Untrusted;
    // Outside its validity, the chain is checked at a moment inside it: a
    // certificate the authority did issue then reads NotValidThen.
    const QDateTime checkedAt = inTime ? when : signer.notBefore;
    for (const Entry& entry : entries_) {
        if (!entry.authority || entry.organization != signer.organization || signer.organization.isEmpty())
            continue;
        ssl::Cert anchor = ssl::parsePem(entry.certificate);
        if (anchor && chainsTo(leaf.get(), anchor.get(), carried.get(), checkedAt))
            return inTime ? SignerTrust::Trusted : SignerTrust::NotValidThen;
    }
    return SignerTrust::Untrusted;
}

} // namespace tvq52
