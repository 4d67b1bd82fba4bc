// The journal's side of the office's key: which signer an entry gets, which
// abandoned entry may be sealed, and the time stamps added later.
#include "evidence/journal.h"

#include "core/own_words.h"
#include "db/journal_codec.h"
#include "evidence/journal_signatures.h"

#include <QSqlQuery>

namespace tvq52 {

using namespace journal_codec;
namespace signatures = journal_signatures;

Result<Signer*> Journal::officeSigner()
{
    Result<Signer*> loaded = OfficeSigning::signer();
    if (!loaded)
        return ownFailure(loaded.error());
    return loaded;
}

Result<QVariant> Journal::signText(Signer* signer, const QByteArray& text, int pendingBit, int& pending)
{
    if (!signer)
        return QVariant(QMetaType::fromType<QString>());
    // The stamp waits for the authority's answer: never while the chain is locked.
    const Result<Signature> made = signer->sign(text, Signer::Stamp::Later);
    if (!made)
        return ownFailure(made.error());
    // Stamped once the transaction is over, or by a later run when the
    // authority does not answer.
    if (!OfficeSigning::timestampUrl().isEmpty())
        pending |= pendingBit;
    return QVariant(QString::fromLatin1(made->cms.toBase64()));
}

bool Journal::abandonedSealable(const JournalEntry& e, const QSet<QByteArray>& sealedHashes, bool journalSigned,
                                bool& signSeal) const
{
    // An entry the program did not open is never sealed: sealing would
    // put whatever it lists on the chain.
    if (!linkHolds(e, sealedHashes))
        return false;
    signSeal = !e.openingSignature.isEmpty();
    if (signSeal)
        return signatures::openingTrusted(e, checked_);
    // Unsigned, it may stand only in a journal the office never signed; its
    // seal then lends it no signature.
    return !journalSigned;
}

JournalSigning Journal::signing(const JournalEntry& entry) const
{
    return signatures::entrySigning(entry, checked_);
}

bool Journal::signedAt(const QByteArray& head) const
{
    const Result<QSqlQuery*> q =
        run(QStringLiteral("SELECT count(*) > 0 FROM \"Diario\" WHERE \"LId\" <= (SELECT min(\"LId\") FROM \"Diario\" "
                           "WHERE \"THash\" = ?) AND (coalesce(\"TFirmaApertura\", '') <> '' OR "
                           "coalesce(\"TFirmaCierre\", '') <> '')"),
            {QString::fromLatin1(head)});
    if (!q || !(*q)->next())
        return false;
    const bool signedThen = (*q)->value(0).toBool();
    (*q)->finish();
    return signedThen;
}

Status Journal::addPendingTimeStamps()
{
    const QString url = OfficeSigning::timestampUrl();
    if (url.isEmpty())
        return {};
    const Result<QSqlQuery*> due = run(
        // On a server only the entry's own login may add them.
        QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"ISelloPendiente\" > 0%2 ORDER BY \"LId\"")
            .arg(kEntryColumns,
                 database_.isServer() ? QStringLiteral(" AND \"TUsuario\" = session_user") : QString()),
        {});
    if (!due)
        return due.error();
    QList<JournalEntry> entries;
    while ((*due)->next())
        entries << entryFrom(**due);
    (*due)->finish();
    for (JournalEntry& e : entries) {
        struct Part {
            int bit;
            const char* column;
            QByteArray& cms;
            QByteArray text;
        };
        for (const Part& p :
             {Part{kOpeningStampPending, "TFirmaApertura", e.openingSignature, signatures::openingText(e.link)},
              Part{kSealStampPending, "TFirmaCierre", e.sealSignature, signatures::sealText(e.hash)}}) {
            if ((e.stampPending & p.bit) == 0 || (p.bit == kSealStampPending && !e.sealed()))
                continue;
            const QByteArray before = p.cms;
            // Only a signature of this PC's that still verifies is stamped;
            // any other loses its mark, so it is not tried again.
            const SignatureCheck c = signatures::check(p.cms, p.text, checked_);
            if (c.valid() && c.trust == SignerTrust::Own) {
                const Result<QByteArray> stamped = addTimeStamp(p.cms, url);
                if (!stamped)
                    return {}; // still no answer: the next run tries again
                p.cms = *stamped;
            }
            e.stampPending &= ~p.bit;
            const QString column = QString::fromLatin1(p.column);
            const QVariantList binds{QString::fromLatin1(p.cms.toBase64()), signatures::pendingColumn(e.stampPending),
                                     e.id, QString::fromLatin1(before.toBase64())};
            const Result<QSqlQuery*> update =
                database_.isServer()
                    ? run(QStringLiteral("SELECT tvq52_journal_stamp(?, ?, ?, ?, ?)"),
                          {e.id, p.bit == kSealStampPending, binds[0], binds[1], binds[3]})
                    : run(QStringLiteral("UPDATE \"Diario\" SET \"%1\" = ?, \"ISelloPendiente\" = ? WHERE \"LId\" = ? "
                                         "AND coalesce(\"%1\", '') = ?")
                              .arg(column),
                          binds);
            if (!update)
                return update.error();
        }
    }
    return {};
}

} // namespace tvq52
