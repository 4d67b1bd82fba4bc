#include "evidence/report_pdf_proof.h"

#include "core/own_words.h"
#include "core/regular_file.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace tvq52 {

namespace {

const QString kRdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
const QString kProofNs = QString::fromLatin1(kProofNamespace);
const QString kPrefix = QStringLiteral("tvq52");

// Our packets sit just after the Info dictionary; other programs' files
// may hold theirs anywhere, and are not ours to read.
constexpr qint64 kSearchedBytes = 4 * 1024 * 1024;

struct Property {
    const char* name;
    const char* valueType;
    const char* category; // "external" where the page shows it
    const char* description;
};
constexpr Property kProperties[] = {
    {"kind", "Text", "external", "Which report the file is"},
    {"serial", "Text", "external", "Serial number of the unit shown, 0 for all units"},
    {"from", "Text", "external", "Start of the range shown"},
    {"to", "Text", "external", "End of the range shown"},
    {"printed", "Text", "internal", "When the records were read, UTC"},
    {"digest", "Text", "internal", "Hex SHA-256 of the shown records' lines in the order shown"},
    {"head", "Text", "internal", "Exchange journal head when the records were read"},
    {"records", "Text", "internal", "How many records the digest covers"},
    {"carried", "Seq Text", "internal", "Shown records the journal does not list: table;key;hash"},
};

QString isoText(const QDateTime& at)
{
    return at.toString(at.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
}

void description(QXmlStreamWriter& x, const QString& prefix, const QString& ns)
{
    x.writeStartElement(kRdf, QStringLiteral("Description"));
    x.writeNamespace(ns, prefix);
    x.writeAttribute(kRdf, QStringLiteral("about"), QString());
}

void declareProperties(QXmlStreamWriter& x)
{
    const QString ext = QStringLiteral("http://www.aiim.org/pdfa/ns/extension/");
    const QString schema = QStringLiteral("http://www.aiim.org/pdfa/ns/schema#");
    const QString property = QStringLiteral("http://www.aiim.org/pdfa/ns/property#");
    description(x, QStringLiteral("pdfaExtension"), ext);
    x.writeNamespace(schema, QStringLiteral("pdfaSchema"));
    x.writeNamespace(property, QStringLiteral("pdfaProperty"));
    x.writeStartElement(ext, QStringLiteral("schemas"));
    x.writeStartElement(kRdf, QStringLiteral("Bag"));
    x.writeStartElement(kRdf, QStringLiteral("li"));
    x.writeAttribute(kRdf, QStringLiteral("parseType"), QStringLiteral("Resource"));
    x.writeTextElement(schema, QStringLiteral("schema"), QStringLiteral("TVQ-52 report proof"));
    x.writeTextElement(schema, QStringLiteral("namespaceURI"), kProofNs);
    x.writeTextElement(schema, QStringLiteral("prefix"), kPrefix);
    x.writeStartElement(schema, QStringLiteral("property"));
    x.writeStartElement(kRdf, QStringLiteral("Seq"));
    for (const Property& p : kProperties) {
        x.writeStartElement(kRdf, QStringLiteral("li"));
        x.writeAttribute(kRdf, QStringLiteral("parseType"), QStringLiteral("Resource"));
        x.writeTextElement(property, QStringLiteral("name"), QLatin1String(p.name));
        x.writeTextElement(property, QStringLiteral("valueType"), QLatin1String(p.valueType));
        x.writeTextElement(property, QStringLiteral("category"), QLatin1String(p.category));
        x.writeTextElement(property, QStringLiteral("description"), QLatin1String(p.description));
        x.writeEndElement();
    }
    x.writeEndElement(); // Seq
    x.writeEndElement(); // property
    x.writeEndElement(); // li
    x.writeEndElement(); // Bag
    x.writeEndElement(); // schemas
    x.writeEndElement(); // Description
}

void writeProof(QXmlStreamWriter& x, const ReportProof& proof)
{
    description(x, kPrefix, kProofNs);
    auto text = [&x](const char* name, const QString& value) {
        x.writeTextElement(kProofNs, QLatin1String(name), value);
    };
    text("kind", reportKindName(proof.kind));
    text("serial", QString::number(proof.serial));
    if (proof.from.isValid())
        text("from", isoText(proof.from));
    if (proof.to.isValid())
        text("to", isoText(proof.to));
    text("printed", isoText(proof.printed.toUTC()));
    text("digest", QString::fromLatin1(proof.digest));
    text("head", QString::fromLatin1(proof.head));
    text("records", QString::number(proof.records));
    x.writeStartElement(kProofNs, QStringLiteral("carried"));
    x.writeStartElement(kRdf, QStringLiteral("Seq"));
    for (const ShownRecord& r : proof.carried)
        x.writeTextElement(kRdf, QStringLiteral("li"),
                           r.table + QLatin1Char(';') + r.key + QLatin1Char(';') + QString::fromLatin1(r.hash));
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndElement();
}

bool isHex(const QString& text)
{
    for (QChar c : text)
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f')))
            return false;
    return true;
}

Error malformed(const QString& what)
{
    return finalText(what);
}

} // namespace

QByteArray reportXmp(const PdfFacts& facts, const std::optional<ReportProof>& proof)
{
    QByteArray body;
    QXmlStreamWriter x(&body);
    x.setAutoFormatting(true);
    x.setAutoFormattingIndent(1);
    // Declared ahead of the elements, which would otherwise get made-up prefixes.
    x.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
    x.writeStartElement(QStringLiteral("adobe:ns:meta/"), QStringLiteral("xmpmeta"));
    x.writeNamespace(kRdf, QStringLiteral("rdf"));
    x.writeStartElement(kRdf, QStringLiteral("RDF"));

    // The dates first: nothing the user typed comes before them.
    const QString xmp = QStringLiteral("http://ns.adobe.com/xap/1.0/");
    description(x, QStringLiteral("xmp"), xmp);
    x.writeTextElement(xmp, QStringLiteral("CreateDate"), facts.created);
    x.writeTextElement(xmp, QStringLiteral("ModifyDate"), facts.created);
    x.writeTextElement(xmp, QStringLiteral("CreatorTool"), facts.creator);
    x.writeEndElement();

    const QString dc = QStringLiteral("http://purl.org/dc/elements/1.1/");
    description(x, QStringLiteral("dc"), dc);
    x.writeStartElement(dc, QStringLiteral("title"));
    x.writeStartElement(kRdf, QStringLiteral("Alt"));
    x.writeStartElement(kRdf, QStringLiteral("li"));
    x.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("x-default"));
    x.writeCharacters(facts.title);
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndElement();

    const QString pdf = QStringLiteral("http://ns.adobe.com/pdf/1.3/");
    description(x, QStringLiteral("pdf"), pdf);
    x.writeTextElement(pdf, QStringLiteral("Producer"), facts.producer);
    x.writeEndElement();

    const QString id = QStringLiteral("http://www.aiim.org/pdfa/ns/id/");
    description(x, QStringLiteral("pdfaid"), id);
    x.writeTextElement(id, QStringLiteral("part"), QStringLiteral("1"));
    x.writeTextElement(id, QStringLiteral("conformance"), QStringLiteral("B"));
    x.writeEndElement();

    if (proof) {
        declareProperties(x);
        writeProof(x, *proof);
    }
    x.writeEndElement(); // RDF
    x.writeEndElement(); // xmpmeta
    // The packet's wrapper by hand: the writer would put a line break before it.
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n" + body.trimmed()
        + "\n<?xpacket end=\"w\"?>";
}

Result<ReportProof> proofFromXmp(const QByteArray& packet)
{
    QXmlStreamReader x(packet);
    QHash<QString, QString> values;
    QList<ShownRecord> carried;
    bool sawCarried = false;
    while (!x.atEnd()) {
        x.readNext();
        if (!x.isStartElement() || x.namespaceUri() != kProofNs)
            continue;
        const QString name = x.name().toString();
        if (name != QStringLiteral("carried")) {
            if (values.contains(name))
                return malformed(kPrefix + QLatin1Char(':') + name);
            values.insert(name, x.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement));
            continue;
        }
        sawCarried = true;
        while (x.readNextStartElement())
            if (x.name() == QStringLiteral("Seq") && x.namespaceUri() == kRdf)
                while (x.readNextStartElement()) {
                    const QString item = x.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
                    const qsizetype first = item.indexOf(QLatin1Char(';'));
                    const qsizetype last = item.lastIndexOf(QLatin1Char(';'));
                    const QString hash = item.mid(last + 1);
                    if (first <= 0 || last == first || hash.isEmpty() || !isHex(hash))
                        return malformed(QStringLiteral("tvq52:carried ") + item);
                    carried.push_back({item.left(first), item.mid(first + 1, last - first - 1), hash.toLatin1()});
                }
            else
                x.skipCurrentElement();
    }
    if (x.hasError())
        return malformed(x.errorString());

    ReportProof proof;
    auto need = [&values](const char* name) -> std::optional<QString> {
        const auto found = values.constFind(QLatin1String(name));
        if (found == values.constEnd())
            return std::nullopt;
        return *found;
    };
    auto bad = [](const char* name) { return malformed(QStringLiteral("tvq52:") + QLatin1String(name)); };
    const auto kind = need("kind");
    const std::optional<ReportKind> known = kind ? reportKindFromName(*kind) : std::nullopt;
    if (!known)
        return bad("kind");
    proof.kind = *known;
    bool ok = false;
    const auto serial = need("serial");
    proof.serial = serial ? serial->toInt(&ok) : 0;
    if (!ok || proof.serial < 0)
        return bad("serial");
    for (auto [name, at] : {std::pair{"from", &proof.from}, std::pair{"to", &proof.to}})
        if (const auto text = need(name)) {
            *at = QDateTime::fromString(*text, Qt::ISODateWithMs);
            if (!at->isValid())
                return bad(name);
        }
    const auto printed = need("printed");
    proof.printed = printed ? QDateTime::fromString(*printed, Qt::ISODateWithMs).toUTC() : QDateTime();
    if (!proof.printed.isValid())
        return bad("printed");
    const auto digest = need("digest");
    if (!digest || digest->isEmpty() || !isHex(*digest))
        return bad("digest");
    proof.digest = digest->toLatin1();
    const auto head = need("head");
    if (!head || !isHex(*head))
        return bad("head");
    proof.head = head->toLatin1();
    const auto records = need("records");
    proof.records = records ? records->toLongLong(&ok) : -1;
    if (!ok || proof.records < 0)
        return bad("records");
    if (!sawCarried)
        return bad("carried");
    proof.carried = std::move(carried);
    return proof;
}

Result<ReportProof> readReportProof(const QString& pdfPath)
{
    const QString shown = QDir::toNativeSeparators(pdfPath);
    // A FIFO would keep the reading waiting for a writer.
    if (isNonRegularFile(pdfPath))
        return nonRegularFileError(pdfPath, FileUse::Read);
    QFile file(pdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return ownWords(QStringLiteral("No se puede leer %1: %2"), {shown, file.errorString()});
    const QByteArray start = file.read(kSearchedBytes);
    if (file.error() != QFileDevice::NoError)
        return ownWords(QStringLiteral("No se puede leer %1: %2"), {shown, file.errorString()});
    if (!start.startsWith("%PDF-"))
        return ownWords(QStringLiteral("%1 no es un archivo PDF."), {shown});
    // Only our packets name our namespace; a file with several packets (its
    // pictures' own) is searched for the one that does.
    const qsizetype ours = start.indexOf(kProofNamespace);
    if (ours < 0)
        return ownWords(QStringLiteral("%1 no lleva la prueba de los registros de un informe de este programa."),
                        {shown});
    const auto damaged = [&shown](const QString& what) {
        return ownWords(QStringLiteral("La prueba de los registros que lleva %1 está dañada: %2"), {shown, what});
    };
    const qsizetype begin = start.lastIndexOf("<x:xmpmeta", ours);
    const qsizetype end = start.indexOf("</x:xmpmeta>", ours);
    if (begin < 0 || end < 0)
        return damaged(QStringLiteral("x:xmpmeta"));
    Result<ReportProof> proof = proofFromXmp(start.mid(begin, end + 12 - begin));
    if (!proof)
        return damaged(untranslatedText(proof.error()));
    return proof;
}

} // namespace tvq52
