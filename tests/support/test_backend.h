#pragma once

#include "db/database.h"
#include "db/database_target.h"

#include <QString>
#include <QStringList>

namespace tvq52::test {

// True when this run is the PostgreSQL run of a suite (TVQ52_TEST_BACKEND=
// postgresql): data folders then keep their records on the private server
// that the test run started (its URI in the file $TVQ52_TEST_PG_FILE).
bool onServerBackend();

// Takes "--server-backend=STATE_DIR" off the command line: the run is then a
// server run on the private server whose URI the fixture wrote to STATE_DIR/uri.
// It becomes the environment, which programs the tests start inherit.
void takeBackendArgument(int* argc, char** argv);

// The private server's maintenance database; fails the test when the run
// should have a server and has none (it never skips).
DatabaseTarget serverAdminTarget();

// A new, empty database on the private server for one test, dropped again
// (with whatever connections are left) when the object goes.
class ServerTestDatabase {
public:
    // `layOut`: with our tables, as `tvq52-cli init` leaves it.
    explicit ServerTestDatabase(bool layOut = true);
    ~ServerTestDatabase();
    ServerTestDatabase(const ServerTestDatabase&) = delete;
    ServerTestDatabase& operator=(const ServerTestDatabase&) = delete;

    const DatabaseTarget& target() const { return target_; }
    QString uri() const { return target_.uri(); }
    std::unique_ptr<Database> open() const;
    // Runs one statement on the maintenance connection (to stop, rename, look).
    bool adminExec(const QString& sql) const;

private:
    DatabaseTarget target_;
};

// Roles belong to the whole server: the ones a test names here are dropped
// when the object goes, which must be after the databases they own things in.
struct DroppedRoles {
    QStringList roles;
    ~DroppedRoles();
};

} // namespace tvq52::test
