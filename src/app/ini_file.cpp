#include "app/ini_file.h"

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

QString decode(const QByteArray& bytes)
{
    // Files written on Windows are often in the ANSI code page, not UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

IniFile IniFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IniFile{};
    IniFile ini = fromText(decode(file.readAll()));
    ini.loaded_ = true;
    return ini;
}

IniFile IniFile::fromText(const QString& text)
{
    IniFile ini;
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    ini.lines_ = t.split(QLatin1Char('\n'));
    if (!ini.lines_.isEmpty() && ini.lines_.last().isEmpty())
        ini.lines_.removeLast();
    ini.loaded_ = true;
    return ini;
}

int IniFile::findSection(const QString& section) const
{
    for (int i = 0; i < lines_.size(); ++i)
        if (isSectionLine(lines_[i]) && sectionName(lines_[i]).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int IniFile::sectionEnd(int sectionLine) const
{
    int i = sectionLine + 1;
    while (i < lines_.size() && !isSectionLine(lines_[i]))
        ++i;
    return i;
}

int IniFile::findKey(int sectionLine, const QString& key) const
{
    const int end = sectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i) {
        const QString& line = lines_[i];
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
    const QString& line = lines_[k];
    QString v = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    // The profile reader drops one pair of enclosing quotes.
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\''))
        && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int s = findSection(section);
    if (s < 0) {
        if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty())
            lines_.append(QString());
        lines_.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines_.append(key + QLatin1Char('=') + clean);
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        const QString& line = lines_[k];
        lines_[k] = line.left(line.indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + clean;
        return;
    }
    // New keys go after the section's last non-blank line.
    int at = sectionEnd(s);
    while (at > s + 1 && lines_[at - 1].trimmed().isEmpty())
        --at;
    lines_.insert(at, key + QLatin1Char('=') + clean);
}

QString IniFile::toText() const
{
    QString out;
    for (const QString& line : lines_) {
        out += line;
        out += QLatin1String("\r\n");
    }
    return out;
}

bool IniFile::save(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(toText().toUtf8());
    return file.commit();
}

QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue,
                    const QString& file)
{
    const IniFile ini = IniFile::load(file);
    return ini.value(section, key).value_or(defaultValue).left(254);
}

bool WriteSetting(const QString& section, const QString& key, const QString& value,
                  const QString& file)
{
    IniFile ini = IniFile::load(file);
    ini.setValue(section, key, value);
    return ini.save(file);
}

} // namespace tvq52
