#pragma once

#include "db/database.h"
#include "db/store.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// A laid-out data folder with its database open and a store over it.
class FolderDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.provision();
        db = home.openDatabase();
        ASSERT_NE(db, nullptr);
        store = std::make_unique<Store>(*db);
    }

    TempHome home;
    std::unique_ptr<Database> db;
    std::unique_ptr<Store> store;
};

} // namespace tvq52::test
