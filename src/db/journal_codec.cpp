#include "db/journal_codec.h"

#include "core/sha256.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>

namespace tvq52::journal_codec {

const char* const kRecordTables[5] = {"Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado"};

QByteArray sha256Hex(const QByteArray& bytes)
{
    return Sha256::hex(bytes);
}

QString canonicalValue(const ColumnDef& column, const QVariant& value, int version)
{
    return canonicalText(column.type, value, version);
}

QString keyText(const TableDef& table, const Row& row)
{
    static thread_local CanonicalEncoder encoder;
    std::string text;
    for (size_t i = 0; i < table.key.size(); ++i) {
        if (i > 0)
            text += canonical::kKeySeparator;
        const QString name = QString::fromUtf8(table.key[i]);
        encoder.append(text, table.column(name)->type, row.value(name), canonical::kKeyVersion);
    }
    return QString::fromStdString(text);
}

QString entryAt(const QDateTime& at)
{
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString serialText(const JournalEntry& e)
{
    return e.version >= 2 && e.serial <= 0 ? QString() : QString::number(e.serial);
}

// What an entry's hash covers besides its records.
QByteArray entryFields(const JournalEntry& e)
{
    QStringList fields{QString::number(e.id),
                       entryAt(e.at),
                       journalActionName(e.action),
                       serialText(e),
                       e.line,
                       e.outcome,
                       e.message,
                       e.counts,
                       e.totals,
                       QString::number(e.previous)};
    if (e.version >= 2)
        fields << QString::number(e.version) << QString::fromLatin1(e.link) << QString::fromLatin1(e.source);
    // Only when there is one: every entry hashed before the column existed stays valid.
    if (!e.provenance.isEmpty())
        fields << e.provenance;
    if (e.version >= 3)
        fields << e.user << (e.messageNumber > 0 ? QString::number(e.messageNumber) : QString())
               << e.messageArguments.join(kArgumentSeparator);
    return fields.join(kSeparator).toUtf8();
}

// The link an entry gets as it is opened: the head it was opened under and a
// hash over that head and the opening fields.
QByteArray openingLink(const QByteArray& headAtOpen, const JournalEntry& e)
{
    const QStringList fields{QString::number(e.id),
                             entryAt(e.at),
                             journalActionName(e.action),
                             serialText(e),
                             e.line,
                             QString::fromLatin1(e.source),
                             QString::number(e.version)};
    return headAtOpen + ' ' + sha256Hex(headAtOpen + char(0x1f) + fields.join(kSeparator).toUtf8());
}

// Whether the entry carries the link the program gives an entry it opens;
// `sealedHashes` holds every sealed hash, which the head at opening must be.
bool linkHolds(const JournalEntry& e, const QSet<QByteArray>& sealedHashes)
{
    const qsizetype space = e.link.indexOf(' ');
    if (e.version < 2 || space < 0)
        return false;
    const QByteArray head = e.link.left(space);
    if (!head.isEmpty() && !sealedHashes.contains(head))
        return false;
    return openingLink(head, e) == e.link;
}

QByteArray recordLine(const QString& table, const QString& key, const QString& digest)
{
    return (table + kSeparator + key + kSeparator + digest + QChar(0x1e)).toUtf8();
}

QByteArray entryHash(const QByteArray& previousHash, const JournalEntry& entry, const QByteArray& linesDigest)
{
    QByteArray text = previousHash;
    text += char(0x1f);
    text += entryFields(entry);
    text += char(0x1f);
    text += linesDigest;
    return sha256Hex(text);
}

std::optional<JournalAction> actionFromName(const QString& name)
{
    for (JournalAction a : {JournalAction::Download, JournalAction::ProgramReceive, JournalAction::ProgramTransmit,
                            JournalAction::UnitDeletion, JournalAction::Merge, JournalAction::Import,
                            JournalAction::Adopt, JournalAction::Restart})
        if (journalActionName(a) == name)
            return a;
    return std::nullopt;
}

const QString kEntryColumns = QStringLiteral(
    "\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
    "\"TResultado\", \"TMensaje\", \"TRecuentos\", \"TTotales\", "
    "\"THash\", \"LAnterior\", \"IVersion\", \"TEnlace\", \"TOrigen\", \"TProcedencia\", "
    "\"TFirmaApertura\", \"TFirmaCierre\", \"ISelloPendiente\", \"THuellaLineas\", "
    "\"TUsuario\", \"INumeroMensaje\", \"TArgumentosMensaje\"");

JournalEntry entryFrom(const QSqlQuery& q)
{
    JournalEntry e;
    e.id = q.value(0).toLongLong();
    e.at = QDateTime::fromString(q.value(1).toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    e.action = actionFromName(q.value(2).toString()).value_or(JournalAction::Download);
    e.serial = q.value(3).toInt();
    e.line = q.value(4).toString();
    e.outcome = q.value(5).toString();
    e.message = q.value(6).toString();
    e.counts = q.value(7).toString();
    e.totals = q.value(8).toString();
    e.hash = q.value(9).toString().toLatin1();
    e.previous = q.value(10).toLongLong();
    e.version = q.value(11).isNull() ? 1 : q.value(11).toInt();
    e.link = q.value(12).toString().toLatin1();
    e.source = q.value(13).toString().toLatin1();
    e.provenance = q.value(14).toString();
    e.openingSignature = QByteArray::fromBase64(q.value(15).toString().toLatin1());
    e.sealSignature = QByteArray::fromBase64(q.value(16).toString().toLatin1());
    e.stampPending = q.value(17).toInt();
    e.linesDigest = q.value(18).toString().toLatin1();
    e.user = q.value(19).toString();
    e.messageNumber = q.value(20).toInt();
    if (!q.value(21).isNull())
        e.messageArguments = q.value(21).toString().split(kArgumentSeparator);
    return e;
}

QVariant messageNumberColumn(const JournalEntry& e)
{
    return e.messageNumber > 0 ? QVariant(e.messageNumber) : QVariant(QMetaType(QMetaType::Int));
}

QVariant messageArgumentsColumn(const JournalEntry& e)
{
    return e.messageNumber > 0 || !e.messageArguments.isEmpty() ? QVariant(e.messageArguments.join(kArgumentSeparator))
                                                                : QVariant(QMetaType(QMetaType::QString));
}

Row rowFrom(const QSqlQuery& q)
{
    Row row;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        row.set(record.fieldName(i), q.value(i));
    return row;
}

} // namespace tvq52::journal_codec
