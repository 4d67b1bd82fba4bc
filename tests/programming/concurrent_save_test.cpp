#include "i18n/translator.h"
#include "programming/programming_store.h"
#include "programming/record_sheet.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/scripted_prompter.h"

using namespace tvq52;
using tvq52::test::row;
using tvq52::test::ScriptedPrompter;

namespace {

// One PC: its own connection to the shared database and its programming sheet.
struct Pc {
    std::unique_ptr<Database> db;
    Store store;
    ScriptedPrompter prompter;
    Translator translator;
    RecordSheet sheet{&store, prompter, translator};
    explicit Pc(std::unique_ptr<Database> database) : db(std::move(database)), store(*db) {}

    bool saveVenue(const QString& venue)
    {
        ProgrammingRecord r = sheet.record();
        r.venue = venue;
        sheet.setRecord(r, sheet.intervals()); // the edit keeps what it was loaded over
        sheet.setModified(true);
        return sheet.save();
    }
};

class ConcurrentSave : public test::FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ProgrammingRecord r = defaultProgramming(QDate(2010, 5, 1));
        r.serial = 4711;
        r.venue = QStringLiteral("Bar Central");
        ASSERT_TRUE(saveProgramming(*store, r, unusedIntervals()));
        a = std::make_unique<Pc>(home.openDatabase());
        b = std::make_unique<Pc>(home.openDatabase());
        ASSERT_TRUE(a->sheet.loadStored(4711));
        ASSERT_TRUE(b->sheet.loadStored(4711));
    }

    QString storedVenue() const
    {
        return test::take(store->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}})))
            ->value(QStringLiteral("TLocal"))
            .toString();
    }

    std::unique_ptr<Pc> a;
    std::unique_ptr<Pc> b;
};

} // namespace

TEST_F(ConcurrentSave, ASaveOverAnotherPcsSaveAsksAndNoKeepsTheOther)
{
    ASSERT_TRUE(b->saveVenue(QStringLiteral("Bar B")));
    EXPECT_TRUE(b->prompter.shown().isEmpty()) << "nobody saved it since B loaded it";

    a->prompter.answer(Answer::No);
    EXPECT_FALSE(a->saveVenue(QStringLiteral("Bar A")));
    ASSERT_EQ(a->prompter.shown().size(), 1);
    const Message& asked = a->prompter.shown()[0];
    EXPECT_EQ(asked.style, MessageStyle::YesNoQuestion);
    EXPECT_EQ(asked.defaultAnswer, Answer::No);
    EXPECT_TRUE(asked.text.contains(QStringLiteral("4711"))) << asked.text.toStdString();
    EXPECT_EQ(storedVenue(), "Bar B");
    EXPECT_TRUE(a->sheet.isModified()) << "A keeps its edit";

    a->prompter.clear();
    a->prompter.answer(Answer::Yes);
    EXPECT_TRUE(a->saveVenue(QStringLiteral("Bar A")));
    EXPECT_EQ(a->prompter.shown().size(), 1);
    EXPECT_EQ(storedVenue(), "Bar A");

    // A's own save is what it now stands on.
    a->prompter.clear();
    EXPECT_TRUE(a->saveVenue(QStringLiteral("Bar A2")));
    EXPECT_TRUE(a->prompter.shown().isEmpty());
}

TEST_F(ConcurrentSave, TotalsADownloadStoredAreNotAnotherSave)
{
    // Written by another PC's download, not by a programming save.
    ASSERT_EQ(test::take(b->store.update(QStringLiteral("Programacion"),
                                         row({{"LPasadasLocal", 17}, {"THoraTotales", "11:12:13"}}),
                                         row({{"LNumeroSerie", 4711}}))),
              1);
    EXPECT_TRUE(a->saveVenue(QStringLiteral("Bar A")));
    EXPECT_TRUE(a->prompter.shown().isEmpty()) << a->prompter.shown().value(0).text.toStdString();
    const Row stored = *test::take(store->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}})));
    EXPECT_EQ(stored.value(QStringLiteral("TLocal")).toString(), "Bar A");
    EXPECT_EQ(stored.value(QStringLiteral("LPasadasLocal")).toInt(), 17);
}

TEST_F(ConcurrentSave, AUnitDeletedElsewhereIsNotQuietlyWrittenBack)
{
    ASSERT_TRUE(b->store.deleteUnit(4711));
    a->prompter.answer(Answer::No);
    EXPECT_FALSE(a->saveVenue(QStringLiteral("Bar A")));
    EXPECT_EQ(a->prompter.shown().size(), 1);
    EXPECT_EQ(test::take(store->count(QStringLiteral("Programacion"))), 0);
}
