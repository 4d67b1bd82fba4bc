#include "app/ini_file.h"

#include "core/own_words.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace tvq52 {

namespace {

QString sectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.front() == QLatin1Char('[')) {
        const int close = t.indexOf(QLatin1Char(']'));
        if (close > 0)
            return t.mid(1, close - 1).trimmed();
    }
    return {};
}

bool isSectionLine(const QString& line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.indexOf(QLatin1Char(']')) > 0;
}

bool isComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Files written on Windows are often in the ANSI code page, not UTF-8, and a
// file edited by both may mix them line by line.
QString decodeLine(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

} // namespace

IniFile IniFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IniFile{};
    const QByteArray all = file.readAll();
    IniFile ini;
    ini.loaded_ = true;
    qsizetype from = 0;
    while (from < all.size()) {
        const qsizetype nl = all.indexOf('\n', from);
        const qsizetype next = nl < 0 ? all.size() : nl + 1;
        Line line;
        line.bytes = all.mid(from, next - from);
        line.end.clear();
        if (line.bytes.endsWith('\n'))
            line.end = line.bytes.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
        line.bytes.chop(line.end.size());
        line.text = decodeLine(line.bytes);
        if (from == 0 && line.text.startsWith(QChar(0xFEFF)))
            line.text.remove(0, 1);
        ini.lines_.append(line);
        from = next;
    }
    return ini;
}

IniFile IniFile::fromText(const QString& text)
{
    IniFile ini;
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString& line : lines)
        ini.insertLine(ini.lines_.size(), line);
    ini.loaded_ = true;
    return ini;
}

void IniFile::setLine(int index, const QString& text)
{
    lines_[index].text = text;
    lines_[index].bytes = text.toUtf8();
}

void IniFile::insertLine(int index, const QString& text)
{
    // A last line without its end gets one before anything follows it.
    if (index > 0 && index == lines_.size() && lines_.last().end.isEmpty())
        lines_.last().end = "\r\n";
    lines_.insert(index, Line{text, text.toUtf8()});
}

int IniFile::findSection(const QString& section) const
{
    for (int i = 0; i < lines_.size(); ++i)
        if (isSectionLine(lines_[i].text) && sectionName(lines_[i].text).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int IniFile::sectionEnd(int sectionLine) const
{
    int i = sectionLine + 1;
    while (i < lines_.size() && !isSectionLine(lines_[i].text))
        ++i;
    return i;
}

int IniFile::findKey(int sectionLine, const QString& key) const
{
    const int end = sectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i) {
        const QString& line = lines_[i].text;
        if (isComment(line))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool IniFile::hasSection(const QString& section) const
{
    return findSection(section) >= 0;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const int s = findSection(section);
    if (s < 0)
        return std::nullopt;
    const int k = findKey(s, key);
    if (k < 0)
        return std::nullopt;
    const QString& line = lines_[k].text;
    QString v = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    // The profile reader drops one pair of enclosing quotes.
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int s = findSection(section);
    if (s < 0) {
        if (!lines_.isEmpty() && !lines_.last().text.trimmed().isEmpty())
            insertLine(lines_.size(), QString());
        insertLine(lines_.size(), QLatin1Char('[') + section + QLatin1Char(']'));
        insertLine(lines_.size(), key + QLatin1Char('=') + clean);
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        const QString& line = lines_[k].text;
        setLine(k, line.left(line.indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + clean);
        return;
    }
    // New keys go after the section's last non-blank line.
    int at = sectionEnd(s);
    while (at > s + 1 && lines_[at - 1].text.trimmed().isEmpty())
        --at;
    insertLine(at, key + QLatin1Char('=') + clean);
}

QString IniFile::toText() const
{
    QString out;
    for (const Line& line : lines_) {
        out += line.text;
        out += QLatin1String("\r\n");
    }
    return out;
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    for (const Line& line : lines_)
        out += line.bytes + line.end;
    return out;
}

Status IniFile::save(const QString& path) const
{
    QSaveFile file(path);
    const QByteArray bytes = toBytes();
    // A short write only shows when the buffer is flushed; the temporary file
    // is dropped unless every byte reached it.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        return finalText(file.errorString());
    return {};
}

QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue, const QString& file)
{
    const IniFile ini = IniFile::load(file);
    return ini.value(section, key).value_or(defaultValue).left(254);
}

bool WriteSetting(const QString& section, const QString& key, const QString& value, const QString& file)
{
    IniFile ini = IniFile::load(file);
    ini.setValue(section, key, value);
    return ini.save(file).ok();
}

} // namespace tvq52
