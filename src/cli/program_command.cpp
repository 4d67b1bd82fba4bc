#include "cli/program_command.h"

#include "app/data_folder.h"
#include "cli/cli_session.h"
#include "cli/console_progress.h"
#include "core/catalogue_ids.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "db/schema.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/catalogue_message.h"
#include "link/line_settings.h"
#include "programming/programming_workflow.h"
#include "programming/received_load.h"
#include "programming/record_sheet.h"
#include "programming/week_schedule.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

// The record sheet with the transmission's progress on the terminal.
class ConsoleSheet : public RecordSheet {
public:
    ConsoleSheet(Store* store, Prompter& prompter, const Translator& translator, ConsoleProgress& progress)
        : RecordSheet(store, prompter, translator), translator_(translator), progress_(progress)
    {}
    void transmissionProgress(int sent, int total, qint64 msLeft) override
    {
        RecordSheet::transmissionProgress(sent, total, msLeft);
        progress_.update(translator_.translate(QStringLiteral("%1 de %2 bytes enviados, quedan %3 s"))
                             .arg(sent)
                             .arg(total)
                             .arg((msLeft + 999) / 1000));
    }

private:
    const Translator& translator_;
    ConsoleProgress& progress_;
};

const char* const kDays[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
// The catalogue's labels of the record's fields.
constexpr int kLanguageLabel = 1, kVersionLabel = 3, kLeqTimeLabel = 10, kContinuousPrintingLabel = 11,
              kFastLimitLabel = 77, kNightStartLabel = 78, kNightEndLabel = 79, kAttenuationLabel = 80,
              kMondaySessionLabel = 83, kDayLimitVenueLabel = 102, kVenueActionLabel = 118,
              kNeighbourActionLabel = 119, kFirstOctaveLabel = 146, kRingsLabel = 155;

// A day's session hours; a closed day has none.
bool closedDay(const SessionHours& hours)
{
    return hours.start == kClosedTime || hours.end == kClosedTime;
}

// The record as the programming window shows it, one field a line in the user's language.
void printRecord(const ProgrammingRecord& r, const ProgIntervals& intervals, const Translator& translator)
{
    QTextStream out(stdout);
    // A catalogue label with the colon every line's label ends in.
    auto label = [&](int id) {
        QString text = translator.text(id).trimmed();
        return text.endsWith(QLatin1Char(':')) ? text : text + QLatin1Char(':');
    };
    auto yesNo = [&](bool yes) { return translator.text(yes ? msg::Yes : msg::No); };
    out << label(msg::SerialNumberLabel) << ' ' << r.serial << '\n'
        << label(kVersionLabel) << ' ' << r.version << '\n'
        << label(kLanguageLabel) << ' ' << r.language << '\n'
        << label(msg::ClockChangeLabel) << ' ' << yesNo(r.clockChange) << '\n'
        << label(kLeqTimeLabel) << ' ' << r.leqMinutes << " min\n"
        << label(kFastLimitLabel) << ' ' << r.fastLimit << " dB\n"
        << label(kContinuousPrintingLabel) << ' ' << yesNo(r.continuousPrinting) << '\n'
        << label(kVenueActionLabel) << ' ' << encodeActionType(r.venueAction) << '\n'
        << label(kNeighbourActionLabel) << ' ' << encodeActionType(r.neighbourAction) << '\n';
    for (int d = 0; d < 7; ++d)
        out << label(kMondaySessionLabel + d) << ' '
            << (closedDay(r.sessions[d]) ? translator.translate(QStringLiteral("Cerrado"))
                                         : r.sessions[d].start + QLatin1Char('-') + r.sessions[d].end)
            << '\n';
    const int limits[4] = {r.dayLimitVenue, r.dayLimitNeighbour, r.nightLimitVenue, r.nightLimitNeighbour};
    for (int k = 0; k < 4; ++k)
        out << label(kDayLimitVenueLabel + k) << ' ' << limits[k] << " dB\n";
    out << label(kNightStartLabel) << ' ' << r.nightStart << '\n'
        << label(kNightEndLabel) << ' ' << r.nightEnd << '\n'
        << label(kAttenuationLabel) << ' ' << r.attenuationSeconds << " s\n"
        << label(kRingsLabel) << ' ' << r.rings << '\n';
    for (int k = 0; k < int(r.octaves.size()); ++k)
        out << label(kFirstOctaveLabel + k) << ' ' << QString::number(double(r.octaves[k]), 'f', 1) << " dB\n";
    if (hasGlobalCorrection(r.version))
        out << translator.translate(QStringLiteral("Corrección global")) << ": " << yesNo(r.globalCorrection) << '\n';
    for (int k = 0; k < kIntervalCount; ++k)
        if (!intervals[k].isUnused())
            out << translator.translate(QStringLiteral("Intervalo inhábil %1: %2 %3 - %4 %5"))
                       .arg(k + 1)
                       .arg(intervals[k].startDay, intervals[k].startTime, intervals[k].endDay, intervals[k].endTime)
                << '\n';
}

QJsonValue isoStamp(const QString& day, const QString& time)
{
    const auto at = parseDateTimeText(day + QLatin1Char(' ') + time);
    return at ? QJsonValue(jsonDateTimeText(*at)) : QJsonValue();
}

QJsonObject recordJson(const ProgrammingRecord& r, const ProgIntervals& intervals)
{
    QJsonArray sessions, octaves, nonWorking;
    for (int d = 0; d < 7; ++d) {
        const bool closed = closedDay(r.sessions[d]);
        sessions.append(QJsonObject{{"day", QString::fromLatin1(kDays[d]).toLower()},
                                    {"start", closed ? QJsonValue() : QJsonValue(r.sessions[d].start)},
                                    {"end", closed ? QJsonValue() : QJsonValue(r.sessions[d].end)}});
    }
    for (float o : r.octaves)
        octaves.append(jsonSingle(o));
    for (int k = 0; k < kIntervalCount; ++k)
        if (!intervals[k].isUnused())
            nonWorking.append(QJsonObject{{"number", k + 1},
                                          {"start", isoStamp(intervals[k].startDay, intervals[k].startTime)},
                                          {"end", isoStamp(intervals[k].endDay, intervals[k].endTime)}});
    QJsonObject o{{"serial", r.serial},
                  {"firmware", r.version},
                  {"language", r.language},
                  {"clockChange", r.clockChange},
                  {"leqMinutes", r.leqMinutes},
                  {"fastLimit", r.fastLimit},
                  {"continuousPrinting", r.continuousPrinting},
                  {"venueAction", encodeActionType(r.venueAction)},
                  {"neighbourAction", encodeActionType(r.neighbourAction)},
                  {"sessions", sessions},
                  {"dayLimitVenue", r.dayLimitVenue},
                  {"dayLimitNeighbour", r.dayLimitNeighbour},
                  {"nightStart", r.nightStart},
                  {"nightEnd", r.nightEnd},
                  {"nightLimitVenue", r.nightLimitVenue},
                  {"nightLimitNeighbour", r.nightLimitNeighbour},
                  {"attenuationSeconds", r.attenuationSeconds},
                  {"rings", r.rings},
                  {"octaves", octaves},
                  {"nonWorkingIntervals", nonWorking}};
    o.insert(QStringLiteral("globalCorrection"),
             hasGlobalCorrection(r.version) ? QJsonValue(r.globalCorrection) : QJsonValue());
    return o;
}

// The words of `program`, checked: get takes no serial, put one and no --save or --json.
std::optional<Error> programFault(const CommandArgs& args)
{
    const QString action = args.arguments.value(0);
    if (action == QLatin1String("get")) {
        if (args.arguments.size() > 1)
            return ownWords(QStringLiteral("Sobra el argumento %1"), {args.arguments.at(1)});
        return std::nullopt;
    }
    if (action != QLatin1String("put"))
        return ownWords(QStringLiteral("Orden desconocida: %1"), {QStringLiteral("program ") + action});
    if (args.arguments.size() != 2 || !serialArgument(args.arguments.at(1)))
        return ownWords(QStringLiteral("No es un número de serie: %1"), {args.arguments.value(1)});
    if (args.has("--save") || args.has("--json"))
        return ownWords(QStringLiteral("Opción desconocida: %1"),
                        {args.has("--save") ? QStringLiteral("--save") : QStringLiteral("--json")});
    return std::nullopt;
}

// A unit received through a modem call and kept without a telephone number
// keeps the number that reached it, so that it can be called again (by
// collect, or from the windows).
void keepDialledNumber(RecordSheet& sheet, const LineSettings& link)
{
    const QString number = link.PhoneNumber.trimmed();
    const ColumnDef* column = schemaTable(QStringLiteral("Programacion"))->column(QStringLiteral("TTelefono"));
    ProgrammingRecord record = sheet.record();
    if (link.ModemMode == 0 || number.isEmpty() || number.size() > column->width || !record.phone.trimmed().isEmpty())
        return;
    record.phone = number;
    sheet.setRecord(record, sheet.intervals());
    sheet.setModified(true);
}

// Receives the unit's programming, prints it and, with --save, keeps it.
int receive(CliSession& session, const CommandArgs& args, ProgrammingWorkflow& workflow, ConsoleSheet& sheet)
{
    AppContext& ctx = *session.ctx;
    if (!workflow.receive())
        return 1;
    // The unit's programming, also when the stored record was kept.
    const UnitIdentity& identified = workflow.unit();
    ProgrammingRecord unit = takeOverReceived(sheet.record(), workflow.received(), identified.firmware);
    unit.serial = identified.serial;
    unit.version = identified.firmware;
    if (args.has("--json"))
        printJson(recordJson(unit, workflow.received().intervals));
    else
        printRecord(unit, workflow.received().intervals, ctx.translator);
    if (!args.has("--save"))
        return 0;
    if (!sheet.isModified() && !workflow.ComparisonText().isEmpty()) {
        printError(ctx.translator,
                   ownWords(QStringLiteral("Se ha conservado la programación guardada de la unidad %1"),
                            {QString::number(unit.serial)}));
        return 1;
    }
    if (sheet.isModified()) {
        keepDialledNumber(sheet, ctx.lineSettings);
        if (!sheet.save())
            return 1;
        QTextStream(stderr) << errorText(ctx.translator,
                                         ownWords(QStringLiteral("Se ha guardado la programación de la unidad %1"),
                                                  {QString::number(sheet.record().serial)}))
                            << Qt::endl;
    }
    return 0;
}

} // namespace

const CommandSyntax& programSyntax()
{
    static const CommandSyntax syntax{
        "program",
        "program get [--save] [--json]\nprogram put SERIAL [--quiet]",
        {"get recibe la programación de la unidad y la escribe; --save la guarda en la base de datos como lo haría la "
         "ventana de programación.",
         "put transmite la programación guardada de la unidad SERIAL, con su progreso como una línea en un terminal."},
        {QStringLiteral("--save"), QStringLiteral("--json"), QStringLiteral("--quiet")},
        {},
        1,
        2,
        programFault};
    return syntax;
}

int runProgram(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const bool get = args.arguments.at(0) == QLatin1String("get");
    // A plain get stores nothing; --save stores what the unit holds.
    const Operation op =
        !get ? Operation::ProgramTransmit : args.has("--save") ? Operation::ProgramReceive : Operation::Browse;
    if (!openFolderDatabase(ctx, op))
        return 1;
    Store store(*ctx.db);
    // A plain get only shows what the unit holds: without the store nothing
    // is compared with a stored record, asked or saved.
    ConsoleProgress progress(args.has("--quiet"));
    ConsoleSheet sheet(get && !args.has("--save") ? nullptr : &store, *session.prompter, ctx.translator, progress);
    const auto exchange = session.openExchange(options);
    ReceivedProgramming received;
    ProgrammingWorkflow workflow(*exchange, *session.prompter, ctx.translator, sheet, received);
    Journal journal(*ctx.db);
    workflow.setJournal(&journal);
    if (!options.phone.isEmpty())
        workflow.overridePhone(options.phone);
    if (get)
        return receive(session, args, workflow, sheet);

    const qint32 serial = *serialArgument(args.arguments.at(1));
    if (!sheet.loadStored(serial)) {
        printError(
            ctx.translator,
            ownWords(QStringLiteral("No hay programación guardada del número de serie %1"), {QString::number(serial)}));
        return 1;
    }
    const auto answer = workflow.transmit();
    progress.finish();
    if (answer == TransmitAnswer::Accepted)
        return 0;
    if (answer == TransmitAnswer::Rejected)
        printError(ctx.translator, ownWords(QStringLiteral("La unidad ha rechazado la programación")));
    return 1;
}

} // namespace tvq52
