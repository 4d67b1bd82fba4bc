#include "evidence/journal_signatures.h"

#include "core/sha256.h"

namespace tvq52::journal_signatures {

QByteArray openingText(const QByteArray& link)
{
    return QByteArrayLiteral("journal opening\x1f") + link;
}

QByteArray sealText(const QByteArray& hash)
{
    return QByteArrayLiteral("journal seal\x1f") + hash;
}

QVariant pendingColumn(int pending)
{
    return pending != 0 ? QVariant(pending) : QVariant(QMetaType::fromType<int>());
}

SignatureCheck check(const QByteArray& cms, const QByteArray& text, QHash<QByteArray, SignatureCheck>& cache)
{
    Sha256 key;
    key.add(QByteArray::number(text.size()));
    key.add("\x1f");
    key.add(text);
    key.add(cms);
    const QByteArray id = key.result();
    if (const auto known = cache.constFind(id); known != cache.constEnd())
        return *known;
    return *cache.insert(id, verifySignature(cms, text, OfficeSigning::trust()));
}

QString signerName(const CertificateInfo& certificate)
{
    return QStringLiteral("%1 (%2)").arg(certificate.subject, QString::fromLatin1(certificate.fingerprint.left(16)));
}

namespace {

QString failure(const SignatureCheck& c)
{
    const QString why = c.outcome == SignatureCheck::Outcome::Changed ? QStringLiteral("what it signs was changed")
                                                                      : QStringLiteral("damaged");
    return c.detail.isEmpty() ? why : why + QStringLiteral(" (") + c.detail + QLatin1Char(')');
}

QString distrust(const SignatureCheck& c)
{
    const QString at = c.time.at.toUTC().toString(Qt::ISODate);
    if (c.trust == SignerTrust::NotValidThen)
        return QStringLiteral("signed by %1 on %2, outside its certificate's validity").arg(signerName(c.signer), at);
    return QStringLiteral("signed by %1, a certificate this PC does not trust").arg(signerName(c.signer));
}

} // namespace

JournalSigning entrySigning(const JournalEntry& e, QHash<QByteArray, SignatureCheck>& cache,
                            QList<JournalFinding>* findings)
{
    JournalSigning s;
    s.entry = e.id;
    s.open = !e.sealed();
    s.isSigned = s.open ? !e.openingSignature.isEmpty() : !e.sealSignature.isEmpty();
    struct Part {
        const char* name;
        const QByteArray* cms;
        QByteArray text;
    };
    QList<Part> parts;
    if (!e.openingSignature.isEmpty())
        parts.append({"opening", &e.openingSignature, openingText(e.link)});
    // An open entry has no hash yet: a seal signature there signs nothing.
    if (e.sealed() && !e.sealSignature.isEmpty())
        parts.append({"seal", &e.sealSignature, sealText(e.hash)});
    s.valid = s.trusted = s.timeProven = !parts.isEmpty();
    QStringList invalid, untrusted;
    for (const Part& p : parts) {
        const SignatureCheck c = check(*p.cms, p.text, cache);
        if (!c.signer.isNull()) {
            // The seal's signer names the entry; the opening's until it is sealed.
            s.signer = c.signer;
            s.time = c.time;
        }
        s.timeProven = s.timeProven && c.valid() && c.time.proven;
        if (!c.valid()) {
            s.valid = s.trusted = false;
            invalid << QStringLiteral("the %1 signature does not verify: %2").arg(QLatin1String(p.name), failure(c));
        } else if (!c.trusted()) {
            s.trusted = false;
            untrusted << QStringLiteral("%1 %2").arg(QLatin1String(p.name), distrust(c));
        }
    }
    if (findings) {
        if (!invalid.isEmpty())
            findings->append(
                {JournalFinding::Kind::SignatureInvalid, e.id, {}, {}, invalid.join(QStringLiteral("; "))});
        if (!untrusted.isEmpty())
            findings->append(
                {JournalFinding::Kind::SignerNotTrusted, e.id, {}, {}, untrusted.join(QStringLiteral("; "))});
    }
    return s;
}

bool openingTrusted(const JournalEntry& e, QHash<QByteArray, SignatureCheck>& cache)
{
    return !e.openingSignature.isEmpty() && check(e.openingSignature, openingText(e.link), cache).trusted();
}

} // namespace tvq52::journal_signatures
