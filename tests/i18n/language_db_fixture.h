#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// The "Native" texts whose "bIsUsed" is set, in stored order.
inline QStringList usedNatives(const QString& path)
{
    QStringList natives;
    const QString name = QStringLiteral("fixture-read-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT Native FROM LocGuru WHERE bIsUsed <> 0 ORDER BY rowid")));
        while (q.next())
            natives.append(q.value(0).toString());
    }
    QSqlDatabase::removeDatabase(name);
    return natives;
}

inline int rowCount(const QString& path)
{
    int count = -1;
    const QString name = QStringLiteral("fixture-count-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT COUNT(*) FROM LocGuru")) && q.next())
            count = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

} // namespace tvq52::test
