#pragma once

#include "db/database.h"
#include "support/test_backend.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "support/printers.h"

namespace tvq52::test {

// A fresh data folder for one test, removed afterwards.
class TempHome {
public:
    TempHome();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    // Provisions the folder as a first start would (settings, database, assets).
    // In a suite's server run the records go to a new database on the private
    // server, named in the settings file as an office's would be.
    void provision() const;
    void writeFile(const QString& name, const QByteArray& contents) const;
    // A connection to the folder's database (the server's in a server run); the
    // test fails when it does not open.
    std::unique_ptr<Database> openDatabase() const;
    // The server database of a server run; null otherwise.
    const ServerTestDatabase* server() const { return server_.get(); }

private:
    QTemporaryDir dir_;
    mutable std::unique_ptr<ServerTestDatabase> server_;
};

} // namespace tvq52::test
