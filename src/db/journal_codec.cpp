#include "db/journal_codec.h"

#include "core/sha256.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>
#include <cstring>

namespace tvq52::journal_codec {

const char* const kRecordTables[5] = {"Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado"};

QByteArray sha256Hex(const QByteArray& bytes)
{
    return Sha256::hex(bytes);
}

namespace {

// A download hashes the same few hundred levels over and over: each one is
// formatted once. Kept by its bits, as 0 and -0 are written apart.
QString singleText(float f)
{
    static thread_local QHash<quint32, QString> known;
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    if (const auto at = known.constFind(bits); at != known.constEnd())
        return *at;
    if (known.size() >= 4096)
        known.clear();
    return *known.insert(bits, QString::asprintf("%.9g", double(f)));
}

} // namespace

QString canonicalValue(const ColumnDef& column, const QVariant& value, int version)
{
    if (!value.isValid() || value.isNull())
        return {};
    // A text where a number belongs (only SQLite keeps one) is shown as it is.
    const bool text = value.typeId() == QMetaType::QString;
    switch (column.type) {
    case ColumnType::Single:
        if (version < 2)
            return QString::asprintf("%.1f", double(value.toFloat()));
        if (text) {
            bool number = false;
            value.toString().toDouble(&number);
            if (!number)
                return value.toString();
        }
        return singleText(value.toFloat());
    case ColumnType::Date:
        if (value.typeId() == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().date().toString(Qt::ISODate);
        return value.toString().left(10);
    case ColumnType::Boolean:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        if (version >= 2 && (text || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)) {
            const double d = value.toDouble();
            if (text || d != double(qint64(d)))
                return text ? value.toString() : QString::number(d, 'g', 17);
        }
        return QString::number(value.toLongLong());
    case ColumnType::Text:
        return value.toString();
    }
    return value.toString();
}

QString keyText(const TableDef& table, const Row& row)
{
    QStringList parts;
    for (const char* k : table.key)
        parts << canonicalValue(*table.column(QString::fromUtf8(k)), row.value(QString::fromUtf8(k)), 1);
    return parts.join(QLatin1Char(' '));
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
    "\"TFirmaApertura\", \"TFirmaCierre\", \"ISelloPendiente\", \"THuellaLineas\"");

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
    return e;
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
