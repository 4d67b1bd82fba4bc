#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tvq52 {

// A profile (INI) file edited in place: lines, comments, order and the case of
// section and key names stay as written; lookups ignore case, like the
// Windows profile functions the settings file comes from. Each line is decoded
// on its own (UTF-8, else the Windows code page), and a line that is not
// changed is written back with the bytes it was read with.
class IniFile {
public:
    // A missing or unreadable file loads as empty; loaded() tells which.
    static IniFile load(const QString& path);
    static IniFile fromText(const QString& text);

    std::optional<QString> value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);
    bool hasSection(const QString& section) const;

    QString toText() const;
    QByteArray toBytes() const;
    // All or nothing: a crash or a full disk while writing leaves the old file.
    Status save(const QString& path) const;
    bool loaded() const { return loaded_; }

private:
    int findSection(const QString& section) const;
    // Index of the key line within [begin of section, end), or -1.
    int findKey(int sectionLine, const QString& key) const;
    int sectionEnd(int sectionLine) const;

    struct Line {
        QString text;
        QByteArray bytes; // as read, without the line end
        QByteArray end = "\r\n";
    };
    void setLine(int index, const QString& text);
    void insertLine(int index, const QString& text);

    QList<Line> lines_;
    bool loaded_ = false;
};

// The profile functions the settings code is written against. ReadSetting
// returns at most 254 characters, what a 255-character buffer with its
// terminator holds.
QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue, const QString& file);
bool WriteSetting(const QString& section, const QString& key, const QString& value, const QString& file);

} // namespace tvq52
