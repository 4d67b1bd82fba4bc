#include "cli/report_signature_lines.h"

#include "core/date_text.h"
#include "i18n/translator.h"

#include <QJsonArray>

namespace tvq52 {

namespace {

using State = pdf::FoundSignature::State;

const char* trustName(SignerTrust trust)
{
    switch (trust) {
    case SignerTrust::Own:
        return "own";
    case SignerTrust::Trusted:
        return "trusted";
    case SignerTrust::Untrusted:
        return "untrusted";
    case SignerTrust::NotValidThen:
        return "not-valid-then";
    }
    return "untrusted";
}

const char* outcomeName(SignatureCheck::Outcome outcome)
{
    switch (outcome) {
    case SignatureCheck::Outcome::Valid:
        return "valid";
    case SignatureCheck::Outcome::Changed:
        return "changed";
    case SignatureCheck::Outcome::Damaged:
        return "damaged";
    }
    return "damaged";
}

// Why the signature fails, the gravest first; empty when it holds.
QString failure(const Translator& translator, const ReportSignature& s)
{
    const auto say = [&translator](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    const pdf::FoundSignature& f = s.found;
    if (f.state == State::None)
        return {};
    if (f.state == State::Unreadable)
        return say("La firma del informe no se puede leer: %1").arg(f.problem);
    if (!f.startsAtZero || !f.gapIsContents)
        return say("La firma no cubre todo el archivo: hay partes que nadie firmó.");
    if (!f.reachesEnd)
        return say("Se añadieron datos al archivo después de firmarlo.");
    switch (s.check.outcome) {
    case SignatureCheck::Outcome::Changed:
        return say("El archivo ha cambiado desde que se firmó.");
    case SignatureCheck::Outcome::Damaged:
        return say("La firma está dañada: %1").arg(s.check.detail);
    case SignatureCheck::Outcome::Valid:
        break;
    }
    if (s.check.trust == SignerTrust::NotValidThen)
        return say("El certificado del firmante no era válido cuando se firmó.");
    if (!s.check.trusted())
        return say(
            "Este PC no confía en el firmante; añada su certificado con «trust add» si es de una oficina conocida.");
    return {};
}

} // namespace

bool signatureHolds(const ReportSignature& signature)
{
    return !signature.present() || signature.passed();
}

QStringList signatureLines(const Translator& translator, const ReportSignature& s)
{
    const auto say = [&translator](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    if (!s.present())
        return {say("Sus páginas no están cubiertas por ninguna firma.")};
    QStringList lines;
    const SignatureCheck& c = s.check;
    if (!c.signer.isNull()) {
        QString trust = say("no es de confianza");
        if (c.trust == SignerTrust::Own)
            trust = say("clave de este PC");
        else if (c.trust == SignerTrust::Trusted)
            trust = say("de confianza");
        lines << say("Firmado por %1 (huella %2), %3")
                     .arg(c.signer.subject, QString::fromLatin1(c.signer.fingerprint), trust);
    }
    if (c.time.at.isValid())
        lines << say("Firmado el %1, %2")
                     .arg(c.time.at.toUTC().toString(Qt::ISODate),
                          c.time.proven ? say("sellado de tiempo de %1").arg(c.time.authority)
                                        : say("hora del PC, no probada"));
    if (const QString why = failure(translator, s); !why.isEmpty())
        lines << why;
    else
        lines << say("La firma cubre el archivo entero y es válida.");
    return lines;
}

QJsonObject signatureJson(const ReportSignature& s)
{
    const pdf::FoundSignature& f = s.found;
    if (f.state == State::None)
        return QJsonObject{{"present", false}, {"verified", true}};
    QJsonObject o{{"present", true},
                  {"verified", s.passed()},
                  {"byteRange", QJsonArray{f.range[0], f.range[1], f.range[2], f.range[3]}},
                  {"wholeFile", f.wholeFile()},
                  {"appended", f.state == State::Found && !f.reachesEnd}};
    if (f.state == State::Unreadable) {
        o.insert("outcome", "unreadable");
        o.insert("problem", f.problem);
        return o;
    }
    const SignatureCheck& c = s.check;
    o.insert("outcome", outcomeName(c.outcome));
    if (!c.detail.isEmpty())
        o.insert("problem", c.detail);
    if (!c.signer.isNull()) {
        o.insert("signer", c.signer.subject);
        o.insert("fingerprint", QString::fromLatin1(c.signer.fingerprint));
        o.insert("trust", trustName(c.trust));
    }
    if (c.time.at.isValid()) {
        o.insert("signedAt", jsonDateTimeText(c.time.at.toLocalTime()));
        o.insert("timeProven", c.time.proven);
        if (c.time.proven)
            o.insert("timeAuthority", c.time.authority);
    }
    return o;
}

} // namespace tvq52
