#pragma once

#include "db/database.h"

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
    void provision() const;
    void writeFile(const QString& name, const QByteArray& contents) const;
    // A connection to the folder's database; the test fails when it does not open.
    std::unique_ptr<Database> openDatabase() const;

private:
    QTemporaryDir dir_;
};

} // namespace tvq52::test
