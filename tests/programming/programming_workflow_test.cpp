#include "evidence/journal.h"
#include "programming/programming_workflow.h"
#include "programming/received_load.h"
#include "programming/record_sheet.h"
#include "programming_fixture.h"
#include "programming_samples.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/simulated_unit.h"

using namespace tvq52;
using test::sampleIntervals;
using test::sampleRecord;
using tvq52::test::row;

namespace {

// The workflows against tvq52-sim, with a database and the record in memory
// as the window would hold it.
class ProgrammingExchange : public test::ProgrammingDatabase, public test::SimulatedUnit {
protected:
    void SetUp() override
    {
        ProgrammingDatabase::SetUp();
        sheet = std::make_unique<RecordSheet>(store_.get(), prompter, translator);
        workflow = std::make_unique<ProgrammingWorkflow>(session, prompter, translator, *sheet, received);
    }

    void show(const ProgrammingRecord& r, const ProgIntervals& i = sampleIntervals()) { sheet->setRecord(r, i); }

    bool receive()
    {
        prompter.clear();
        line.written.clear();
        return workflow->receive();
    }

    std::optional<TransmitAnswer> transmit()
    {
        prompter.clear();
        line.written.clear();
        return workflow->transmit();
    }

    void expectExchangeClosed()
    {
        EXPECT_TRUE(sheet->commandsEnabled());
        EXPECT_EQ(sheet->toggles() % 2, 0);
        EXPECT_FALSE(sheet->isBusy());
        EXPECT_FALSE(line.isOpen());
    }

    std::unique_ptr<RecordSheet> sheet;
    ReceivedProgramming received;
    std::unique_ptr<ProgrammingWorkflow> workflow;
};

} // namespace

TEST_F(ProgrammingExchange, ReceivingAnUnknownUnitMakesANewModifiedRecord)
{
    startSim({"--serial", "4711", "--firmware", "4.0"});
    ProgrammingRecord before = defaultProgramming(QDate(2001, 1, 1));
    before.venue = QStringLiteral("Otro local");
    show(before);
    ASSERT_TRUE(receive()) << qPrintable(sim->log());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(line.written.left(7).toHex(' '), "18 02 00 06 01 03 06");
    EXPECT_EQ(line.written.mid(7).toHex(' '), "02 00 06 04 03 03");

    const ProgrammingRecord r = sheet->record();
    EXPECT_EQ(r.serial, 4711);
    EXPECT_EQ(r.version, "4.0");
    EXPECT_EQ(r.date, QDate::currentDate());
    for (const QString& field : {r.contact, r.venue, r.address, r.town, r.phone, r.note})
        EXPECT_TRUE(field.isEmpty());
    EXPECT_TRUE(sheet->isModified());
    EXPECT_EQ(r.sessions[0].start, "--:--") << "the simulated venue has no session on Monday";
    EXPECT_EQ(r.sessions[6].start, "20:00");
    EXPECT_EQ(r.attenuationSeconds, 300);
    EXPECT_EQ(sheet->intervals()[0].startDay.left(6), "25/12/");
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 0) << "nothing is saved without the user";
    expectExchangeClosed();
}

TEST_F(ProgrammingExchange, ReceivingAStoredUnitNotShownLoadsAndComparesIt)
{
    startSim({"--serial", "4711", "--firmware", "3.3"});
    ASSERT_TRUE(receive());
    ASSERT_TRUE(sheet->save());
    const ProgrammingRecord stored = sheet->record();
    show(defaultProgramming());

    // Equal programming: loaded, compared, nothing asked.
    ASSERT_TRUE(receive());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(sheet->record(), stored);
    EXPECT_FALSE(sheet->isModified());

    // A stored difference: the listing is asked; Cancel keeps the stored record.
    ProgrammingRecord changed = stored;
    changed.leqMinutes = 30;
    changed.clockChange = !stored.clockChange;
    show(changed);
    ASSERT_TRUE(sheet->save());
    show(defaultProgramming());
    prompter.answer(Answer::Ok);
    prompter.answer(Answer::Ok);
    prompter.answer(Answer::Cancel);
    ASSERT_TRUE(receive());
    ASSERT_EQ(prompter.catalogueIds(), (QList<int>{15, 61, 82}));
    const QString listing = prompter.shown().last().text;
    EXPECT_TRUE(listing.contains(QString::fromUtf8("Cambio de hora:\tNo<->Sí\r"))) << qPrintable(listing);
    EXPECT_TRUE(listing.contains("Tiempo de Leq: \t30 <-> 15\r")) << qPrintable(listing);
    EXPECT_EQ(prompter.shown().last().style, MessageStyle::OkCancelQuestion);
    EXPECT_EQ(sheet->record().leqMinutes, 30);
    EXPECT_FALSE(sheet->isModified());

    // OK takes the unit's programming over.
    ASSERT_TRUE(receive());
    EXPECT_EQ(sheet->record().leqMinutes, 15);
    EXPECT_TRUE(sheet->isModified());
    expectExchangeClosed();
}

TEST_F(ProgrammingExchange, ReceivingTheShownUnitWithOtherFirmwareUpdatesTheVersion)
{
    startSim({"--serial", "4711", "--firmware", "4.0"});
    ASSERT_TRUE(receive());
    ProgrammingRecord r = sheet->record();
    ProgIntervals i = sheet->intervals();
    r.version = QStringLiteral("3.3");
    // Only the end time of interval 1 differs: that is no difference.
    i[0].endTime = QStringLiteral("12:00");
    show(r, i);
    ASSERT_TRUE(receive());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(sheet->record().version, "4.0");
    EXPECT_TRUE(sheet->isModified());
    EXPECT_EQ(sheet->intervals()[0].endTime, "12:00");

    // Same firmware, same programming: 61 only and still clean.
    show(sheet->record(), sheet->intervals());
    ASSERT_TRUE(receive());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_FALSE(sheet->isModified());
}

TEST_F(ProgrammingExchange, ReceiveFailuresShowTheirMessagesAndEndTheExchange)
{
    startSim({"--serial", "4711", "--fault", "bad-check:2"});
    show(defaultProgramming());
    EXPECT_FALSE(receive());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 62, 62}));
    EXPECT_EQ(sheet->record().serial, 0);
    expectExchangeClosed();

    prompter.answer(Answer::Cancel);
    EXPECT_FALSE(receive());
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15});
    EXPECT_TRUE(line.written.isEmpty());
    EXPECT_EQ(sheet->toggles() % 2, 0);
}

TEST_F(ProgrammingExchange, TransmitAnswersAndChecks)
{
    startSim({"--serial", "4711", "--firmware", "4.0"});
    show(sampleRecord("4.0"));
    ASSERT_EQ(transmit(), TransmitAnswer::Accepted) << qPrintable(sim->log());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(line.written.size(), 1 + 6 + 377);
    EXPECT_EQ(sheet->bytesSent(), 377);
    EXPECT_EQ(sheet->progressCalls(), 377);
    EXPECT_TRUE(
        test::take(store_->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}}))).has_value())
        << "the record is saved before it is sent";
    expectExchangeClosed();

    // Another unit, or one out of programming mode, is sent nothing.
    for (const auto& [args, message] : {std::pair{QStringList{"--serial", "4712"}, 63},
                                        std::pair{QStringList{"--serial", "4711", "--prog-mode", "0"}, 64}}) {
        startSim(args);
        EXPECT_EQ(transmit(), std::nullopt);
        EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, message}));
        EXPECT_EQ(line.written.toHex(' '), "18 02 00 06 01 03 06");
        expectExchangeClosed();
    }
}

TEST_F(ProgrammingExchange, TransmitRefusedOrUnanswered)
{
    startSim({"--serial", "4711", "--firmware", "3.3", "--fault", "nak:2", "--fault", "program-silent:4"});
    show(sampleRecord("3.3"));
    EXPECT_EQ(transmit(), TransmitAnswer::Rejected);
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{15}) << "a NAK shows no message";
    EXPECT_EQ(line.written.size(), 1 + 6 + 376);
    expectExchangeClosed();

    EXPECT_EQ(transmit(), TransmitAnswer::NoAnswer);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 31}));
    expectExchangeClosed();
}

// Every failing field is named, by its label, in one message.
TEST_F(ProgrammingExchange, ARecordThatFailsAFieldCheckIsNeitherSavedNorSent)
{
    ProgrammingRecord r = sampleRecord("4.0");
    r.dayLimitVenue = 7;
    r.rings = 0;
    r.octaves[1] = 5000.0f;
    show(r);
    EXPECT_EQ(transmit(), std::nullopt);
    EXPECT_TRUE(line.written.isEmpty());
    ASSERT_EQ(prompter.shown().size(), 1);
    const QString text = prompter.shown().front().text;
    for (const char* named : {"Rings: \"0\" -> \"1\"\n", "\nLímite día(emisión): \"7\" -> \"60\"\n",
                              "\nOctava 63Hz: \"5000\" (Valor incorrecto)"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(named))) << qPrintable(text);
    EXPECT_FALSE(text.contains(QStringLiteral("Mask"))) << qPrintable(text);
    EXPECT_FALSE(test::take(loadProgramming(*store_, r.serial)));
}

// What a unit holds is a fact: saved as it stands, with the fields that keep
// it from going back to a unit named at the save.
TEST_F(ProgrammingExchange, AUnitsProgrammingThatFailsTheChecksIsSavedAndItsFaultsNamed)
{
    startSim({"--serial", "4711", "--firmware", "4.0"});
    // Another program put it there, past any check.
    struct Unchecked : RecordSheet {
        using RecordSheet::RecordSheet;
        bool checkAllFields() override { return true; }
    } elsewhere(nullptr, prompter, translator);
    ProgrammingRecord faulty = sampleRecord("4.0");
    faulty.rings = 0;
    elsewhere.setRecord(faulty, sampleIntervals());
    ASSERT_EQ(ProgrammingWorkflow(session, prompter, translator, elsewhere, received).transmit(), TransmitAnswer::Accepted);

    show(defaultProgramming());
    ASSERT_TRUE(receive());
    prompter.clear();
    ASSERT_TRUE(sheet->save());
    EXPECT_EQ(test::take(loadProgramming(*store_, 4711))->record.rings, 0);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown().front().style, MessageStyle::Exclamation);
    EXPECT_TRUE(prompter.shown().front().text.endsWith(QStringLiteral("\nRings: \"0\" -> \"1\"")))
        << qPrintable(prompter.shown().front().text);
}

TEST_F(ProgrammingExchange, KeepingTheModemCallSkipsTheDialNextTime)
{
    startSim({"--serial", "4711", "--modem", "--rings", "1", "--ring-ms", "200", "--guard-ms", "10"});
    settings.ModemMode = 1;
    ProgrammingRecord r = sampleRecord("4.0");
    r.phone = QStringLiteral("5551234");
    show(r);
    prompter.answer(Answer::Ok); // 33
    prompter.answer(Answer::Ok); // 61
    prompter.answer(Answer::No); // 112: keep the call
    ASSERT_EQ(transmit(), TransmitAnswer::Accepted) << qPrintable(sim->log());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 61, 112}));
    EXPECT_TRUE(line.modemCallUp());
    EXPECT_TRUE(line.isOpen());

    ASSERT_EQ(transmit(), TransmitAnswer::Accepted) << qPrintable(sim->log());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{61, 112})) << "no prompt to connect, no dial";
    EXPECT_EQ(line.written.left(7).toHex(' '), "18 02 00 06 01 03 06");
    EXPECT_FALSE(line.modemCallUp()) << "Yes to 112 hangs up";
    EXPECT_FALSE(line.isOpen());

    // Hung up: the simulator dropped the call and the next exchange dials again.
    ASSERT_EQ(transmit(), TransmitAnswer::Accepted) << qPrintable(sim->log());
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{33, 61, 112}));
    EXPECT_TRUE(line.written.contains("ATE0V0X0DT,5551234\r"));
    EXPECT_GE(sim->log().count("call dropped"), 1);
}

// Transmit, then receive: the unit gives back what it was sent, field by field.
TEST_F(ProgrammingExchange, RoundTripsForEachFirmware)
{
    for (const char* fw : {"3.2", "3.3", "4.0"}) {
        SCOPED_TRACE(fw);
        startSim({"--serial", "4711", "--firmware", fw});
        ProgrammingRecord r = sampleRecord(fw);
        r.neighbourAction = {ActionType::None, {}};
        show(r);
        ASSERT_EQ(transmit(), TransmitAnswer::Accepted) << qPrintable(sim->log());
        EXPECT_EQ(line.written.size(), 7 + (hasGlobalCorrection(fw) ? 377 : 376));

        show(defaultProgramming());
        ASSERT_TRUE(receive());
        EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61})) << "nothing differs";
        EXPECT_EQ(sheet->record(), r);
        EXPECT_EQ(takeOverReceived(r, workflow->received(), fw), r) << "the unit's reply, field by field";
        EXPECT_EQ(workflow->received().intervals, sampleIntervals());
        sim.reset();
    }
}

TEST_F(ProgrammingExchange, EachExchangeIsJournaledWithHowItEndedAndWhatTheUserWasTold)
{
    Journal journal(*db_);
    workflow->setJournal(&journal);
    startSim({"--serial", "4711", "--firmware", "4.0", "--fault", "bad-check:4"});
    show(sampleRecord("4.0"));
    ASSERT_EQ(transmit(), TransmitAnswer::Accepted);
    EXPECT_FALSE(receive()); // the reply's check byte is wrong
    prompter.answer(Answer::Cancel);
    EXPECT_FALSE(receive());

    const QList<JournalEntry> entries = journal.entries().value();
    ASSERT_EQ(entries.size(), 3);
    struct Expected {
        JournalAction action;
        const char* outcome;
        int message; // catalogue text last told, 0: none (a question is not an outcome)
    };
    const Expected expected[] = {{JournalAction::ProgramReceive, "cancelled", 0},
                                 {JournalAction::ProgramReceive, "failed", 62},
                                 {JournalAction::ProgramTransmit, "completed", 61}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].action, expected[i].action) << i;
        EXPECT_EQ(entries[i].outcome, QLatin1String(expected[i].outcome)) << i;
        EXPECT_EQ(entries[i].message, expected[i].message ? translator.text(expected[i].message) : QString()) << i;
        EXPECT_EQ(entries[i].messageNumber, expected[i].message) << "told again in each reader's language: " << i;
        EXPECT_EQ(entries[i].serial, 4711) << i;
        EXPECT_EQ(entries[i].line, QStringLiteral("cable")) << i;
        EXPECT_TRUE(entries[i].sealed()) << i;
    }
    EXPECT_TRUE(journal.verify().findings.isEmpty());
}
