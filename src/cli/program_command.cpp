#include "cli/program_command.h"

#include "app/data_folder.h"
#include "cli/cli_session.h"
#include "db/journal.h"
#include "db/store.h"
#include "programming/programming_workflow.h"
#include "programming/received_load.h"
#include "programming/record_sheet.h"

#include <QTextStream>

namespace tvq52 {

namespace {

// The record sheet with the transmission's progress on the terminal.
class ConsoleSheet : public RecordSheet {
public:
    using RecordSheet::RecordSheet;
    void transmissionProgress(int sent, int total, qint64 msLeft) override
    {
        RecordSheet::transmissionProgress(sent, total, msLeft);
        if (sent == total || sent % 38 == 0)
            QTextStream(stderr)
                << QStringLiteral("sent %1 of %2 bytes, %3 s left\n").arg(sent).arg(total).arg((msLeft + 999) / 1000)
                << Qt::flush;
    }
};

void printRecord(const ProgrammingRecord& r, const ProgIntervals& intervals)
{
    static const char* const days[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    QTextStream out(stdout);
    out << "Serial number: " << r.serial << '\n'
        << "Firmware: " << r.version << '\n'
        << "Language: " << r.language << '\n'
        << "Clock change: " << (r.clockChange ? "yes" : "no") << '\n'
        << "Leq time: " << r.leqMinutes << " min\n"
        << "LFmax limit: " << r.fastLimit << " dB\n"
        << "Continuous printing: " << (r.continuousPrinting ? "yes" : "no") << '\n'
        << "Action (venue): " << encodeActionType(r.venueAction) << '\n'
        << "Action (neighbour): " << encodeActionType(r.neighbourAction) << '\n';
    for (int d = 0; d < 7; ++d)
        out << "Session " << days[d] << ": " << r.sessions[d].start << '-' << r.sessions[d].end << '\n';
    out << "Day limits (venue/neighbour): " << r.dayLimitVenue << '/' << r.dayLimitNeighbour << " dB\n"
        << "Night: " << r.nightStart << '-' << r.nightEnd << '\n'
        << "Night limits (venue/neighbour): " << r.nightLimitVenue << '/' << r.nightLimitNeighbour << " dB\n"
        << "Attenuation time: " << r.attenuationSeconds << " s\n"
        << "Rings: " << r.rings << '\n'
        << "Octaves:";
    for (float o : r.octaves)
        out << ' ' << QString::number(double(o), 'f', 1);
    out << '\n';
    if (hasGlobalCorrection(r.version))
        out << "Global correction: " << (r.globalCorrection ? "yes" : "no") << '\n';
    for (int k = 0; k < kIntervalCount; ++k)
        if (!intervals[k].isUnused())
            out << "Non-working interval " << k + 1 << ": " << intervals[k].startDay << ' ' << intervals[k].startTime
                << " - " << intervals[k].endDay << ' ' << intervals[k].endTime << '\n';
}

} // namespace

int runProgram(CliSession& session, const CliOptions& options)
{
    AppContext& ctx = *session.ctx;
    QTextStream err(stderr);
    const QString action = options.command.value(1);
    const QStringList args = options.command.mid(2);
    const bool save = args.contains(QStringLiteral("--save"));
    bool serialOk = false;
    const qint32 serial = action == QLatin1String("put") ? args.value(0).toInt(&serialOk) : 0;
    if ((action == QLatin1String("get") && !args.isEmpty() && args != QStringList{QStringLiteral("--save")})
        || (action == QLatin1String("put") && (args.size() != 1 || !serialOk || serial <= 0))
        || (action != QLatin1String("get") && action != QLatin1String("put"))) {
        err << "tvq52-cli: usage: program get [--save] | program put SERIAL" << Qt::endl;
        return 2;
    }

    if (!openFolderDatabase(ctx))
        return 1;
    Store store(*ctx.db);
    // A plain get only shows what the unit holds: without the store nothing
    // is compared with a stored record, asked or saved.
    const bool plainGet = action == QLatin1String("get") && !save;
    ConsoleSheet sheet(plainGet ? nullptr : &store, *session.prompter, ctx.guru);
    const auto exchange = session.openExchange(options);
    ReceivedProgramming received;
    ProgrammingWorkflow workflow(*exchange, *session.prompter, ctx.guru, sheet, received);
    Journal journal(*ctx.db);
    workflow.setJournal(&journal);
    if (!options.phone.isEmpty())
        workflow.overridePhone(options.phone);

    if (action == QLatin1String("get")) {
        if (!workflow.receive())
            return 1;
        // The unit's programming, also when the stored record was kept.
        ProgrammingRecord unit = takeOverReceived(sheet.record(), workflow.received(), ctx.link.UnitFirmware);
        unit.serial = ctx.link.UnitSerial;
        unit.version = ctx.link.UnitFirmware;
        printRecord(unit, workflow.received().intervals);
        if (!save)
            return 0;
        if (!sheet.isModified() && !workflow.ComparisonText().isEmpty()) {
            err << "tvq52-cli: kept the stored programming of unit " << unit.serial << Qt::endl;
            return 1;
        }
        if (sheet.isModified()) {
            if (!sheet.save())
                return 1;
            err << "Saved the programming of unit " << sheet.record().serial << Qt::endl;
        }
        return 0;
    }

    if (!sheet.loadStored(serial)) {
        err << "tvq52-cli: no stored programming for serial number " << serial << Qt::endl;
        return 1;
    }
    const auto answer = workflow.transmit();
    if (answer == TransmitAnswer::Accepted)
        return 0;
    if (answer == TransmitAnswer::Rejected)
        err << "tvq52-cli: the unit rejected the programming" << Qt::endl;
    return 1;
}

} // namespace tvq52
