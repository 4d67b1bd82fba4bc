#include "sim_options.h"

#include <QCommandLineParser>
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

std::optional<int> number(const QString& text, int min, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

} // namespace

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
        if (auto k = number(frame, 1, 1 << 30))
            return Fault{f.kind, *k};
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* error, QString* helpText)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("A virtual TVQ-52 unit on a pseudo-terminal, for demonstrations, training and tests.\n"
                       "Prints the terminal's device path on the first line of its output."));
    p.addHelpOption();
    // Answered by main before anything starts; listed here for --help.
    p.addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("Print the version and exit.")));
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Make a symbolic link PATH to the terminal."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption type(QStringLiteral("type"), QStringLiteral("Unit type byte (default 42)."),
                                  QStringLiteral("N"), QStringLiteral("42"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Firmware version MAJOR.MINOR (default 4.0)."),
                                      QStringLiteral("VERSION"), QStringLiteral("4.0"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Serial number, up to six characters (default 012345)."),
                                    QStringLiteral("TEXT"), QStringLiteral("012345"));
    const QCommandLineOption progMode(QStringLiteral("prog-mode"), QStringLiteral("Programming-mode byte (default 1)."),
                                      QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the recorded history (default 52)."),
                                  QStringLiteral("N"), QStringLiteral("52"));
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("Days of recorded history (default 7)."),
                                  QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption leq(QStringLiteral("leq-minutes"),
                                 QStringLiteral("Leq time of the recorded intervals (default 15)."),
                                 QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption end(QStringLiteral("history-end"),
                                 QStringLiteral("End of the recorded history, yyyy-MM-ddTHH:mm (default now)."),
                                 QStringLiteral("WHEN"));
    const QCommandLineOption clock(
        QStringLiteral("clock"),
        QStringLiteral("The unit's clock, yyyy-MM-ddTHH:mm, before the history's end: it holds only the records that "
                       "had ended by then, so a session under way then is stored later (run again without it to "
                       "see the unit later on)."),
        QStringLiteral("WHEN"));
    const QCommandLineOption realtime(QStringLiteral("realtime-ms"),
                                      QStringLiteral("Pause between real-time readings (default 500)."),
                                      QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption cases(
        QStringLiteral("realtime-cases"),
        QStringLiteral(
            "Real-time readings step through the edge cases of the display (range ends, sensor out, mains off)."));
    const QCommandLineOption pace(QStringLiteral("pace"), QStringLiteral("Send at the real line rate (19200 bit/s)."));
    const QCommandLineOption modem(QStringLiteral("modem"), QStringLiteral("Put a Hayes modem in front of the unit."));
    const QCommandLineOption rings(QStringLiteral("rings"),
                                   QStringLiteral("Rings before the call is answered (default 2)."),
                                   QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption ringMs(QStringLiteral("ring-ms"), QStringLiteral("Length of one ring (default 3000)."),
                                    QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption dialResult(
        QStringLiteral("dial-result"),
        QStringLiteral("Numeric answer to a dial: 1 connects, 3 no carrier, 7 busy (default 1)."),
        QStringLiteral("CODE"), QStringLiteral("1"));
    const QCommandLineOption guard(QStringLiteral("guard-ms"),
                                   QStringLiteral("Guard time of the +++ escape (default 1000)."), QStringLiteral("MS"),
                                   QStringLiteral("1000"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Make a fault: %1, as NAME or NAME:K for the K-th frame. Repeatable.")
                                       .arg(faultNames().join(QStringLiteral(", "))),
                                   QStringLiteral("FAULT"));
    const QCommandLineOption dialUnit(
        QStringLiteral("dial-unit"),
        QStringLiteral("With --modem, dialling NUMBER reaches another unit: serial SERIAL, firmware FIRMWARE "
                       "(default that of --firmware), history seed --seed plus the serial. Repeatable."),
        QStringLiteral("NUMBER=SERIAL[:FIRMWARE]"));
    const QCommandLineOption ackLog(QStringLiteral("ack-log"),
                                    QStringLiteral("Append a line to FILE for each record the PC acknowledges."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Log the traffic on standard error."));
    p.addOptions({link,  type, firmware, serial, progMode, seed,       days,  leq,   end,      clock,  realtime,
                  cases, pace, modem,    rings,  ringMs,   dialResult, guard, fault, dialUnit, ackLog, verbose});

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
    auto bad = [&](const QCommandLineOption& opt) {
        *error = QStringLiteral("invalid value for --%1: %2").arg(opt.names().first(), p.value(opt));
        return std::nullopt;
    };
    if (auto v = number(p.value(type), 0, 255))
        o.unitType = std::uint8_t(*v);
    else
        return bad(type);
    const QStringList fw = p.value(firmware).split(QLatin1Char('.'));
    const auto major = fw.size() == 2 ? number(fw[0], 0, 255) : std::nullopt;
    const auto minor = fw.size() == 2 ? number(fw[1], 0, 255) : std::nullopt;
    if (!major || !minor)
        return bad(firmware);
    o.firmwareMajor = std::uint8_t(*major);
    o.firmwareMinor = std::uint8_t(*minor);
    const QByteArray serialText = p.value(serial).toLatin1();
    if (serialText.isEmpty() || serialText.size() > 6)
        return bad(serial);
    o.serialText = serialText.rightJustified(6, '0');
    if (auto v = number(p.value(progMode), 0, 255))
        o.progMode = std::uint8_t(*v);
    else
        return bad(progMode);
    bool ok = false;
    o.seed = p.value(seed).toUInt(&ok);
    if (!ok)
        return bad(seed);
    if (auto v = number(p.value(days), 0, 3650))
        o.days = *v;
    else
        return bad(days);
    if (auto v = number(p.value(leq), 1, 255))
        o.leqMinutes = *v;
    else
        return bad(leq);
    if (o.firmwareMajor < 3 && o.leqMinutes > 60)
        return bad(leq);
    if (p.isSet(end)) {
        o.historyEnd = QDateTime::fromString(p.value(end), QStringLiteral("yyyy-MM-ddTHH:mm"));
        if (!o.historyEnd.isValid())
            return bad(end);
    }
    if (p.isSet(clock)) {
        o.clock = QDateTime::fromString(p.value(clock), QStringLiteral("yyyy-MM-ddTHH:mm"));
        const QDateTime last = o.historyEnd.isValid() ? o.historyEnd : QDateTime::currentDateTime();
        if (!o.clock.isValid() || o.clock > last || o.clock < last.addDays(-o.days))
            return bad(clock);
    }
    if (auto v = number(p.value(realtime), 0, 3600000))
        o.realtimeMs = *v;
    else
        return bad(realtime);
    o.realtimeCases = p.isSet(cases);
    o.pace = p.isSet(pace);
    o.link = p.value(link);
    o.verbose = p.isSet(verbose);
    o.modem.enabled = p.isSet(modem);
    if (auto v = number(p.value(rings), 0, 50))
        o.modem.rings = *v;
    else
        return bad(rings);
    if (auto v = number(p.value(ringMs), 0, 60000))
        o.modem.ringMs = *v;
    else
        return bad(ringMs);
    o.modem.dialResult = p.value(dialResult).toLatin1();
    if (o.modem.dialResult.isEmpty())
        return bad(dialResult);
    if (auto v = number(p.value(guard), 0, 10000))
        o.modem.guardMs = *v;
    else
        return bad(guard);
    o.ackLog = p.value(ackLog);
    for (const QString& d : p.values(dialUnit)) {
        DialUnit u;
        u.number = d.section(QLatin1Char('='), 0, 0).trimmed().toLatin1();
        const QString unit = d.section(QLatin1Char('='), 1);
        const QByteArray serialOf = unit.section(QLatin1Char(':'), 0, 0).toLatin1();
        const QStringList version = unit.section(QLatin1Char(':'), 1).split(QLatin1Char('.'));
        u.firmwareMajor = o.firmwareMajor;
        u.firmwareMinor = o.firmwareMinor;
        if (unit.contains(QLatin1Char(':'))) {
            const auto ma = version.size() == 2 ? number(version[0], 0, 255) : std::nullopt;
            const auto mi = version.size() == 2 ? number(version[1], 0, 255) : std::nullopt;
            if (!ma || !mi)
                return bad(dialUnit);
            u.firmwareMajor = std::uint8_t(*ma);
            u.firmwareMinor = std::uint8_t(*mi);
        }
        if (u.number.isEmpty() || serialOf.isEmpty() || serialOf.size() > 6 || !d.contains(QLatin1Char('=')))
            return bad(dialUnit);
        u.serialText = serialOf.rightJustified(6, '0');
        o.dialUnits << u;
    }
    for (const QString& f : p.values(fault)) {
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
