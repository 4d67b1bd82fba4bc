// Builds the language database from its text source at build time, refusing
// a source whose rows would lose a placeholder or a line break.
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

namespace {

const QStringList kColumns = {
    QStringLiteral("Native"),   QStringLiteral("Español"),   QStringLiteral("Català"),
    QStringLiteral("English"),  QStringLiteral("Deutsch"),   QStringLiteral("Français"),
    QStringLiteral("Italiano"), QStringLiteral("Português"), QStringLiteral("bSkip"),
};
constexpr int kLanguages = 7;    // Español .. Português
constexpr int kNativeSize = 255; // the declared size of "Native"

struct Row {
    int line = 0;
    QStringList texts; // Native, then the seven languages
    bool skip = false;
};

QString markersToBreaks(QString text)
{
    text.replace(QLatin1String("{\\r}"), QLatin1String("\r"));
    text.replace(QLatin1String("{\\n}"), QLatin1String("\n"));
    return text;
}

bool fail(const QString& where, const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(where), qPrintable(message));
    return false;
}

bool readSource(const QString& path, QList<Row>* rows)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(path, file.errorString());
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    bool headerSeen = false;
    QStringList natives;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString where = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields = line.split(QLatin1Char('\t'));
        if (!headerSeen) {
            if (fields != kColumns)
                return fail(where, QStringLiteral("the header must be: ") + kColumns.join(QLatin1Char(' ')));
            headerSeen = true;
            continue;
        }
        if (fields.size() != kColumns.size())
            return fail(where, QStringLiteral("%1 fields, expected %2").arg(fields.size()).arg(kColumns.size()));
        Row row;
        row.line = i + 1;
        row.skip = fields.last().trimmed() == QLatin1String("1");
        if (!row.skip && !fields.last().trimmed().isEmpty())
            return fail(where, QStringLiteral("bSkip is 1 or empty"));
        fields.removeLast();
        for (const QString& f : fields)
            row.texts.append(markersToBreaks(f));
        const QString& native = row.texts[0];
        if (native.isEmpty())
            return fail(where, QStringLiteral("empty native text"));
        if (native.size() > kNativeSize)
            return fail(where, QStringLiteral("native text longer than %1 characters").arg(kNativeSize));
        if (natives.contains(native))
            return fail(where, QStringLiteral("native text listed twice: ") + native);
        natives.append(native);
        if (row.texts[1].isEmpty())
            row.texts[1] = native;
        for (int lang = 2; lang <= kLanguages && !row.skip; ++lang) {
            const QString& text = row.texts[lang];
            const QString column = kColumns[lang];
            if (text.isEmpty())
                return fail(where, column + QStringLiteral(" is missing"));
            if (text.count(QLatin1String("%s")) != native.count(QLatin1String("%s")))
                return fail(where, column + QStringLiteral(" does not keep every %s"));
            if (text.count(QLatin1Char('\r')) != native.count(QLatin1Char('\r'))
                || text.count(QLatin1Char('\n')) != native.count(QLatin1Char('\n')))
                return fail(where, column + QStringLiteral(" does not keep the line breaks"));
        }
        rows->append(row);
    }
    if (!headerSeen)
        return fail(path, QStringLiteral("no header line"));
    return true;
}

bool writeDatabase(const QString& path, const QList<Row>& rows)
{
    QFile::remove(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("out"));
    db.setDatabaseName(path);
    if (!db.open())
        return fail(path, db.lastError().text());
    QSqlQuery q(db);
    QString create = QStringLiteral("CREATE TABLE LocGuru (Native VARCHAR(%1) NOT NULL").arg(kNativeSize);
    for (int lang = 1; lang <= kLanguages; ++lang)
        create += QStringLiteral(", \"%1\" TEXT").arg(kColumns[lang]);
    create += QStringLiteral(", bSkip INTEGER NOT NULL DEFAULT 0, bIsUsed INTEGER NOT NULL DEFAULT 0)");
    if (!q.exec(create))
        return fail(path, q.lastError().text());
    db.transaction();
    QString insert = QStringLiteral("INSERT INTO LocGuru VALUES (?");
    for (int i = 1; i < kColumns.size() + 1; ++i)
        insert += QStringLiteral(", ?");
    insert += QLatin1Char(')');
    q.prepare(insert);
    for (const Row& row : rows) {
        for (const QString& text : row.texts)
            q.addBindValue(text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text));
        q.addBindValue(row.skip ? 1 : 0);
        q.addBindValue(1);
        if (!q.exec())
            return fail(QStringLiteral("row at line %1").arg(row.line), q.lastError().text());
    }
    if (!db.commit())
        return fail(path, db.lastError().text());
    db.close();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: %s SOURCE.tsv OUTPUT.db\n", argv[0]);
        return 2;
    }
    QList<Row> rows;
    if (!readSource(args[1], &rows))
        return 1;
    // Written beside the target and moved in whole, so that a failed build
    // never leaves half a database behind.
    const QString temporary = args[2] + QStringLiteral(".part");
    const bool written = writeDatabase(temporary, rows);
    QSqlDatabase::removeDatabase(QStringLiteral("out"));
    if (!written) {
        QFile::remove(temporary);
        return 1;
    }
    QFile::remove(args[2]);
    if (!QFile::rename(temporary, args[2])) {
        fail(args[2], QStringLiteral("cannot be replaced"));
        return 1;
    }
    std::printf("%lld texts written to %s\n", static_cast<long long>(rows.size()), qPrintable(args[2]));
    return 0;
}
