#include "core/message_words.h"

namespace tvq52 {

namespace {

// Starts a native text that has parts of its own: the marker, its number of
// parts, the marker again, the text. Paths and numbers never start with it.
constexpr QChar kNested = QChar(char16_t(0x1d));

QString filled(const QString& text, const QStringList& parts)
{
    QString out;
    // %1..%9 in one pass: a part holding "%2" is never filled again.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (text[i] == QLatin1Char('%') && n >= 1 && n <= parts.size()) {
            out += parts[n - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void encode(const MessageWords& m, QStringList& out)
{
    if (!m.native) {
        out << m.words;
        return;
    }
    out << kNested + QString::number(m.parts.size()) + kNested + m.words;
    for (const MessageWords& part : m.parts)
        encode(part, out);
}

std::optional<MessageWords> decode(const QStringList& list, qsizetype& at, int depth)
{
    if (at >= list.size() || depth > 8)
        return std::nullopt;
    const QString& item = list[at++];
    if (!item.startsWith(kNested))
        return MessageWords::plain(item);
    const qsizetype close = item.indexOf(kNested, 1);
    bool ok = false;
    const int count = close > 0 ? QStringView(item).mid(1, close - 1).toInt(&ok) : -1;
    if (!ok || count < 0 || count > list.size() - at)
        return std::nullopt;
    MessageWords m = MessageWords::of(item.mid(close + 1));
    for (int i = 0; i < count; ++i) {
        std::optional<MessageWords> part = decode(list, at, depth + 1);
        if (!part)
            return std::nullopt;
        m.parts.push_back(std::move(*part));
    }
    return m;
}

} // namespace

MessageWords MessageWords::of(QString native, std::vector<MessageWords> parts)
{
    return MessageWords{std::move(native), true, std::move(parts)};
}

MessageWords MessageWords::of(QString native, const QStringList& plainParts)
{
    MessageWords m = of(std::move(native));
    for (const QString& p : plainParts)
        m.parts.push_back(plain(p));
    return m;
}

MessageWords MessageWords::plain(QString text)
{
    return MessageWords{std::move(text), false, {}};
}

MessageWords MessageWords::of(const Error& error)
{
    MessageWords m = error.text.isEmpty() ? plain({}) : of(error.text, error.textArgs);
    if (error.detail.isEmpty())
        return m;
    if (m.isEmpty())
        return plain(error.detail);
    return of(QStringLiteral("%1\n\n%2"), {std::move(m), plain(error.detail)});
}

QString MessageWords::shown(const std::function<QString(const QString&)>& translate) const
{
    if (!native)
        return words;
    QStringList texts;
    for (const MessageWords& part : parts)
        texts << part.shown(translate);
    return filled(translate ? translate(words) : words, texts);
}

QStringList MessageWords::encoded() const
{
    // A text with nothing to translate is kept as the stored text alone.
    if (!native)
        return {};
    QStringList out;
    encode(*this, out);
    return out;
}

std::optional<MessageWords> MessageWords::decoded(const QStringList& list)
{
    if (list.isEmpty())
        return std::nullopt;
    if (!list.first().startsWith(kNested))
        return of(list.first(), list.mid(1));
    qsizetype at = 0;
    std::optional<MessageWords> m = decode(list, at, 0);
    if (at != list.size())
        return std::nullopt;
    return m;
}

} // namespace tvq52
