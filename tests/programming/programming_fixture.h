#pragma once

#include "db/database.h"
#include "db/store.h"
#include "programming/programming_store.h"
#include "support/result_checks.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// A fresh database with the delivered tables and nothing in them.
class ProgrammingDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        const QString path = dir_.filePath(QStringLiteral("tvq52.db"));
        ASSERT_TRUE(test::succeeded(Database::createSqlite(path)));
        db_ = test::take(Database::openSqlite(path));
        ASSERT_TRUE(db_);
        store_ = std::make_unique<Store>(*db_);
    }

    ProgrammingRecord saveUnit(qint32 serial, const QString& venue = QStringLiteral(" "))
    {
        ProgrammingRecord r = defaultProgramming(QDate(2010, 5, 1));
        r.serial = serial;
        r.venue = venue;
        EXPECT_TRUE(test::succeeded(saveProgramming(*store_, r, unusedIntervals())));
        return r;
    }

    QTemporaryDir dir_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<Store> store_;
};

} // namespace tvq52::test
