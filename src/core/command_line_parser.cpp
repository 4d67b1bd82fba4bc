#include "core/command_line_parser.h"

#include "core/own_words.h"

#include <algorithm>

namespace tvq52 {

bool ParsedWords::isSet(const QString& name) const
{
    return std::any_of(given.begin(), given.end(), [&](const auto& g) { return g.first == name; });
}

QString ParsedWords::value(const QString& name) const
{
    for (auto it = given.rbegin(); it != given.rend(); ++it)
        if (it->first == name)
            return it->second;
    return {};
}

QStringList ParsedWords::values(const QString& name) const
{
    QStringList all;
    for (const auto& g : given)
        if (g.first == name)
            all << g.second;
    return all;
}

namespace {

const OptionSpec* findOption(std::span<const OptionSpec> options, QStringView name)
{
    for (const OptionSpec& o : options)
        if (name == o.name || (!o.alias.isEmpty() && name == o.alias))
            return &o;
    return nullptr;
}

bool looksLikeOption(const QString& word, std::span<const OptionSpec> options, const ParserRules& rules)
{
    if (word.size() < 2 || !word.startsWith(QLatin1Char('-')))
        return false;
    // Without single-dash options, "-h" is still one when it is declared.
    return rules.singleDashOptions || word.startsWith(QLatin1String("--")) || findOption(options, word);
}

} // namespace

ParsedWords parseWords(const QStringList& words, std::span<const OptionSpec> options, ParserRules rules)
{
    ParsedWords parsed;
    bool onlyArguments = false;
    for (qsizetype k = 0; k < words.size(); ++k) {
        const QString& word = words[k];
        const bool forCommand = rules.keepForCommand && !parsed.arguments.isEmpty();
        if (word == QLatin1String("--") && !onlyArguments) {
            // The command sees it too, so that its own options end there.
            onlyArguments = true;
            if (forCommand)
                parsed.arguments << word;
            continue;
        }
        if (onlyArguments || !looksLikeOption(word, options, rules)) {
            parsed.arguments << word;
            continue;
        }
        const qsizetype eq = word.startsWith(QLatin1String("--")) ? word.indexOf(QLatin1Char('=')) : -1;
        const QString name = eq > 2 ? word.left(eq) : word;
        const OptionSpec* option = findOption(options, name);
        if (!option) {
            if (forCommand) {
                parsed.arguments << word;
                continue;
            }
            parsed.fault = ownWords(QStringLiteral("Opción desconocida: %1"), {word});
            break;
        }
        if (!option->repeatable && parsed.isSet(option->name)) {
            parsed.fault = ownWords(QStringLiteral("La opción %1 está repetida"), {name});
            break;
        }
        QString value;
        if (eq > 2 && !option->takesValue()) {
            parsed.fault = ownWords(QStringLiteral("La opción %1 no admite valor"), {name});
            break;
        }
        if (eq > 2) {
            value = word.mid(eq + 1);
        } else if (option->takesValue()) {
            // The next word whatever it looks like: a value may start with a dash.
            if (k + 1 >= words.size()) {
                parsed.fault = ownWords(QStringLiteral("La opción %1 necesita un valor"), {name});
                break;
            }
            value = words[++k];
        }
        parsed.given.append({option->name, value});
    }
    return parsed;
}

QString optionLines(std::span<const OptionSpec> options, const QStringList& descriptions)
{
    QStringList heads;
    qsizetype width = 0;
    for (const OptionSpec& o : options) {
        QString head = o.alias.isEmpty() ? o.name : o.alias + QStringLiteral(", ") + o.name;
        if (o.takesValue())
            head += QLatin1Char(' ') + o.valueName;
        width = std::max(width, head.size());
        heads << head;
    }
    QString text;
    for (qsizetype k = 0; k < heads.size(); ++k)
        text += QStringLiteral("  ")
            + (k < descriptions.size() ? heads[k].leftJustified(width + 2) + descriptions[k] : heads[k])
            + QLatin1Char('\n');
    return text;
}

QStringList argumentsOf(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace tvq52
