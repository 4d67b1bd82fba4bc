#include "sim_options.h"

#include "office_file.h"

#include "core/command_line_parser.h"
#include "core/own_words.h"

#include <QRegularExpression>
#include <array>
#include <functional>

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

// One option of the simulator: how it is written, its help, and the value
// it has when not given.
struct SimOption {
    QString name; // without the dashes, as the messages name it
    QString help; // native; each line one text to translate, the lines joined by a space
    QString valueName; // empty: a flag
    QString byDefault = {};

    OptionSpec parserOption() const { return {QStringLiteral("--") + name, valueName}; }
};

SimOption valued(const char* name, const char* help, const char* valueName, const char* byDefault = nullptr)
{
    return {QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(valueName),
            byDefault ? QString::fromLatin1(byDefault) : QString()};
}

SimOption flag(const char* name, const char* help)
{
    return {QString::fromLatin1(name), QString::fromUtf8(help), {}};
}

// The words of the command line as the options read them.
class Given {
public:
    explicit Given(ParsedWords words) : words_(std::move(words)) {}
    bool isSet(const SimOption& o) const { return words_.isSet(QStringLiteral("--") + o.name); }
    QString value(const SimOption& o) const
    {
        return isSet(o) ? words_.value(QStringLiteral("--") + o.name) : o.byDefault;
    }
    QStringList values(const SimOption& o) const { return words_.values(QStringLiteral("--") + o.name); }

private:
    ParsedWords words_;
};

// Every option of the simulator, declared once for parsing and --help.
struct Declared {
    SimOption link = valued("link", "Crea un enlace simbólico PATH al terminal.", "PATH");
    SimOption type = valued("type", "Byte del tipo de unidad (por omisión 42).", "N", "42");
    SimOption firmware = valued("firmware", "Versión del firmware MAJOR.MINOR (por omisión 4.0).", "VERSION", "4.0");
    SimOption serial =
        valued("serial", "Número de serie, hasta seis caracteres (por omisión 012345).", "TEXT", "012345");
    SimOption progMode = valued("prog-mode", "Byte del modo de programación (por omisión 1).", "N", "1");
    SimOption seed = valued("seed", "Semilla del historial registrado (por omisión 52).", "N", "52");
    SimOption days = valued("days", "Días de historial registrado (por omisión 7).", "N", "7");
    SimOption leq = valued("leq-minutes", "Tiempo de Leq de los intervalos registrados (por omisión 15).", "N", "15");
    SimOption end =
        valued("history-end", "Fin del historial registrado, yyyy-MM-ddTHH:mm (por omisión ahora).", "WHEN");
    SimOption clock = valued("clock",
                             "El reloj de la unidad, yyyy-MM-ddTHH:mm, anterior al fin del historial: guarda solo los "
                             "registros que habían terminado entonces, así que una sesión en curso en ese momento se "
                             "guarda más tarde\n(vuelva a ejecutarlo sin esta opción para ver la unidad más adelante).",
                             "WHEN");
    SimOption realtime = valued("realtime-ms", "Pausa entre lecturas en tiempo real (por omisión 500).", "MS", "500");
    SimOption cases = flag("realtime-cases",
                           "Las lecturas en tiempo real recorren los casos límite de la pantalla (extremos del rango, "
                           "sensor fuera, red apagada).");
    SimOption pace = flag("pace", "Envía a la velocidad real de la línea (19200 bit/s).");
    SimOption modem = flag("modem", "Pone un módem Hayes delante de la unidad.");
    SimOption rings = valued("rings", "Timbres antes de contestar la llamada (por omisión 2).", "N", "2");
    SimOption ringMs = valued("ring-ms", "Duración de un timbre (por omisión 3000).", "MS", "3000");
    SimOption dialResult = valued(
        "dial-result", "Respuesta numérica a una marcación: 1 conecta, 3 sin portadora, 7 ocupado (por omisión 1).",
        "CODE", "1");
    SimOption guard = valued("guard-ms", "Tiempo de guarda del escape +++ (por omisión 1000).", "MS", "1000");
    SimOption fault =
        valued("fault", "Provoca un fallo: %1, como NAME o NAME:K para la trama K-ésima. Repetible.", "FAULT");
    SimOption dialUnit =
        valued("dial-unit",
               "Con --modem, marcar NUMBER llega a otra unidad: número de serie SERIAL, firmware FIRMWARE (por omisión "
               "el de --firmware), semilla del historial --seed más el número de serie. Repetible.",
               "NUMBER=SERIAL[:FIRMWARE]");
    SimOption lines = valued("lines",
                             "Con --modem, N módems, cada uno en su propio terminal (rutas escritas una por línea; "
                             "--link PATH crea PATH-1..PATH-N). Todas las unidades contestan en todas las líneas; una "
                             "unidad en una llamada en una línea está BUSY para las demás (por omisión 1).",
                             "N", "1");
    SimOption office = valued("office",
                              "Con --modem, las unidades detrás de los módems, una por línea: NUMBER SERIAL "
                              "[firmware=X.Y] [days=N] [seed=N] [erased=WHEN] [reprogrammed=WHEN] [battery=WHEN], WHEN "
                              "como yyyy-MM-ddTHH:mm, '#' un comentario.\nUna unidad del archivo comunica exactamente "
                              "los sucesos que da su línea; tras un borrado guarda solo registros posteriores.",
                              "FILE");
    SimOption afterCall = valued("after-call",
                                 "EVENT es erase, reprogram o battery: tras la llamada K-ésima (por omisión 1) a la "
                                 "unidad SERIAL, la siguiente llamada lo encuentra, fechado cuando esa llamada "
                                 "conecta; un borrado no deja a la unidad registros anteriores. Repetible.",
                                 "SERIAL=EVENT[:K]");
    SimOption ackLog = valued("ack-log", "Añade una línea a FILE por cada registro que confirma el PC.", "FILE");
    SimOption timingLog = valued("timing-log",
                                 "Escribe en FILE, en microsegundos del reloj monótono, cuándo entró en el terminal el "
                                 "último byte de cada trama y cuándo volvió cada ACK o CAN.",
                                 "FILE");
    SimOption verbose = flag("verbose", "Registra el tráfico en la salida de error estándar.");

    std::vector<const SimOption*> all() const
    {
        return {&link,  &type,     &firmware, &serial,    &progMode, &seed,  &days,   &leq,        &end,
                &clock, &realtime, &cases,    &pace,      &modem,    &rings, &ringMs, &dialResult, &guard,
                &fault, &dialUnit, &ackLog,   &timingLog, &verbose,  &lines, &office, &afterCall};
    }
};

// Reads the parsed options into SimOptions; each step names the first option
// whose value it cannot use.
class Reader {
public:
    Reader(const Given& p, const Declared& d, SimOptions& o) : p_(p), d_(d), o_(o) {}

    const SimOption* unit();
    const SimOption* history();
    const SimOption* line();
    const SimOption* dialUnits();
    const SimOption* office();
    const SimOption* afterCalls();
    QString officeError;

private:
    // Sets `target` from a whole number of `opt` within [min, max]; false if not one.
    template <typename T> bool read(const SimOption& opt, int min, int max, T& target)
    {
        const auto v = wholeNumber(p_.value(opt), min, max);
        if (v)
            target = T(*v);
        return v.has_value();
    }

    const Given& p_;
    const Declared& d_;
    SimOptions& o_;
};

const SimOption* Reader::unit()
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

const SimOption* Reader::history()
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

const SimOption* Reader::line()
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

const SimOption* Reader::office()
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

const SimOption* Reader::afterCalls()
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

const SimOption* Reader::dialUnits()
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

QString simHelp(const std::function<QString(const QString&)>& translate)
{
    const Declared d;
    std::vector<OptionSpec> parserOptions{{QStringLiteral("--help"), {}, QStringLiteral("-h")},
                                          {QStringLiteral("--version"), {}}};
    QStringList texts{translate(QStringLiteral("Muestra esta ayuda y termina.")),
                      translate(QStringLiteral("Muestra la versión y termina."))};
    for (const SimOption* o : d.all()) {
        parserOptions.push_back(o->parserOption());
        // The fault names are words of the command line: they stay as typed.
        QStringList parts;
        for (const QString& part : o->help.split(QLatin1Char('\n')))
            parts << translate(part);
        const QString help = parts.join(QLatin1Char(' '));
        texts << (o == &d.fault ? help.arg(faultNames().join(QStringLiteral(", "))) : help);
    }
    return translate(QStringLiteral("Uso: tvq52-sim [opciones]")) + QStringLiteral("\n")
        + translate(QStringLiteral("Una unidad TVQ-52 virtual en un pseudoterminal, para demostraciones, formación y "
                                   "pruebas."))
        + QStringLiteral("\n")
        + translate(QStringLiteral("Escribe la ruta del terminal en la primera línea de su salida."))
        + QStringLiteral("\n\n") + translate(QStringLiteral("Opciones:")) + QStringLiteral("\n")
        + optionLines(parserOptions, texts);
}

namespace {

// The options read from `words`; the first one whose value cannot be used is the error.
Result<SimOptions> readSimOptions(const ParsedWords& words, const Declared& d)
{
    SimOptions o;
    const Given given(words);
    Reader reader(given, d, o);
    for (auto step :
         {&Reader::unit, &Reader::history, &Reader::line, &Reader::dialUnits, &Reader::office, &Reader::afterCalls}) {
        if (const SimOption* bad = (reader.*step)()) {
            if (!reader.officeError.isEmpty())
                return finalText(reader.officeError);
            return ownWords(QStringLiteral("Valor no válido para --%1: %2"), {bad->name, given.value(*bad)});
        }
    }
    for (const QString& f : given.values(d.fault)) {
        const auto parsed = parseFault(f);
        if (!parsed)
            return ownWords(QStringLiteral("Fallo desconocido «%1»; los fallos son %2, como NOMBRE o NOMBRE:K"),
                            {f, faultNames().join(QStringLiteral(", "))});
        o.faults << *parsed;
    }
    return o;
}

} // namespace

std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* error, QString* helpText,
                                          std::optional<Error>* why)
{
    const Declared d;
    // --version is answered by main before anything starts.
    std::vector<OptionSpec> parserOptions{{QStringLiteral("--help"), {}, QStringLiteral("-h")},
                                          {QStringLiteral("--version"), {}}};
    for (const SimOption* o : d.all())
        parserOptions.push_back(o->parserOption());
    if (helpText)
        *helpText = simHelp([](const QString& text) { return text; });
    const ParsedWords words = parseWords(arguments.mid(1), parserOptions);
    Result<SimOptions> read = words.fault ? Result<SimOptions>(*words.fault)
        : !words.arguments.isEmpty()
        ? Result<SimOptions>(ownWords(QStringLiteral("Sobra el argumento %1"), {words.arguments.front()}))
        : readSimOptions(words, d);
    if (words.isSet(QStringLiteral("--help")) && !words.fault) {
        *error = QString();
        return std::nullopt;
    }
    if (!read) {
        *error = untranslatedText(read.error());
        if (why)
            *why = read.error();
        return std::nullopt;
    }
    return std::move(read).value();
}

} // namespace tvq52::sim
