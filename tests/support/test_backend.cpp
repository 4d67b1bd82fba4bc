#include "support/test_backend.h"

#include "support/result_checks.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

namespace tvq52::test {

bool onServerBackend()
{
    return qEnvironmentVariable("TVQ52_TEST_BACKEND").compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0;
}

void takeBackendArgument(int* argc, char** argv)
{
    static const char kFlag[] = "--server-backend=";
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (qstrncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
            qputenv("TVQ52_TEST_BACKEND", "postgresql");
            qputenv("TVQ52_TEST_PG_FILE", QByteArray(argv[i] + sizeof kFlag - 1) + "/uri");
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    argv[kept] = nullptr;
}

DatabaseTarget serverAdminTarget()
{
    const QString file = qEnvironmentVariable("TVQ52_TEST_PG_FILE");
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "No private PostgreSQL server for this run (TVQ52_TEST_PG_FILE=" << file.toStdString() << ")";
        return {};
    }
    const auto target = DatabaseTarget::fromUri(QString::fromUtf8(f.readAll()).trimmed());
    if (!target) {
        ADD_FAILURE() << untranslatedText(target.error()).toStdString();
        return {};
    }
    return *target;
}

namespace {

bool runAdmin(const QString& sql, QString* error)
{
    auto admin = Database::openServer(serverAdminTarget(), {});
    if (!admin) {
        *error = untranslatedText(admin.error());
        return false;
    }
    QSqlQuery q((*admin)->connection());
    if (!q.exec(sql)) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

} // namespace

ServerTestDatabase::ServerTestDatabase(bool layOut)
{
    static QAtomicInteger<int> counter;
    target_ = serverAdminTarget();
    if (!target_.isServer())
        return;
    target_.database =
        QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddRelaxed(1));
    QString error;
    if (!runAdmin(QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 ENCODING 'UTF8'").arg(target_.database),
                  &error)) {
        ADD_FAILURE() << error.toStdString();
        return;
    }
    if (layOut) {
        if (auto db = open()) {
            EXPECT_TRUE(succeeded(db->layOutSchema()));
        }
    }
}

ServerTestDatabase::~ServerTestDatabase()
{
    if (!target_.isServer() || target_.database.isEmpty())
        return;
    QString error;
    EXPECT_TRUE(runAdmin(QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(target_.database), &error))
        << error.toStdString();
}

std::unique_ptr<Database> ServerTestDatabase::open() const
{
    return take(Database::openServer(target_, {}));
}

bool ServerTestDatabase::adminExec(const QString& sql) const
{
    QString error;
    const bool ok = runAdmin(sql, &error);
    EXPECT_TRUE(ok) << error.toStdString();
    return ok;
}

DroppedRoles::~DroppedRoles()
{
    QString error;
    for (const QString& role : roles)
        EXPECT_TRUE(runAdmin(QStringLiteral("DROP ROLE IF EXISTS %1").arg(quoteIdentifier(role)), &error))
            << error.toStdString();
}

} // namespace tvq52::test
