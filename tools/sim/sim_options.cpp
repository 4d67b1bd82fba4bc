#include "sim_options.h"

#include "office_file.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <array>

namespace tvq52::sim {

namespace {

struct FaultEntry {
    FaultKind kind;
    const char* name;
};

constexpr std::array<FaultEntry, 11> kFaults{{
    {FaultKind::Garbage, "garbage"},
    {FaultKind::BadCheck, "bad-check"},
    {FaultKind::Stall, "stall"},
    {FaultKind::Silent, "silent"},
    {FaultKind::LongFrame, "long-frame"},
    {FaultKind::ShortLength, "short-length"},
    {FaultKind::DamagedRecord, "damaged"},
    {FaultKind::Level1401, "level-1401"},
    {FaultKind::ShortRecord, "short-record"},
    {FaultKind::Nak, "nak"},
    {FaultKind::ProgramSilent, "program-silent"},
}};

} // namespace

std::optional<int> wholeNumber(const QString& text, int min, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

bool parseVersion(const QString& text, std::uint8_t& major, std::uint8_t& minor)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    const auto ma = parts.size() == 2 ? wholeNumber(parts[0], 0, 255) : std::nullopt;
    const auto mi = parts.size() == 2 ? wholeNumber(parts[1], 0, 255) : std::nullopt;
    if (!ma || !mi)
        return false;
    major = std::uint8_t(*ma);
    minor = std::uint8_t(*mi);
    return true;
}

QString faultName(FaultKind kind)
{
    for (const auto& f : kFaults)
        if (f.kind == kind)
            return QString::fromLatin1(f.name);
    return {};
}

QStringList faultNames()
{
    QStringList names;
    for (const auto& f : kFaults)
        names << QString::fromLatin1(f.name);
    return names;
}

std::optional<Fault> parseFault(const QString& text)
{
    const QString name = text.section(QLatin1Char(':'), 0, 0);
    const QString frame = text.section(QLatin1Char(':'), 1);
    for (const auto& f : kFaults) {
        if (name != QLatin1String(f.name))
            continue;
        if (frame.isEmpty())
            return Fault{f.kind, 0};
        if (auto k = wholeNumber(frame, 1, 1 << 30))
            return Fault{f.kind, *k};
        return std::nullopt;
    }
    return std::nullopt;
}

namespace {

QCommandLineOption valued(const char* name, const char* help, const char* valueName, const char* byDefault = nullptr)
{
    QCommandLineOption o(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(valueName));
    if (byDefault)
        o.setDefaultValue(QString::fromLatin1(byDefault));
    return o;
}

QCommandLineOption flag(const char* name, const char* help)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

// Every option of the simulator, declared once for parsing and --help.
struct Declared {
    QCommandLineOption link = valued("link", "Make a symbolic link PATH to the terminal.", "PATH");
    QCommandLineOption type = valued("type", "Unit type byte (default 42).", "N", "42");
    QCommandLineOption firmware = valued("firmware", "Firmware version MAJOR.MINOR (default 4.0).", "VERSION", "4.0");
    QCommandLineOption serial =
        valued("serial", "Serial number, up to six characters (default 012345).", "TEXT", "012345");
    QCommandLineOption progMode = valued("prog-mode", "Programming-mode byte (default 1).", "N", "1");
    QCommandLineOption seed = valued("seed", "Seed of the recorded history (default 52).", "N", "52");
    QCommandLineOption days = valued("days", "Days of recorded history (default 7).", "N", "7");
    QCommandLineOption leq = valued("leq-minutes", "Leq time of the recorded intervals (default 15).", "N", "15");
    QCommandLineOption end =
        valued("history-end", "End of the recorded history, yyyy-MM-ddTHH:mm (default now).", "WHEN");
    QCommandLineOption clock =
        valued("clock",
               "The unit's clock, yyyy-MM-ddTHH:mm, before the history's end: it holds only the records that had "
               "ended by then, so a session under way then is stored later (run again without it to see the unit "
               "later on).",
               "WHEN");
    QCommandLineOption realtime = valued("realtime-ms", "Pause between real-time readings (default 500).", "MS", "500");
    QCommandLineOption cases =
        flag("realtime-cases",
             "Real-time readings step through the edge cases of the display (range ends, sensor out, mains off).");
    QCommandLineOption pace = flag("pace", "Send at the real line rate (19200 bit/s).");
    QCommandLineOption modem = flag("modem", "Put a Hayes modem in front of the unit.");
    QCommandLineOption rings = valued("rings", "Rings before the call is answered (default 2).", "N", "2");
    QCommandLineOption ringMs = valued("ring-ms", "Length of one ring (default 3000).", "MS", "3000");
    QCommandLineOption dialResult =
        valued("dial-result", "Numeric answer to a dial: 1 connects, 3 no carrier, 7 busy (default 1).", "CODE", "1");
    QCommandLineOption guard = valued("guard-ms", "Guard time of the +++ escape (default 1000).", "MS", "1000");
    QCommandLineOption fault{QStringLiteral("fault"),
                             QStringLiteral("Make a fault: %1, as NAME or NAME:K for the K-th frame. Repeatable.")
                                 .arg(faultNames().join(QStringLiteral(", "))),
                             QStringLiteral("FAULT")};
    QCommandLineOption dialUnit =
        valued("dial-unit",
               "With --modem, dialling NUMBER reaches another unit: serial SERIAL, firmware FIRMWARE (default that "
               "of --firmware), history seed --seed plus the serial. Repeatable.",
               "NUMBER=SERIAL[:FIRMWARE]");
    QCommandLineOption lines =
        valued("lines",
               "With --modem, N modems, each on its own terminal (paths printed one a line; --link PATH makes "
               "PATH-1..PATH-N). Every unit answers on every line; a unit in a call on one line is BUSY to the "
               "others (default 1).",
               "N", "1");
    QCommandLineOption office =
        valued("office",
               "With --modem, the units behind the modems, one a line: NUMBER SERIAL [firmware=X.Y] [days=N] "
               "[seed=N] [erased=WHEN] [reprogrammed=WHEN] [battery=WHEN], WHEN as yyyy-MM-ddTHH:mm, '#' a "
               "comment. A unit of the file reports exactly the events its line gives; after an erasure it holds "
               "only later records.",
               "FILE");
    QCommandLineOption afterCall =
        valued("after-call",
               "EVENT is erase, reprogram or battery: after the K-th call (default 1) to unit SERIAL the next call "
               "finds it, dated as that call connects; an erasure leaves the unit no earlier records. Repeatable.",
               "SERIAL=EVENT[:K]");
    QCommandLineOption ackLog = valued("ack-log", "Append a line to FILE for each record the PC acknowledges.", "FILE");
    QCommandLineOption timingLog =
        valued("timing-log",
               "Write to FILE, in microseconds of the monotonic clock, when the last byte of each frame went into "
               "the terminal and when each ACK or CAN came back.",
               "FILE");
    QCommandLineOption verbose = flag("verbose", "Log the traffic on standard error.");

    void addTo(QCommandLineParser& p) const
    {
        p.addOptions({link,  type,     firmware, serial,    progMode, seed,  days,   leq,        end,
                      clock, realtime, cases,    pace,      modem,    rings, ringMs, dialResult, guard,
                      fault, dialUnit, ackLog,   timingLog, verbose,  lines, office, afterCall});
    }
};

// Reads the parsed options into SimOptions; each step names the first option
// whose value it cannot use.
class Reader {
public:
    Reader(const QCommandLineParser& p, const Declared& d, SimOptions& o) : p_(p), d_(d), o_(o) {}

    const QCommandLineOption* unit();
    const QCommandLineOption* history();
    const QCommandLineOption* line();
    const QCommandLineOption* dialUnits();
    const QCommandLineOption* office();
    const QCommandLineOption* afterCalls();
    QString officeError;

private:
    // Sets `target` from a whole number of `opt` within [min, max]; false if not one.
    template <typename T>
    bool read(const QCommandLineOption& opt, int min, int max, T& target)
    {
        const auto v = wholeNumber(p_.value(opt), min, max);
        if (v)
            target = T(*v);
        return v.has_value();
    }

    const QCommandLineParser& p_;
    const Declared& d_;
    SimOptions& o_;
};

const QCommandLineOption* Reader::unit()
{
    if (!read(d_.type, 0, 255, o_.unitType))
        return &d_.type;
    if (!parseVersion(p_.value(d_.firmware), o_.firmwareMajor, o_.firmwareMinor))
        return &d_.firmware;
    const QByteArray serialText = p_.value(d_.serial).toLatin1();
    if (serialText.isEmpty() || serialText.size() > 6)
        return &d_.serial;
    o_.serialText = serialText.rightJustified(6, '0');
    if (!read(d_.progMode, 0, 255, o_.progMode))
        return &d_.progMode;
    return nullptr;
}

const QCommandLineOption* Reader::history()
{
    bool ok = false;
    o_.seed = p_.value(d_.seed).toUInt(&ok);
    if (!ok)
        return &d_.seed;
    if (!read(d_.days, 0, 3650, o_.days))
        return &d_.days;
    if (!read(d_.leq, 1, 255, o_.leqMinutes) || (o_.firmwareMajor < 3 && o_.leqMinutes > 60))
        return &d_.leq;
    if (p_.isSet(d_.end)) {
        o_.historyEnd = QDateTime::fromString(p_.value(d_.end), QStringLiteral("yyyy-MM-ddTHH:mm"));
        if (!o_.historyEnd.isValid())
            return &d_.end;
    }
    if (p_.isSet(d_.clock)) {
        o_.clock = QDateTime::fromString(p_.value(d_.clock), QStringLiteral("yyyy-MM-ddTHH:mm"));
        const QDateTime last = o_.historyEnd.isValid() ? o_.historyEnd : QDateTime::currentDateTime();
        if (!o_.clock.isValid() || o_.clock > last || o_.clock < last.addDays(-o_.days))
            return &d_.clock;
    }
    return nullptr;
}

const QCommandLineOption* Reader::line()
{
    if (!read(d_.realtime, 0, 3600000, o_.realtimeMs))
        return &d_.realtime;
    o_.realtimeCases = p_.isSet(d_.cases);
    o_.pace = p_.isSet(d_.pace);
    o_.link = p_.value(d_.link);
    o_.verbose = p_.isSet(d_.verbose);
    o_.ackLog = p_.value(d_.ackLog);
    o_.timingLog = p_.value(d_.timingLog);
    o_.modem.enabled = p_.isSet(d_.modem);
    if (!read(d_.rings, 0, 50, o_.modem.rings))
        return &d_.rings;
    if (!read(d_.ringMs, 0, 60000, o_.modem.ringMs))
        return &d_.ringMs;
    o_.modem.dialResult = p_.value(d_.dialResult).toLatin1();
    if (o_.modem.dialResult.isEmpty())
        return &d_.dialResult;
    if (!read(d_.guard, 0, 10000, o_.modem.guardMs))
        return &d_.guard;
    if (!read(d_.lines, 1, 64, o_.lines) || (o_.lines > 1 && !o_.modem.enabled))
        return &d_.lines;
    return nullptr;
}

const QCommandLineOption* Reader::office()
{
    if (!p_.isSet(d_.office))
        return nullptr;
    DialUnit defaults;
    defaults.firmwareMajor = o_.firmwareMajor;
    defaults.firmwareMinor = o_.firmwareMinor;
    const auto units = readOfficeFile(p_.value(d_.office), defaults, &officeError);
    if (!units || !o_.modem.enabled) {
        if (officeError.isEmpty())
            officeError = QStringLiteral("--office needs --modem");
        return &d_.office;
    }
    o_.dialUnits << *units;
    return nullptr;
}

const QCommandLineOption* Reader::afterCalls()
{
    static const QRegularExpression form(QStringLiteral("^([^=]{1,6})=(erase|reprogram|battery)(?::(\\d+))?$"));
    for (const QString& a : p_.values(d_.afterCall)) {
        const auto m = form.match(a);
        const auto k = m.captured(3).isEmpty() ? std::optional(1) : wholeNumber(m.captured(3), 1, 1 << 20);
        if (!m.hasMatch() || !k || !o_.modem.enabled)
            return &d_.afterCall;
        const QString what = m.captured(2);
        const UnitEvent event = what == QLatin1String("erase") ? UnitEvent::Erasure
            : what == QLatin1String("reprogram")               ? UnitEvent::Reprogramming
                                                               : UnitEvent::BatteryEnd;
        o_.afterCalls << AfterCall{m.captured(1).toLatin1().rightJustified(6, '0'), event, *k};
    }
    return nullptr;
}

const QCommandLineOption* Reader::dialUnits()
{
    for (const QString& d : p_.values(d_.dialUnit)) {
        DialUnit u;
        u.number = d.section(QLatin1Char('='), 0, 0).trimmed().toLatin1();
        const QString unitText = d.section(QLatin1Char('='), 1);
        const QByteArray serialOf = unitText.section(QLatin1Char(':'), 0, 0).toLatin1();
        u.firmwareMajor = o_.firmwareMajor;
        u.firmwareMinor = o_.firmwareMinor;
        if (unitText.contains(QLatin1Char(':'))
            && !parseVersion(unitText.section(QLatin1Char(':'), 1), u.firmwareMajor, u.firmwareMinor))
            return &d_.dialUnit;
        if (u.number.isEmpty() || serialOf.isEmpty() || serialOf.size() > 6 || !d.contains(QLatin1Char('=')))
            return &d_.dialUnit;
        u.serialText = serialOf.rightJustified(6, '0');
        o_.dialUnits << u;
    }
    return nullptr;
}

} // namespace

std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* error, QString* helpText)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("A virtual TVQ-52 unit on a pseudo-terminal, for demonstrations, training and tests.\n"
                       "Prints the terminal's device path on the first line of its output."));
    p.addHelpOption();
    // Answered by main before anything starts; listed here for --help.
    p.addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("Print the version and exit.")));
    const Declared d;
    d.addTo(p);

    if (helpText)
        *helpText = p.helpText();
    if (!p.parse(arguments)) {
        *error = p.errorText();
        return std::nullopt;
    }
    if (p.isSet(QStringLiteral("help"))) {
        *error = QString();
        return std::nullopt;
    }

    SimOptions o;
    Reader reader(p, d, o);
    for (auto step :
         {&Reader::unit, &Reader::history, &Reader::line, &Reader::dialUnits, &Reader::office, &Reader::afterCalls}) {
        if (const QCommandLineOption* bad = (reader.*step)()) {
            if (!reader.officeError.isEmpty()) {
                *error = reader.officeError;
                return std::nullopt;
            }
            *error = QStringLiteral("invalid value for --%1: %2").arg(bad->names().first(), p.value(*bad));
            return std::nullopt;
        }
    }
    for (const QString& f : p.values(d.fault)) {
        const auto parsed = parseFault(f);
        if (!parsed) {
            *error = QStringLiteral("unknown fault \"%1\"; faults are %2, as NAME or NAME:K")
                         .arg(f, faultNames().join(QStringLiteral(", ")));
            return std::nullopt;
        }
        o.faults << *parsed;
    }
    return o;
}

} // namespace tvq52::sim
