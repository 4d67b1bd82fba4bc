#include "cli/command_args.h"

#include "cli/cli_session.h"
#include "core/date_text.h"
#include "core/own_words.h"

#include <QTextStream>

namespace tvq52 {

std::optional<QString> CommandArgs::value(const char* option) const
{
    const auto it = values.find(QLatin1String(option));
    if (it == values.end())
        return std::nullopt;
    return *it;
}

Result<CommandArgs> parseCommandArgs(const QStringList& words, const CommandSyntax& syntax)
{
    CommandArgs parsed;
    bool onlyArguments = false;
    for (qsizetype k = 0; k < words.size(); ++k) {
        const QString& word = words[k];
        if (onlyArguments || !word.startsWith(QLatin1String("--")) || word.size() == 2) {
            if (word == QLatin1String("--") && !onlyArguments)
                onlyArguments = true;
            else
                parsed.arguments << word;
            continue;
        }
        if (parsed.flags.contains(word) || parsed.values.contains(word))
            return ownWords(QStringLiteral("La opción %1 está repetida"), {word});
        if (syntax.flags.contains(word)) {
            parsed.flags << word;
        } else if (syntax.valued.contains(word)) {
            if (k + 1 >= words.size())
                return ownWords(QStringLiteral("La opción %1 necesita un valor"), {word});
            parsed.values.insert(word, words[++k]);
        } else {
            return ownWords(QStringLiteral("Opción desconocida: %1"), {word});
        }
    }
    const qsizetype n = parsed.arguments.size();
    if (n < syntax.minArguments)
        return ownWords(QStringLiteral("Faltan argumentos"));
    if (syntax.maxArguments >= 0 && n > syntax.maxArguments)
        return ownWords(QStringLiteral("Sobra el argumento %1"), {parsed.arguments.at(syntax.maxArguments)});
    return parsed;
}

QString usageLines(const CommandSyntax& syntax)
{
    QString text;
    for (const QString& form : QString::fromUtf8(syntax.synopsis).split(QLatin1Char('\n')))
        text += QStringLiteral("usage: tvq52-cli [options] ") + form + QLatin1Char('\n');
    return text;
}

QString commandHelp(const CommandSyntax& syntax)
{
    return usageLines(syntax) + QLatin1Char('\n') + QString::fromUtf8(syntax.description)
        + QStringLiteral(
               "\nThe shared options (--home, --database, --device, ...) are listed by "
               "tvq52-cli --help.\n");
}

int refuseUsage(const Translator& guru, const Error& error, const CommandSyntax& syntax)
{
    printError(guru, error);
    QTextStream(stderr) << usageLines(syntax) << Qt::flush;
    return 2;
}

Result<std::optional<QDateTime>> whenOption(const CommandArgs& args, const char* option)
{
    const auto text = args.value(option);
    if (!text)
        return std::optional<QDateTime>();
    const bool end = qstrcmp(option, "--to") == 0;
    const auto when = parseDateTimeText(*text, end ? DateAlone::EndOfDay : DateAlone::StartOfDay);
    if (!when)
        return ownWords(QStringLiteral("No es una fecha y hora: %1"), {*text});
    return std::optional<QDateTime>(when);
}

std::optional<qint32> serialArgument(const QString& text)
{
    bool ok = false;
    const qint32 serial = text.toInt(&ok);
    if (!ok || serial <= 0)
        return std::nullopt;
    return serial;
}

} // namespace tvq52
