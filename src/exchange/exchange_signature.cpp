#include "exchange/exchange_signature.h"

#include "core/own_words.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_reader.h"
#include "i18n/translator.h"

#include <QFile>
#include <QJsonDocument>
#include <algorithm>

namespace tvq52 {

namespace {

QString words(Translator* translator, const QString& native)
{
    return translator ? translator->translate(native) : native;
}

QString fingerprint(const SignatureCheck& check)
{
    return check.signer.isNull() ? QStringLiteral("-") : QString::fromLatin1(check.signer.fingerprint);
}

} // namespace

QByteArray provenanceSignedContent(FileProvenance p)
{
    p.signature.clear();
    return QByteArrayLiteral("tvq52 exchange file provenance\r\n") + provenanceLines(p);
}

Result<Signature> signProvenance(FileProvenance& p, Signer& signer)
{
    Result<Signature> made = signer.sign(provenanceSignedContent(p));
    if (made)
        p.signature = made->cms;
    return made;
}

ProvenanceVerdict judgeProvenance(const FileProvenance& p, const TrustStore& trust)
{
    using Kind = ProvenanceVerdict::Kind;
    ProvenanceVerdict v;
    if (!p.present)
        return v;
    if (p.damage != FileProvenance::Damage::None) {
        v.kind = Kind::Damaged;
    } else if (p.signature.isEmpty()) {
        v.kind = p.digestMatches() ? Kind::Unsigned : Kind::UnsignedChanged;
    } else {
        v.check = verifySignature(p.signature, provenanceSignedContent(p), trust);
        if (!v.check.valid() || !p.digestMatches())
            v.kind = Kind::Changed;
        else
            v.kind = v.check.trusted() ? Kind::Trusted : Kind::Untrusted;
    }
    return v;
}

bool ProvenanceScan::enter(const ExchangeRecord& record)
{
    const bool provenance = record.section.compare(kProvenanceSection, Qt::CaseInsensitive) == 0;
    if (reading_) {
        leave(record.line);
        // The digest does not cover what comes after the section (a second
        // one is told as such).
        if (!provenance)
            ProvenanceReader(p_).damaged(FileProvenance::Damage::NotLast, record.line);
    }
    if (!provenance)
        return false;
    if (p_.present) {
        ProvenanceReader(p_).damaged(FileProvenance::Damage::Twice, record.line);
    } else {
        // What follows the section line is not part of what it vouches for.
        p_.present = true;
        p_.readDigest = reader_.finishDigest();
    }
    reading_.emplace(p_);
    reader_.setLimits(kProvenanceLineBytes, int(provenanceColumns().size()));
    return true;
}

void ProvenanceScan::take(ExchangeRecord& record)
{
    if (record.blank) {
        reading_->blank(record.line);
    } else if (record.kind == ExchangeRecord::Kind::TooLong) {
        reading_->damaged(FileProvenance::Damage::LineTooLong, record.line);
    } else if (record.kind != ExchangeRecord::Kind::Fields) {
        reading_->damaged(FileProvenance::Damage::BadLine, record.line);
    } else {
        reader_.split(&record);
        reading_->take(record.fields, record.line);
    }
}

void ProvenanceScan::leave(qint64 line)
{
    if (reading_)
        reading_->finish(line);
    reading_.reset();
}

Result<FileScan> scanFile(const QString& path)
{
    FileScan scan;
    ExchangeReader reader;
    reader.setDigesting(true);
    reader.setHashingFile(true);
    if (const Status opened = reader.open(path); !opened)
        return opened.error();
    reader.setSplitting(false);
    reader.setLimits(longestRowBytes(), 1);
    ProvenanceScan provenance(reader, scan.provenance);
    ExchangeRecord record;
    for (;;) {
        const Result<ExchangeReader::Read> got = reader.next(&record);
        // A read that failed partway is no digest of the file.
        if (!got)
            return ownWords(QStringLiteral("%1: no se ha podido leer (%2)"), {path, got.error().detail});
        if (*got == ExchangeReader::Read::EndOfFile)
            break;
        if (record.kind == ExchangeRecord::Kind::Section) {
            if (!provenance.enter(record))
                reader.setLimits(longestRowBytes(), 1);
        } else if (provenance.active()) {
            provenance.take(record);
        }
    }
    provenance.leave(record.line);
    scan.fileDigest = reader.fileDigest();
    scan.size = reader.size();
    scan.modified = reader.modified();
    return scan;
}

MessageWords verdictWords(const ProvenanceVerdict& v, const FileProvenance& p)
{
    using Kind = ProvenanceVerdict::Kind;
    switch (v.kind) {
    case Kind::None:
        return MessageWords::plain({});
    case Kind::Damaged:
    case Kind::UnsignedChanged:
        return provenanceWarningWords(p);
    case Kind::Unsigned:
        return MessageWords::of(QStringLiteral("El archivo no está firmado: su huella SHA-256 muestra que no se ha "
                                               "dañado desde que se escribió el %1, nunca quién lo escribió."),
                                QStringList{p.written});
    case Kind::Changed:
        return MessageWords::of(
            QStringLiteral("El archivo se ha modificado después de firmarse (%1). No se ha importado "
                           "nada; pida de nuevo el archivo a la oficina que lo envió."),
            {p.digestMatches() ? MessageWords::of(QStringLiteral("la firma no corresponde a lo firmado: %1"),
                                                  QStringList{v.check.detail})
                               : MessageWords::of(QStringLiteral("su huella SHA-256 es %1, no la firmada %2"),
                                                  QStringList{QString::fromLatin1(p.readDigest),
                                                              QString::fromLatin1(p.statedDigest)})});
    case Kind::Untrusted:
        return MessageWords::of(
            v.check.trust == SignerTrust::NotValidThen
                ? QStringLiteral("El archivo está intacto, pero lo firmó un certificado de confianza "
                                 "fuera de su validez (huella %1): no se sabe quién lo escribió.")
                : QStringLiteral("El archivo está intacto, pero lo firmó una oficina que no es de "
                                 "confianza en este PC (huella %1): no se sabe quién lo escribió."),
            QStringList{fingerprint(v.check)});
    case Kind::Trusted:
        return MessageWords::of(
            QStringLiteral("Procedencia comprobada: el archivo es el que se escribió el %1 (cabeza de "
                           "su diario: %2) y lo firmó una oficina de confianza: %3 (huella %4)."),
            QStringList{p.written, p.head.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(p.head),
                        v.check.signer.subject, fingerprint(v.check)});
    }
    return MessageWords::plain({});
}

QString verdictLine(const ProvenanceVerdict& v, const FileProvenance& p, Translator* translator)
{
    return shownIn(verdictWords(v, p), translator);
}

MessageWords unsignedRefusalWords(const ProvenanceVerdict& v)
{
    if (v.kind == ProvenanceVerdict::Kind::Untrusted)
        return MessageWords::of(QStringLiteral("No se ha importado nada: solo se aceptan archivos firmados por una "
                                               "oficina de confianza, y este lo firmó una que no lo es (huella %1)."),
                                QStringList{fingerprint(v.check)});
    return MessageWords::of(
        QStringLiteral("No se ha importado nada: solo se aceptan archivos firmados por una oficina "
                       "de confianza, y este no lleva una firma válida."));
}

QString unsignedRefusal(const ProvenanceVerdict& v, Translator* translator)
{
    return shownIn(unsignedRefusalWords(v), translator);
}

QString shownIn(const MessageWords& m, Translator* translator)
{
    if (!translator)
        return m.shown();
    return m.shown([translator](const QString& native) { return translator->translate(native); });
}

QString unsignedQuestion(const ProvenanceVerdict& v, Translator* translator)
{
    if (v.kind == ProvenanceVerdict::Kind::Untrusted)
        return words(translator,
                     QStringLiteral("Este archivo lo firmó una oficina que no es de confianza (huella %1), y solo "
                                    "se aceptan archivos firmados por una oficina de confianza. ¿Importarlo de "
                                    "todos modos?"))
            .arg(fingerprint(v.check));
    return words(translator,
                 QStringLiteral("Este archivo no lleva una firma válida, y solo se aceptan archivos firmados por "
                                "una oficina de confianza. ¿Importarlo de todos modos?"));
}

QJsonObject verdictJson(const ProvenanceVerdict& v)
{
    const bool named = v.isSigned() && !v.check.signer.isNull();
    return QJsonObject{{"intact", v.intact()},
                       {"signed", v.isSigned()},
                       {"signer", named ? QJsonValue(QString::fromLatin1(v.check.signer.fingerprint)) : QJsonValue()},
                       {"trusted", v.trusted()}};
}

QString provenanceRecord(const FileProvenance& p, const ProvenanceVerdict& v)
{
    QJsonObject o = QJsonDocument::fromJson(provenanceJson(p).toUtf8()).object();
    if (!p.signature.isEmpty()) {
        // Kept whole, so that the signature can be checked again from the journal alone.
        o.insert(QStringLiteral("signature"), QString::fromLatin1(p.signature.toBase64()));
        o.insert(QStringLiteral("signer"), verdictJson(v).value(QStringLiteral("signer")));
        o.insert(QStringLiteral("signerSubject"), v.check.signer.subject);
        o.insert(QStringLiteral("trusted"), v.trusted());
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace tvq52
