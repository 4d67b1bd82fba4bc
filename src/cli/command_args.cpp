#include "cli/command_args.h"

#include "cli/cli_session.h"
#include "core/command_line_parser.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "i18n/translator.h"

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
    std::vector<OptionSpec> options;
    for (const QString& flag : syntax.flags)
        options.push_back({flag, {}, {}, false});
    for (const QString& option : syntax.valued)
        options.push_back({option, QStringLiteral("VALUE"), {}, false});
    const ParsedWords parsed = parseWords(words, options, {.singleDashOptions = false});
    if (parsed.fault)
        return *parsed.fault;
    CommandArgs args;
    args.arguments = parsed.arguments;
    for (const auto& [name, value] : parsed.given) {
        if (syntax.flags.contains(name))
            args.flags << name;
        else
            args.values.insert(name, value);
    }
    const qsizetype n = args.arguments.size();
    if (n < syntax.minArguments)
        return ownWords(QStringLiteral("Faltan argumentos"));
    if (syntax.maxArguments >= 0 && n > syntax.maxArguments)
        return ownWords(QStringLiteral("Sobra el argumento %1"), {args.arguments.at(syntax.maxArguments)});
    return args;
}

QString flowedLines(const QString& text, const QString& first, qsizetype indent)
{
    QString out;
    QString line = first;
    bool empty = true; // no word on the line yet
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > kHelpWidth) {
            out += line + QLatin1Char('\n');
            line = QString(indent, QLatin1Char(' '));
            empty = true;
        }
        line += (empty ? QString() : QStringLiteral(" ")) + word;
        empty = false;
    }
    return out + line + QLatin1Char('\n');
}

QString usageLines(const Translator& translator, const CommandSyntax& syntax)
{
    const QString usage = translator.translate(QStringLiteral("uso: tvq52-cli [opciones] %1"));
    QString text;
    for (const QString& form : QString::fromUtf8(syntax.synopsis).split(QLatin1Char('\n')))
        text += usage.arg(form) + QLatin1Char('\n');
    return text;
}

QString descriptionLines(const Translator& translator, const CommandSyntax& syntax)
{
    const QString indent(4, QLatin1Char(' '));
    QString text;
    QString paragraph;
    for (const char* native : syntax.description) {
        QString part = QString::fromUtf8(native);
        const bool ends = part.endsWith(QLatin1Char('\n'));
        if (ends)
            part.chop(1);
        paragraph += (paragraph.isEmpty() ? QString() : QStringLiteral(" ")) + translator.translate(part);
        if (ends) {
            text += flowedLines(paragraph, indent, indent.size());
            paragraph.clear();
        }
    }
    return paragraph.isEmpty() ? text : text + flowedLines(paragraph, indent, indent.size());
}

QString commandHelp(const Translator& translator, const CommandSyntax& syntax)
{
    return usageLines(translator, syntax) + QLatin1Char('\n') + descriptionLines(translator, syntax) + QLatin1Char('\n')
        + translator.translate(
            QStringLiteral("Las opciones comunes (--home, --database, --device, ...) las lista tvq52-cli --help."))
        + QLatin1Char('\n');
}

int refuseUsage(const Translator& translator, const Error& error, const CommandSyntax& syntax)
{
    printError(translator, error);
    QTextStream(stderr) << usageLines(translator, syntax) << Qt::flush;
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
