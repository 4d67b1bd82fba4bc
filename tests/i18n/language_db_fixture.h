#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <gtest/gtest.h>

namespace tvq52::test {

// One row of a hand-made language database; a null English means no
// translation stored.
struct LanguageRow {
    QString native;
    QString english;
    bool skip = false;
    QString german = {};
};

// Every row `sql` gives on the SQLite file at `path`, opened read-only
// unless `write`.
inline QList<QVariantList> queryRows(const QString& path, const QString& sql, bool write = false)
{
    QList<QVariantList> rows;
    const QString name = QStringLiteral("fixture-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!write)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        EXPECT_TRUE(db.open()) << path.toStdString();
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        while (q.next()) {
            QVariantList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << q.value(i);
            rows << values;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Writes the table "LocGuru" with the given rows in the given stored order.
inline void writeLanguageDb(const QString& path, const QList<LanguageRow>& rows,
                            const QString& nativeType = QStringLiteral("VARCHAR(255)"))
{
    const QString name = QStringLiteral("fixture-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE LocGuru (Native %1, English TEXT, Deutsch TEXT, "
                                          "bSkip INTEGER DEFAULT 0, bIsUsed INTEGER DEFAULT 0)")
                               .arg(nativeType)))
            << q.lastError().text().toStdString();
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO LocGuru (Native, English, Deutsch, bSkip) VALUES (?, ?, ?, ?)"));
        for (const LanguageRow& r : rows) {
            q.addBindValue(r.native);
            q.addBindValue(r.english.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.english));
            q.addBindValue(r.german.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.german));
            q.addBindValue(r.skip ? -1 : 0);
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// The "Native" texts whose "bIsUsed" is set, in stored order.
inline QStringList usedNatives(const QString& path)
{
    QStringList natives;
    for (const QVariantList& r :
         queryRows(path, QStringLiteral("SELECT Native FROM LocGuru WHERE bIsUsed <> 0 ORDER BY rowid")))
        natives << r[0].toString();
    return natives;
}

inline int rowCount(const QString& path)
{
    return queryRows(path, QStringLiteral("SELECT COUNT(*) FROM LocGuru")).value(0).value(0, -1).toInt();
}

} // namespace tvq52::test
