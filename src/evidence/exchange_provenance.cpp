#include "evidence/exchange_provenance.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace tvq52 {

namespace {

const QString kDigestKind = QStringLiteral("SHA256");
const QString kHeadKind = QStringLiteral("Cabeza");
const QString kEntryKind = QStringLiteral("Entrada");

const char* const kDamageNames[] = {"", "header", "badLine", "lineTooLong", "noDigest", "notLast", "twice"};

bool isHex64(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

// A word or a date-time as the journal writes them: never a ";" or a quote.
bool isPlainText(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9:. _-]{0,40}$"));
    return plain.match(text).hasMatch();
}

bool readCount(const QString& text, qint64 min, qint64* out)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < min || text != QString::number(v))
        return false;
    *out = v;
    return true;
}

QByteArray line(const QStringList& fields)
{
    return fields.join(QLatin1Char(';')).toUtf8() + "\r\n";
}

} // namespace

const QString kProvenanceSection = QStringLiteral("Procedencia");

QStringList provenanceColumns()
{
    return {QStringLiteral("TDato"),   QStringLiteral("LNumeroSerie"), QStringLiteral("LEntrada"),
            QStringLiteral("TAccion"), QStringLiteral("TFechaHora"),   QStringLiteral("TResultado"),
            QStringLiteral("THash"),   QStringLiteral("LRegistros")};
}

QByteArray provenanceLines(const FileProvenance& p)
{
    QByteArray out = line(provenanceColumns());
    out += line({kDigestKind, {}, {}, {}, {}, {}, QString::fromLatin1(p.statedDigest), {}});
    out += line({kHeadKind, {}, {}, {}, p.written, {}, QString::fromLatin1(p.head), {}});
    for (const SourceEntry& e : p.entries)
        out += line({kEntryKind, QString::number(e.serial), QString::number(e.entry), e.action, e.at, e.outcome,
                     QString::fromLatin1(e.hash), QString::number(e.records)});
    return out;
}

void ProvenanceReader::damaged(FileProvenance::Damage why, qint64 line)
{
    if (p_.damage != FileProvenance::Damage::None)
        return;
    p_.damage = why;
    p_.damageLine = line;
}

void ProvenanceReader::take(const QStringList& fields, qint64 line)
{
    using Damage = FileProvenance::Damage;
    if (!headerSeen_) {
        headerSeen_ = true;
        QStringList names;
        for (const QString& f : fields)
            names << f.trimmed();
        if (names.join(QLatin1Char(';')).compare(provenanceColumns().join(QLatin1Char(';')), Qt::CaseInsensitive) != 0)
            damaged(Damage::Header, line);
        return;
    }
    if (fields.size() != provenanceColumns().size()) {
        damaged(Damage::BadLine, line);
        return;
    }
    const QString kind = fields[0];
    const QString hash = fields[6];
    if (kind == kDigestKind && p_.statedDigest.isEmpty() && isHex64(hash)) {
        p_.statedDigest = hash.toLatin1();
    } else if (kind == kHeadKind && p_.written.isEmpty() && (hash.isEmpty() || isHex64(hash)) && isPlainText(fields[4])
               && !fields[4].isEmpty()) {
        p_.head = hash.toLatin1();
        p_.written = fields[4];
    } else if (kind == kEntryKind) {
        SourceEntry e;
        qint64 serial = 0;
        if (!readCount(fields[1], 1, &serial) || serial > 0x7fffffff || !readCount(fields[2], 0, &e.entry)
            || !readCount(fields[7], 0, &e.records) || !isPlainText(fields[3]) || !isPlainText(fields[4])
            || !isPlainText(fields[5]) || (!hash.isEmpty() && !isHex64(hash))) {
            damaged(Damage::BadLine, line);
            return;
        }
        e.serial = qint32(serial);
        e.action = fields[3];
        e.at = fields[4];
        e.outcome = fields[5];
        e.hash = hash.toLatin1();
        // A file of a thousand units names a few thousand entries; more is not ours.
        if (p_.entries.size() >= 100000) {
            damaged(Damage::BadLine, line);
            return;
        }
        p_.entries.append(e);
    } else {
        damaged(Damage::BadLine, line);
    }
}

void ProvenanceReader::finish(qint64 line)
{
    if (!headerSeen_)
        damaged(FileProvenance::Damage::Header, line);
    else if (p_.statedDigest.isEmpty())
        damaged(FileProvenance::Damage::NoDigest, line);
}

QString provenanceJson(const FileProvenance& p)
{
    QJsonArray entries;
    for (const SourceEntry& e : p.entries)
        entries.append(QJsonObject{{"serial", e.serial},
                                   {"entry", e.entry},
                                   {"action", e.action},
                                   {"at", e.at},
                                   {"outcome", e.outcome},
                                   {"hash", QString::fromLatin1(e.hash)},
                                   {"records", e.records}});
    QJsonObject o{{"digest", QString::fromLatin1(p.statedDigest)},
                  {"readDigest", QString::fromLatin1(p.readDigest)},
                  {"matches", p.digestMatches()},
                  {"head", QString::fromLatin1(p.head)},
                  {"written", p.written},
                  {"entries", entries}};
    if (p.damage != FileProvenance::Damage::None) {
        o.insert(QStringLiteral("damage"), QLatin1String(kDamageNames[int(p.damage)]));
        o.insert(QStringLiteral("damageLine"), p.damageLine);
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<FileProvenance> provenanceFromJson(const QString& text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    FileProvenance p;
    p.present = true;
    p.statedDigest = o.value(QStringLiteral("digest")).toString().toLatin1();
    p.readDigest = o.value(QStringLiteral("readDigest")).toString().toLatin1();
    p.head = o.value(QStringLiteral("head")).toString().toLatin1();
    p.written = o.value(QStringLiteral("written")).toString();
    const QString damage = o.value(QStringLiteral("damage")).toString();
    for (int i = 1; i < int(std::size(kDamageNames)); ++i)
        if (damage == QLatin1String(kDamageNames[i]))
            p.damage = FileProvenance::Damage(i);
    p.damageLine = o.value(QStringLiteral("damageLine")).toInteger();
    for (const QJsonValue& v : o.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject e = v.toObject();
        p.entries.append(SourceEntry{
            int(e.value(QStringLiteral("serial")).toInteger()), e.value(QStringLiteral("entry")).toInteger(),
            e.value(QStringLiteral("action")).toString(), e.value(QStringLiteral("at")).toString(),
            e.value(QStringLiteral("outcome")).toString(), e.value(QStringLiteral("hash")).toString().toLatin1(),
            e.value(QStringLiteral("records")).toInteger()});
    }
    return p;
}

} // namespace tvq52
