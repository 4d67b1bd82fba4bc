#include "office_file.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace tvq52::sim {

namespace {

// One KEY=VALUE of a line; the reason when it cannot be used.
std::optional<QString> readKey(const QString& key, const QString& value, DialUnit& unit)
{
    if (key == QLatin1String("firmware"))
        return parseVersion(value, unit.firmwareMajor, unit.firmwareMinor)
            ? std::nullopt
            : std::optional(QStringLiteral("bad firmware \"%1\"").arg(value));
    if (key == QLatin1String("days")) {
        unit.days = wholeNumber(value, 0, 3650);
        return unit.days ? std::nullopt : std::optional(QStringLiteral("bad days \"%1\"").arg(value));
    }
    if (key == QLatin1String("seed")) {
        bool ok = false;
        unit.seed = value.toUInt(&ok);
        return ok ? std::nullopt : std::optional(QStringLiteral("bad seed \"%1\"").arg(value));
    }
    QList<QDateTime>* dates = nullptr;
    if (key == QLatin1String("erased"))
        dates = &unit.events->erasures;
    else if (key == QLatin1String("battery"))
        dates = &unit.events->batteryEnds;
    else if (key == QLatin1String("reprogrammed"))
        dates = &unit.events->reprogrammings;
    else
        return QStringLiteral("unknown key \"%1\"").arg(key);
    const QDateTime when = QDateTime::fromString(value, QStringLiteral("yyyy-MM-ddTHH:mm"));
    if (!when.isValid())
        return QStringLiteral("bad date \"%1\" for %2 (yyyy-MM-ddTHH:mm)").arg(value, key);
    dates->append(when);
    std::sort(dates->begin(), dates->end());
    return std::nullopt;
}

} // namespace

std::optional<QString> parseOfficeLine(const QString& line, DialUnit& unit)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList words = line.section(QLatin1Char('#'), 0, 0).split(space, Qt::SkipEmptyParts);
    if (words.size() < 2)
        return QStringLiteral("expected NUMBER SERIAL [KEY=VALUE ...]");
    static const QRegularExpression dialChars(QStringLiteral("^[0-9*#,WP]+$"));
    if (!dialChars.match(words[0]).hasMatch())
        return QStringLiteral("bad telephone number \"%1\"").arg(words[0]);
    const QByteArray serial = words[1].toLatin1();
    if (serial.size() > 6 || words[1].contains(QLatin1Char('=')))
        return QStringLiteral("bad serial \"%1\" (up to six characters)").arg(words[1]);
    unit.number = words[0].toLatin1();
    unit.serialText = serial.rightJustified(6, '0');
    unit.events = EventDates{};
    for (const QString& word : words.mid(2)) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return QStringLiteral("expected KEY=VALUE, not \"%1\"").arg(word);
        if (auto why = readKey(word.left(eq), word.mid(eq + 1), unit))
            return why;
    }
    return std::nullopt;
}

std::optional<QList<DialUnit>> parseOffice(const QByteArray& text, const QString& name, const DialUnit& defaults,
                                           QString* error)
{
    QList<DialUnit> units;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int k = 0; k < lines.size(); ++k) {
        if (lines[k].section(QLatin1Char('#'), 0, 0).trimmed().isEmpty())
            continue;
        DialUnit unit = defaults;
        if (auto why = parseOfficeLine(lines[k], unit)) {
            *error = QStringLiteral("%1:%2: %3").arg(name).arg(k + 1).arg(*why);
            return std::nullopt;
        }
        for (const DialUnit& other : units) {
            if (other.number == unit.number) {
                *error = QStringLiteral("%1:%2: number %3 is already dialled for unit %4")
                             .arg(name)
                             .arg(k + 1)
                             .arg(QString::fromLatin1(unit.number), QString::fromLatin1(other.serialText));
                return std::nullopt;
            }
        }
        units << unit;
    }
    return units;
}

std::optional<QList<DialUnit>> readOfficeFile(const QString& path, const DialUnit& defaults, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the office file %1").arg(path);
        return std::nullopt;
    }
    return parseOffice(f.readAll(), path, defaults, error);
}

} // namespace tvq52::sim
