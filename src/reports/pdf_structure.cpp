#include "reports/pdf_structure.h"

#include <QRegularExpression>
#include <QSet>

namespace tvq52::pdf {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return isSpace(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}'
        || c == '/' || c == '%';
}

// The end of a name or a bare word (number, keyword) starting at `at`.
qsizetype wordEnd(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && !isDelimiter(text[at]))
        ++at;
    return at;
}

qsizetype stringEnd(QByteArrayView text, qsizetype at)
{
    int depth = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\\')
            ++at;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return at + 1;
    }
    return -1;
}

// Nesting deeper than this is no file of ours, and would only exhaust the stack.
constexpr int kDeepest = 64;

qsizetype valueEndAt(QByteArrayView text, qsizetype at, int depth);

qsizetype dictEnd(QByteArrayView text, qsizetype at, int depth, QList<DictEntry>* entries)
{
    at += 2;
    while (true) {
        at = skipSpace(text, at);
        if (at + 1 < text.size() && text[at] == '>' && text[at + 1] == '>')
            return at + 2;
        if (at >= text.size() || text[at] != '/')
            return -1;
        const qsizetype keyEnd = wordEnd(text, at + 1);
        const qsizetype begin = skipSpace(text, keyEnd);
        const qsizetype end = valueEndAt(text, begin, depth + 1);
        if (end < 0)
            return -1;
        if (entries)
            entries->append({text.sliced(at + 1, keyEnd - at - 1).toByteArray(), {begin, end}});
        at = end;
    }
}

qsizetype arrayEnd(QByteArrayView text, qsizetype at, int depth, QList<Span>* items)
{
    ++at;
    while (true) {
        at = skipSpace(text, at);
        if (at >= text.size())
            return -1;
        if (text[at] == ']')
            return at + 1;
        const qsizetype end = valueEndAt(text, at, depth + 1);
        if (end < 0)
            return -1;
        if (items)
            items->append({at, end});
        at = end;
    }
}

// "N G R" after a number ending at `end`: where the reference ends, else `end`.
qsizetype referenceEnd(QByteArrayView text, qsizetype end)
{
    const qsizetype generation = skipSpace(text, end);
    const qsizetype generationEnd = wordEnd(text, generation);
    if (generationEnd == generation || !integerValue(text.sliced(generation, generationEnd - generation)))
        return end;
    const qsizetype r = skipSpace(text, generationEnd);
    if (r < text.size() && text[r] == 'R' && wordEnd(text, r) == r + 1)
        return r + 1;
    return end;
}

qsizetype valueEndAt(QByteArrayView text, qsizetype at, int depth)
{
    at = skipSpace(text, at);
    if (at >= text.size() || depth > kDeepest)
        return -1;
    const char c = text[at];
    if (c == '<' && at + 1 < text.size() && text[at + 1] == '<')
        return dictEnd(text, at, depth, nullptr);
    if (c == '<') {
        const qsizetype close = text.sliced(at).indexOf('>');
        return close < 0 ? -1 : at + close + 1;
    }
    if (c == '[')
        return arrayEnd(text, at, depth, nullptr);
    if (c == '(')
        return stringEnd(text, at);
    if (c == '/')
        return wordEnd(text, at + 1);
    const qsizetype end = wordEnd(text, at);
    if (end == at)
        return -1;
    return integerValue(text.sliced(at, end - at)) ? referenceEnd(text, end) : end;
}

} // namespace

qsizetype skipSpace(QByteArrayView text, qsizetype at)
{
    while (at < text.size()) {
        if (text[at] == '%') {
            while (at < text.size() && text[at] != '\n' && text[at] != '\r')
                ++at;
        } else if (isSpace(text[at])) {
            ++at;
        } else {
            break;
        }
    }
    return at;
}

std::optional<QList<DictEntry>> dictEntries(QByteArrayView text, qsizetype at, qsizetype* end)
{
    at = skipSpace(text, at);
    if (at + 1 >= text.size() || text[at] != '<' || text[at + 1] != '<')
        return std::nullopt;
    QList<DictEntry> entries;
    const qsizetype closed = dictEnd(text, at, 0, &entries);
    if (closed < 0)
        return std::nullopt;
    if (end)
        *end = closed;
    return entries;
}

const DictEntry* findEntry(const QList<DictEntry>& entries, QByteArrayView key)
{
    for (const DictEntry& e : entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

std::optional<QList<Span>> arrayItems(QByteArrayView text, qsizetype at)
{
    at = skipSpace(text, at);
    if (at >= text.size() || text[at] != '[')
        return std::nullopt;
    QList<Span> items;
    if (arrayEnd(text, at, 0, &items) < 0)
        return std::nullopt;
    return items;
}

std::optional<int> referenceTo(QByteArrayView value)
{
    static const QRegularExpression reference(QStringLiteral(R"(^\s*(\d{1,9})\s+(\d{1,5})\s+R\s*$)"));
    const QRegularExpressionMatch m = reference.match(QString::fromLatin1(value));
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

std::optional<qint64> integerValue(QByteArrayView value)
{
    const QByteArrayView trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 15)
        return std::nullopt;
    for (char c : trimmed)
        if (c < '0' || c > '9')
            return std::nullopt;
    return trimmed.toLongLong();
}

std::optional<Structure> Structure::read(const QByteArray& file, QString* problem)
{
    Structure s;
    s.file_ = file;
    // Only the file's tail names where its newest section is.
    const qsizetype start = file.lastIndexOf("startxref");
    if (start < 0) {
        *problem = QStringLiteral("no startxref");
        return std::nullopt;
    }
    const qsizetype number = skipSpace(file, start + 9);
    const std::optional<qint64> offset =
        integerValue(QByteArrayView(file).sliced(number, wordEnd(file, number) - number));
    if (!offset || *offset >= file.size()) {
        *problem = QStringLiteral("startxref names no offset in the file");
        return std::nullopt;
    }
    s.lastXref_ = *offset;
    QSet<qsizetype> seen;
    std::optional<qsizetype> section = *offset;
    while (section) {
        // A /Prev chain that loops would never end.
        if (seen.contains(*section) || seen.size() > 1000) {
            *problem = QStringLiteral("the cross-reference sections loop");
            return std::nullopt;
        }
        seen.insert(*section);
        if (!s.readSection(*section, problem, seen.size() == 1, &section))
            return std::nullopt;
    }
    return s;
}

bool Structure::readSection(qsizetype at, QString* problem, bool newest, std::optional<qsizetype>* prev)
{
    prev->reset();
    const QByteArrayView text(file_);
    at = skipSpace(text, at);
    if (!text.sliced(at).startsWith("xref")) {
        *problem = QStringLiteral("no classic cross-reference section at %1").arg(at);
        return false;
    }
    at += 4;
    const auto word = [&]() -> QByteArrayView {
        at = skipSpace(text, at);
        const qsizetype end = wordEnd(text, at);
        const QByteArrayView w = text.sliced(at, end - at);
        at = end;
        return w;
    };
    while (true) {
        const QByteArrayView first = word();
        if (first == "trailer")
            break;
        const std::optional<qint64> from = integerValue(first);
        const std::optional<qint64> count = integerValue(word());
        if (!from || !count || *count > text.size() / 18) {
            *problem = QStringLiteral("a cross-reference subsection that cannot be read");
            return false;
        }
        for (qint64 k = 0; k < *count; ++k) {
            const std::optional<qint64> offset = integerValue(word());
            const std::optional<qint64> generation = integerValue(word());
            const QByteArrayView kind = word();
            if (!offset || !generation || (kind != "n" && kind != "f")) {
                *problem = QStringLiteral("a cross-reference entry that cannot be read");
                return false;
            }
            // A newer section's entry stands over an older one's.
            const int object = int(*from + k);
            if (!offsets_.contains(object))
                offsets_.insert(object, kind == "n" ? qsizetype(*offset) : -1);
        }
    }
    std::optional<QList<DictEntry>> trailer = dictEntries(text, at);
    if (!trailer) {
        *problem = QStringLiteral("a trailer that cannot be read");
        return false;
    }
    if (newest)
        trailer_ = *trailer;
    if (const DictEntry* older = findEntry(*trailer, "Prev")) {
        const std::optional<qint64> offset = integerValue(this->text(older->value));
        if (!offset || *offset >= file_.size()) {
            *problem = QStringLiteral("a /Prev outside the file");
            return false;
        }
        *prev = qsizetype(*offset);
    }
    return true;
}

QByteArrayView Structure::trailerValue(QByteArrayView key) const
{
    const DictEntry* e = findEntry(trailer_, key);
    return e ? text(e->value) : QByteArrayView();
}

std::optional<Span> Structure::object(int number) const
{
    // The table is the file's word: an offset past its end is none.
    const qsizetype offset = offsets_.value(number, -1);
    if (offset < 0 || offset >= file_.size())
        return std::nullopt;
    // "N G obj", then the value.
    static const QRegularExpression header(QStringLiteral(R"(^(\d+)\s+\d+\s+obj)"));
    const QString head =
        QString::fromLatin1(QByteArrayView(file_).sliced(offset, std::min<qsizetype>(40, file_.size() - offset)));
    const QRegularExpressionMatch m = header.match(head);
    if (!m.hasMatch() || m.captured(1).toInt() != number)
        return std::nullopt;
    const qsizetype begin = skipSpace(file_, offset + m.capturedLength());
    const qsizetype end = valueEndAt(file_, begin, 0);
    if (end < 0)
        return std::nullopt;
    return Span{begin, end};
}

} // namespace tvq52::pdf
