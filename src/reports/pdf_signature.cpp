#include "reports/pdf_signature.h"

#include "core/own_words.h"
#include "reports/pdf_structure.h"

#include <map>

namespace tvq52::pdf {

namespace {

// The numbers of the range are written over this, padded: no offset moves.
constexpr char kRangeSlot[] = "[0 0000000000 0000000000 0000000000]";

Error unsignable(const QString& why)
{
    return ownWords(QStringLiteral("No se puede firmar el PDF: %1"), {why});
}

// The dictionary `span` holds, with `extra` entries added at its end and
// `replaced` entries' values replaced.
QByteArray editedDict(const Structure& s, Span span, const QByteArray& extra,
                      const std::map<QByteArray, QByteArray>& replaced = {})
{
    const std::optional<QList<DictEntry>> entries = dictEntries(s.text(span), 0);
    QByteArray out = "<<";
    for (const DictEntry& e : *entries) {
        const auto r = replaced.find(e.key);
        out += "\n/" + e.key + ' '
            + (r != replaced.end() ? r->second
                                   : s.text(span).sliced(e.value.begin, e.value.end - e.value.begin).toByteArray());
    }
    return out + extra + "\n>>";
}

// The value of `key` in the dictionary `dict` starts with; empty when none.
QByteArray entryValue(QByteArrayView dict, QByteArrayView key)
{
    const std::optional<QList<DictEntry>> entries = dictEntries(dict, 0);
    const DictEntry* e = entries ? findEntry(*entries, key) : nullptr;
    return e ? dict.sliced(e->value.begin, e->value.end - e->value.begin).toByteArray() : QByteArray();
}

QByteArray entryValue(const Structure& s, Span dict, QByteArrayView key)
{
    return entryValue(s.text(dict), key);
}

// The text of the object a value refers to, or the value's own.
QByteArray heldValue(const Structure& s, const QByteArray& value)
{
    const std::optional<int> number = referenceTo(value);
    if (!number)
        return value;
    const std::optional<Span> object = s.object(*number);
    return object ? s.text(*object).toByteArray() : QByteArray();
}

// The dictionary of object `number`; nothing when it is none.
std::optional<Span> dictObject(const Structure& s, int number)
{
    const std::optional<Span> span = s.object(number);
    if (!span || !dictEntries(s.text(*span), 0))
        return std::nullopt;
    return span;
}

// The first page: the first kid of each page tree node down from the root.
std::optional<int> firstPage(const Structure& s, const QByteArray& pagesRef)
{
    std::optional<int> node = referenceTo(pagesRef);
    for (int depth = 0; node && depth < 32; ++depth) {
        const std::optional<Span> dict = dictObject(s, *node);
        if (!dict)
            return std::nullopt;
        if (entryValue(s, *dict, "Type").trimmed() == "/Page")
            return node;
        const QByteArray kids = heldValue(s, entryValue(s, *dict, "Kids"));
        const std::optional<QList<Span>> items = arrayItems(kids, 0);
        if (!items || items->isEmpty())
            return std::nullopt;
        node =
            referenceTo(QByteArrayView(kids).sliced(items->front().begin, items->front().end - items->front().begin));
    }
    return std::nullopt;
}

QByteArray itemsText(QByteArrayView array, const QList<Span>& items)
{
    QByteArray out;
    for (const Span& i : items)
        out += array.sliced(i.begin, i.end - i.begin).toByteArray() + ' ';
    return out;
}

QByteArray reference(int number)
{
    return QByteArray::number(number) + " 0 R";
}

// The cross-reference section of an update: its objects by number, in
// subsections of consecutive numbers, 20 bytes an entry.
QByteArray xrefSection(const std::map<int, qint64>& offsets)
{
    QByteArray out = "xref\n";
    for (auto it = offsets.begin(); it != offsets.end();) {
        auto run = it;
        int count = 0;
        while (run != offsets.end() && run->first == it->first + count) {
            ++run;
            ++count;
        }
        out += QByteArray::number(it->first) + ' ' + QByteArray::number(count) + '\n';
        for (; it != run; ++it)
            out += QByteArray::number(it->second).rightJustified(10, '0') + " 00000 n \n";
    }
    return out;
}

// The whole length of a DER value at the start of `der`; 0 when it is none.
qsizetype derLength(const QByteArray& der)
{
    if (der.size() < 2 || der[0] != 0x30)
        return 0;
    const auto lengthByte = quint8(der[1]);
    if (lengthByte < 0x80)
        return 2 + lengthByte;
    const int bytes = lengthByte & 0x7f;
    if (bytes < 1 || bytes > 4 || der.size() < 2 + bytes)
        return 0;
    qsizetype length = 0;
    for (int k = 0; k < bytes; ++k)
        length = (length << 8) | quint8(der[2 + k]);
    return 2 + bytes + length;
}

} // namespace

Result<QByteArray> signatureUpdate(const QByteArray& file, const QDateTime& now, const SignCovered& sign)
{
    QString problem;
    const std::optional<Structure> s = Structure::read(file, &problem);
    if (!s)
        return unsignable(problem);
    const std::optional<int> root = referenceTo(s->trailerValue("Root"));
    const std::optional<qint64> size = integerValue(s->trailerValue("Size"));
    const std::optional<Span> catalog = root ? dictObject(*s, *root) : std::nullopt;
    if (!catalog || !size)
        return unsignable(QStringLiteral("no catalog"));
    if (!entryValue(*s, *catalog, "AcroForm").isEmpty())
        return unsignable(QStringLiteral("the file has a form already"));
    const std::optional<int> page = firstPage(*s, entryValue(*s, *catalog, "Pages"));
    const std::optional<Span> pageDict = page ? dictObject(*s, *page) : std::nullopt;
    if (!pageDict)
        return unsignable(QStringLiteral("no first page"));

    const int sigNumber = int(*size);
    const int widgetNumber = sigNumber + 1;
    std::map<int, QByteArray> objects; // the new versions and the new objects
    objects[*root] =
        editedDict(*s, *catalog, "\n/AcroForm << /Fields [" + reference(widgetNumber) + "] /SigFlags 3 >>");
    // The widget joins the page's annotations: a new version of the array
    // where the page refers to one, else of the page.
    const QByteArray annots = entryValue(*s, *pageDict, "Annots");
    if (const std::optional<int> array = referenceTo(annots)) {
        const std::optional<Span> held = s->object(*array);
        const std::optional<QList<Span>> items = held ? arrayItems(s->text(*held), 0) : std::nullopt;
        if (!items)
            return unsignable(QStringLiteral("the first page's annotations"));
        objects[*array] = '[' + itemsText(s->text(*held), *items) + reference(widgetNumber) + ']';
    } else if (!annots.isEmpty()) {
        const std::optional<QList<Span>> items = arrayItems(annots, 0);
        if (!items)
            return unsignable(QStringLiteral("the first page's annotations"));
        objects[*page] = editedDict(*s, *pageDict, {},
                                    {{"Annots", '[' + itemsText(annots, *items) + reference(widgetNumber) + ']'}});
    } else {
        objects[*page] = editedDict(*s, *pageDict, "\n/Annots [" + reference(widgetNumber) + ']');
    }
    const QByteArray contentsSlot = '<' + QByteArray(kSignatureRoom * 2, '0') + '>';
    objects[sigNumber] = "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached\n/ByteRange "
        + QByteArray(kRangeSlot) + "\n/Contents " + contentsSlot
        + "\n/M (D:" + now.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "Z)\n>>";
    // Invisible but printable and locked: PDF/A-1 allows no hidden annotation.
    objects[widgetNumber] = "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Firma) /V " + reference(sigNumber) + " /P "
        + reference(*page) + " /Rect [0 0 0 0] /F 132 >>";

    QByteArray update;
    if (!file.endsWith('\n') && !file.endsWith('\r'))
        update += '\n';
    std::map<int, qint64> offsets;
    for (const auto& [number, body] : objects) {
        offsets[number] = file.size() + update.size();
        update += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    const qint64 xref = file.size() + update.size();
    update += xrefSection(offsets);
    update += "trailer\n<< /Size " + QByteArray::number(widgetNumber + 1) + " /Root " + reference(*root);
    for (const char* kept : {"Info", "ID"})
        if (const QByteArrayView value = s->trailerValue(kept); !value.isEmpty())
            update += " /" + QByteArray(kept) + ' ' + value.toByteArray();
    update +=
        " /Prev " + QByteArray::number(s->lastXref()) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";

    // The range is known once the update is whole; written over its slot.
    const qsizetype slot = update.indexOf(contentsSlot);
    const qint64 gapBegin = file.size() + slot;
    const qint64 gapEnd = gapBegin + contentsSlot.size();
    const qint64 total = file.size() + update.size();
    QByteArray range = "[0 " + QByteArray::number(gapBegin) + ' ' + QByteArray::number(gapEnd) + ' '
        + QByteArray::number(total - gapEnd);
    range = range.leftJustified(qsizetype(sizeof kRangeSlot) - 2, ' ') + ']';
    update.replace(update.indexOf(kRangeSlot), range.size(), range);

    const QByteArray covered = file + update.left(slot) + update.mid(slot + contentsSlot.size());
    const Result<QByteArray> der = sign(covered);
    if (!der)
        return der.error();
    if (der->size() > kSignatureRoom)
        return unsignable(QStringLiteral("a signature of %1 bytes leaves no room").arg(der->size()));
    const QByteArray hex = der->toHex().leftJustified(kSignatureRoom * 2, '0');
    update.replace(slot + 1, hex.size(), hex);
    return update;
}

FoundSignature findSignature(const QByteArray& file)
{
    FoundSignature found;
    const auto unreadable = [&found](const QString& why) {
        found.state = FoundSignature::State::Unreadable;
        found.problem = why;
        return found;
    };
    const std::optional<Structure> s = Structure::read(file, &found.problem);
    if (!s)
        return unreadable(found.problem);
    const std::optional<int> root = referenceTo(s->trailerValue("Root"));
    const std::optional<Span> catalog = root ? dictObject(*s, *root) : std::nullopt;
    if (!catalog)
        return unreadable(QStringLiteral("no catalog"));
    const QByteArray formValue = entryValue(*s, *catalog, "AcroForm");
    if (formValue.isEmpty())
        return found;
    // The form and its fields may each be held in an object of their own.
    const QByteArray form = heldValue(*s, formValue);
    if (!dictEntries(form, 0))
        return unreadable(QStringLiteral("the form cannot be read"));
    const QByteArray fields = heldValue(*s, entryValue(form, "Fields"));
    const std::optional<QList<Span>> items = arrayItems(fields.isEmpty() ? QByteArray("[]") : fields, 0);
    if (!items)
        return unreadable(QStringLiteral("the form's fields cannot be read"));
    std::optional<int> signature;
    for (const Span& item : *items) {
        const std::optional<int> field = referenceTo(QByteArrayView(fields).sliced(item.begin, item.end - item.begin));
        const std::optional<Span> dict = field ? dictObject(*s, *field) : std::nullopt;
        if (dict && entryValue(*s, *dict, "FT").trimmed() == "/Sig")
            if (const std::optional<int> value = referenceTo(entryValue(*s, *dict, "V")))
                signature = value; // the last one, which a later signing would add
    }
    if (!signature)
        return found;
    found.state = FoundSignature::State::Found;
    const std::optional<Span> sig = dictObject(*s, *signature);
    const std::optional<QList<DictEntry>> entries = sig ? dictEntries(file, sig->begin) : std::nullopt;
    const DictEntry* rangeEntry = entries ? findEntry(*entries, "ByteRange") : nullptr;
    const DictEntry* contents = entries ? findEntry(*entries, "Contents") : nullptr;
    const std::optional<QList<Span>> numbers = rangeEntry ? arrayItems(file, rangeEntry->value.begin) : std::nullopt;
    if (!contents || !numbers || numbers->size() != 4)
        return unreadable(QStringLiteral("the signature dictionary has no /ByteRange of four numbers or no /Contents"));
    for (int k = 0; k < 4; ++k) {
        const std::optional<qint64> n = integerValue(s->text((*numbers)[k]));
        if (!n)
            return unreadable(QStringLiteral("the /ByteRange holds something else than numbers"));
        found.range[std::size_t(k)] = *n;
    }
    const auto& r = found.range;
    const Span hex = contents->value;
    if (hex.end - hex.begin < 2 || file[hex.begin] != '<' || file[hex.begin + 1] == '<')
        return unreadable(QStringLiteral("the signature's /Contents is no hex string"));
    found.startsAtZero = r[0] == 0;
    found.gapIsContents = r[0] + r[1] == hex.begin && r[2] == hex.end;
    found.reachesEnd = r[2] + r[3] == file.size();
    if (r[0] + r[1] > file.size() || r[2] > file.size() || r[3] > file.size() - r[2])
        return unreadable(QStringLiteral("the /ByteRange reaches outside the file"));
    found.covered = file.mid(r[0], r[1]) + file.mid(r[2], r[3]);
    const QByteArray der = QByteArray::fromHex(s->text({hex.begin + 1, hex.end - 1}).toByteArray());
    const qsizetype length = derLength(der);
    found.cms = length > 0 && length <= der.size() ? der.left(length) : der;
    return found;
}

} // namespace tvq52::pdf
