#include "reports/level_script.h"

#include "i18n/translator.h"
#include "reports/report_format.h"

#include <QStringList>
#include <vector>

namespace tvq52 {

// ---------------------------------------------------------------- building

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString quoted(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QString levelBlock(const QString& c)
{
    const QString col = QLatin1Char('[') + c + QLatin1Char(']');
    const QString set = QStringLiteral(" L") + c + QStringLiteral(" = ");
    return QStringLiteral("If ") + col + QStringLiteral(" = 0 Then") + kCrLf + set + quoted(QStringLiteral("---"))
        + kCrLf + QStringLiteral("ElseIf ") + col + QStringLiteral(" < 60 Then") + kCrLf + set
        + quoted(QStringLiteral("und")) + kCrLf + QStringLiteral("ElseIf ") + col + QStringLiteral(" > 120 Then")
        + kCrLf + set + quoted(QStringLiteral("up")) + kCrLf + QStringLiteral("Else") + kCrLf + set + col + kCrLf
        + QStringLiteral("End If") + kCrLf;
}

QString minutesBlock(const QString& c, const QString& uncalibrated)
{
    const QString col = QLatin1Char('[') + c + QLatin1Char(']');
    const QString set = QStringLiteral(" L") + c + QStringLiteral(" = ");
    return QStringLiteral("If ") + col + QStringLiteral(" = 255 Then") + kCrLf + set + quoted(uncalibrated) + kCrLf
        + QStringLiteral("Else") + kCrLf + set + col + QLatin1Char('&') + quoted(QStringLiteral("min")) + kCrLf
        + QStringLiteral("End If") + kCrLf;
}

} // namespace

QString BuildLevelScript(const Translator& translator)
{
    const QString uncalibrated = translator.text(111);
    QString s;
    for (const char* c : {"SL1", "SL5", "SL10", "SL50", "SL90"})
        s += levelBlock(QLatin1String(c));
    s += minutesBlock(QStringLiteral("ByENA"), uncalibrated);
    s += minutesBlock(QStringLiteral("ByLineaInsuficiente"), uncalibrated);
    s += QStringLiteral("If [BoProgramacion] = True Then") + kCrLf + QStringLiteral(" LBoProgramacion = ")
        + quoted(translator.text(68)) + kCrLf + QStringLiteral("Else") + kCrLf + QStringLiteral(" LBoProgramacion = ")
        + quoted(translator.text(69)) + kCrLf + QStringLiteral("End If") + kCrLf;
    s += minutesBlock(QStringLiteral("ByDNA"), uncalibrated);
    for (const char* c : {"SMaxFast", "SMaxLeq1min", "SMinLeq1min", "SLeqLocal"})
        s += levelBlock(QLatin1String(c));
    s += QStringLiteral("If [SLeqVecino] = 0 Then") + kCrLf + QStringLiteral(" LSLeqVecino = ")
        + quoted(QStringLiteral("---")) + kCrLf + QStringLiteral("Else") + kCrLf
        + QStringLiteral(" LSLeqVecino = [SLeqVecino]") + kCrLf + QStringLiteral("End If") + kCrLf;
    s += levelBlock(QStringLiteral("SLeq"));
    return s;
}

// ---------------------------------------------------------------- the interpreter

// Named, not anonymous: LevelScript::Program holds these, and a member of an
// anonymous type would give the class internal linkage.
namespace level_script_detail {

struct Expr {
    enum Kind { Column, Variable, Number, String, Boolean, Concat, Compare };
    Kind kind = Number;
    QString name; // column or variable; the operator of a comparison
    QVariant literal;
    std::vector<Expr> parts;
};

struct Stmt {
    enum Kind { Assign, If };
    Kind kind = Assign;
    QString target;
    Expr value;
    std::vector<std::pair<Expr, std::vector<Stmt>>> branches;
    std::vector<Stmt> otherwise;
    QStringList columns; // every column the block reads
};

struct Token {
    enum Kind { Word, Column, Number, String, Op, End };
    Kind kind = End;
    QString text;
};

std::optional<QString> tokenize(const QString& line, std::vector<Token>& out)
{
    int i = 0;
    const int n = int(line.size());
    while (i < n) {
        const QChar ch = line[i];
        if (ch.isSpace()) {
            ++i;
        } else if (ch == QLatin1Char('"')) {
            QString s;
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == QLatin1Char('"')) {
                    if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                        s += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                s += line[i++];
            }
            if (!closed)
                return QStringLiteral("a string is not closed");
            out.push_back({Token::String, s});
        } else if (ch == QLatin1Char('[')) {
            const int close = int(line.indexOf(QLatin1Char(']'), i));
            if (close < 0)
                return QStringLiteral("a column name is not closed");
            const QString name = line.mid(i + 1, close - i - 1).trimmed();
            if (name.isEmpty())
                return QStringLiteral("an empty column name");
            out.push_back({Token::Column, name});
            i = close + 1;
        } else if (ch.isDigit() || ch == QLatin1Char('.')) {
            int j = i;
            while (j < n && (line[j].isDigit() || line[j] == QLatin1Char('.')))
                ++j;
            out.push_back({Token::Number, line.mid(i, j - i)});
            i = j;
        } else if (ch.isLetter() || ch == QLatin1Char('_')) {
            int j = i;
            while (j < n && (line[j].isLetterOrNumber() || line[j] == QLatin1Char('_')))
                ++j;
            out.push_back({Token::Word, line.mid(i, j - i)});
            i = j;
        } else if (ch == QLatin1Char('<') || ch == QLatin1Char('>')) {
            if (i + 1 < n
                && (line[i + 1] == QLatin1Char('=') || (ch == QLatin1Char('<') && line[i + 1] == QLatin1Char('>')))) {
                out.push_back({Token::Op, line.mid(i, 2)});
                i += 2;
            } else {
                out.push_back({Token::Op, QString(ch)});
                ++i;
            }
        } else if (ch == QLatin1Char('=') || ch == QLatin1Char('&') || ch == QLatin1Char('-') || ch == QLatin1Char('(')
                   || ch == QLatin1Char(')')) {
            out.push_back({Token::Op, QString(ch)});
            ++i;
        } else {
            return QStringLiteral("unexpected \"%1\"").arg(ch);
        }
    }
    out.push_back({Token::End, {}});
    return std::nullopt;
}

bool isWord(const Token& t, const char* word)
{
    return t.kind == Token::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isOp(const Token& t, const char* op)
{
    return t.kind == Token::Op && t.text == QLatin1String(op);
}

class ExprParser {
public:
    ExprParser(const std::vector<Token>& tokens, size_t pos) : t_(tokens), pos_(pos) {}

    std::optional<QString> parse(Expr& out, QStringList& columns)
    {
        columns_ = &columns;
        if (auto e = comparison(out))
            return e;
        return std::nullopt;
    }
    size_t position() const { return pos_; }

private:
    std::optional<QString> comparison(Expr& out)
    {
        Expr left;
        if (auto e = concat(left))
            return e;
        static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
        for (const char* op : ops)
            if (isOp(t_[pos_], op)) {
                ++pos_;
                Expr right;
                if (auto e = concat(right))
                    return e;
                out.kind = Expr::Compare;
                out.name = QLatin1String(op);
                out.parts = {std::move(left), std::move(right)};
                return std::nullopt;
            }
        out = std::move(left);
        return std::nullopt;
    }

    std::optional<QString> concat(Expr& out)
    {
        Expr first;
        if (auto e = primary(first))
            return e;
        if (!isOp(t_[pos_], "&")) {
            out = std::move(first);
            return std::nullopt;
        }
        out.kind = Expr::Concat;
        out.parts.push_back(std::move(first));
        while (isOp(t_[pos_], "&")) {
            ++pos_;
            Expr next;
            if (auto e = primary(next))
                return e;
            out.parts.push_back(std::move(next));
        }
        return std::nullopt;
    }

    std::optional<QString> primary(Expr& out)
    {
        const Token& t = t_[pos_];
        bool negative = false;
        if (isOp(t, "-") && t_[pos_ + 1].kind == Token::Number) {
            negative = true;
            ++pos_;
        }
        const Token& v = t_[pos_];
        switch (v.kind) {
        case Token::Number: {
            bool ok = false;
            const double d = v.text.toDouble(&ok);
            if (!ok)
                return QStringLiteral("bad number \"%1\"").arg(v.text);
            out.kind = Expr::Number;
            out.literal = negative ? -d : d;
            ++pos_;
            return std::nullopt;
        }
        case Token::String:
            out.kind = Expr::String;
            out.literal = v.text;
            ++pos_;
            return std::nullopt;
        case Token::Column:
            out.kind = Expr::Column;
            out.name = v.text;
            columns_->append(v.text);
            ++pos_;
            return std::nullopt;
        case Token::Word:
            if (isWord(v, "True") || isWord(v, "False")) {
                out.kind = Expr::Boolean;
                out.literal = isWord(v, "True");
            } else if (isWord(v, "Then") || isWord(v, "If") || isWord(v, "Else") || isWord(v, "ElseIf")
                       || isWord(v, "End")) {
                return QStringLiteral("a value expected before \"%1\"").arg(v.text);
            } else {
                out.kind = Expr::Variable;
                out.name = v.text;
            }
            ++pos_;
            return std::nullopt;
        case Token::Op:
            if (isOp(v, "(")) {
                ++pos_;
                if (auto e = comparison(out))
                    return e;
                if (!isOp(t_[pos_], ")"))
                    return QStringLiteral("\")\" expected");
                ++pos_;
                return std::nullopt;
            }
            return QStringLiteral("a value expected before \"%1\"").arg(v.text);
        case Token::End:
            break;
        }
        return QStringLiteral("a value expected");
    }

    const std::vector<Token>& t_;
    size_t pos_;
    QStringList* columns_ = nullptr;
};

// ---- values

bool isNumeric(const QVariant& v)
{
    const int t = v.typeId();
    return t == QMetaType::Double || t == QMetaType::Float || t == QMetaType::Int || t == QMetaType::LongLong
        || t == QMetaType::UInt || t == QMetaType::ULongLong || t == QMetaType::Short || t == QMetaType::UShort
        || t == QMetaType::UChar || t == QMetaType::SChar || t == QMetaType::Char;
}

bool truth(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isNumeric(v))
        return v.toDouble() != 0;
    const QString s = v.toString().trimmed();
    if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double d = s.toDouble(&ok);
    return ok && d != 0;
}

QString asText(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        return levelText(v.toDouble());
    return v.toString();
}

// Null against anything is neither true nor false: the branch is not taken.
bool compare(const QVariant& a, const QString& op, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return false;
    int order = 0;
    if (a.typeId() == QMetaType::Bool || b.typeId() == QMetaType::Bool) {
        order = int(truth(a)) - int(truth(b));
    } else {
        bool okA = isNumeric(a);
        bool okB = isNumeric(b);
        double da = okA ? a.toDouble() : a.toString().trimmed().toDouble(&okA);
        double db = okB ? b.toDouble() : b.toString().trimmed().toDouble(&okB);
        if (okA && okB) {
            // A level kept in single precision compares as that float.
            if (a.typeId() == QMetaType::Double)
                da = static_cast<float>(da);
            if (b.typeId() == QMetaType::Double)
                db = static_cast<float>(db);
            order = da < db ? -1 : (da > db ? 1 : 0);
        } else {
            order = asText(a).compare(asText(b));
        }
    }
    if (op == QLatin1String("="))
        return order == 0;
    if (op == QLatin1String("<>"))
        return order != 0;
    if (op == QLatin1String("<"))
        return order < 0;
    if (op == QLatin1String(">"))
        return order > 0;
    if (op == QLatin1String("<="))
        return order <= 0;
    return order >= 0;
}

QVariant evaluate(const Expr& e, const ReportRow& row)
{
    switch (e.kind) {
    case Expr::Number:
    case Expr::String:
    case Expr::Boolean:
        return e.literal;
    case Expr::Column:
    case Expr::Variable:
        return row.value(e.name);
    case Expr::Concat: {
        QString s;
        for (const Expr& p : e.parts)
            s += asText(evaluate(p, row));
        return s;
    }
    case Expr::Compare:
        return compare(evaluate(e.parts[0], row), e.name, evaluate(e.parts[1], row));
    }
    return {};
}

void execute(const std::vector<Stmt>& body, ReportRow& row)
{
    for (const Stmt& s : body) {
        if (s.kind == Stmt::Assign) {
            row.set(s.target, evaluate(s.value, row));
            continue;
        }
        bool complete = true;
        for (const QString& c : s.columns)
            if (!row.has(c))
                complete = false;
        if (!complete)
            continue; // the other record source's block
        bool taken = false;
        for (const auto& [condition, branch] : s.branches)
            if (truth(evaluate(condition, row))) {
                execute(branch, row);
                taken = true;
                break;
            }
        if (!taken)
            execute(s.otherwise, row);
    }
}

} // namespace level_script_detail

using namespace level_script_detail;

struct LevelScript::Program {
    std::vector<Stmt> body;
};

namespace {

class ScriptParser {
public:
    explicit ScriptParser(const QString& text)
    {
        QString t = text;
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        lines_ = t.split(QLatin1Char('\n'));
    }

    std::optional<QString> parse(std::vector<Stmt>& body)
    {
        QStringList columns;
        if (auto e = block(body, columns, 0))
            return e;
        if (line_ < lines_.size())
            return at(QStringLiteral("\"%1\" without an If").arg(lines_[line_].trimmed()));
        return std::nullopt;
    }

private:
    QString at(const QString& what) const { return QStringLiteral("line %1: %2").arg(line_ + 1).arg(what); }

    // Reads statements until Else, ElseIf or End If (left for the caller).
    std::optional<QString> block(std::vector<Stmt>& body, QStringList& columns, int depth)
    {
        while (line_ < lines_.size()) {
            const QString text = lines_[line_].trimmed();
            if (text.isEmpty() || text.startsWith(QLatin1Char('\''))) {
                ++line_;
                continue;
            }
            std::vector<Token> tokens;
            if (auto e = tokenize(text, tokens))
                return at(*e);
            const Token& first = tokens[0];
            if (isWord(first, "ElseIf") || isWord(first, "Else") || isWord(first, "End")) {
                if (depth == 0)
                    return at(QStringLiteral("\"%1\" without an If").arg(text));
                return std::nullopt;
            }
            if (isWord(first, "If")) {
                Stmt s;
                s.kind = Stmt::If;
                if (auto e = ifStatement(s, tokens, depth))
                    return e;
                columns += s.columns;
                body.push_back(std::move(s));
                continue;
            }
            if (first.kind != Token::Word || !isOp(tokens[1], "="))
                return at(QStringLiteral("\"%1\" is not an assignment or an If").arg(text));
            Stmt s;
            s.target = first.text;
            ExprParser p(tokens, 2);
            if (auto e = p.parse(s.value, columns))
                return at(*e);
            if (tokens[p.position()].kind != Token::End)
                return at(QStringLiteral("\"%1\" after the value").arg(tokens[p.position()].text));
            body.push_back(std::move(s));
            ++line_;
        }
        if (depth > 0)
            return QStringLiteral("line %1: End If missing").arg(openIfs_.back() + 1);
        return std::nullopt;
    }

    std::optional<QString> condition(const std::vector<Token>& tokens, Expr& out, QStringList& columns)
    {
        ExprParser p(tokens, 1);
        if (auto e = p.parse(out, columns))
            return at(*e);
        if (!isWord(tokens[p.position()], "Then") || tokens[p.position() + 1].kind != Token::End)
            return at(QStringLiteral("Then expected"));
        return std::nullopt;
    }

    std::optional<QString> ifStatement(Stmt& s, std::vector<Token> tokens, int depth)
    {
        openIfs_.push_back(line_);
        for (;;) {
            Expr cond;
            if (auto e = condition(tokens, cond, s.columns))
                return e;
            ++line_;
            std::vector<Stmt> branch;
            QStringList inner;
            if (auto e = block(branch, inner, depth + 1))
                return e;
            s.branches.emplace_back(std::move(cond), std::move(branch));
            tokens.clear();
            if (auto e = tokenize(lines_[line_].trimmed(), tokens))
                return at(*e);
            if (isWord(tokens[0], "ElseIf"))
                continue;
            break;
        }
        if (isWord(tokens[0], "Else")) {
            if (tokens[1].kind != Token::End)
                return at(QStringLiteral("nothing may follow Else"));
            ++line_;
            QStringList inner;
            if (auto e = block(s.otherwise, inner, depth + 1))
                return e;
            tokens.clear();
            if (auto e = tokenize(lines_[line_].trimmed(), tokens))
                return at(*e);
        }
        if (!isWord(tokens[0], "End") || !isWord(tokens[1], "If") || tokens[2].kind != Token::End)
            return at(QStringLiteral("End If expected"));
        ++line_;
        openIfs_.pop_back();
        return std::nullopt;
    }

    QStringList lines_;
    int line_ = 0;
    std::vector<int> openIfs_; // where each If being read started
};

} // namespace

Result<LevelScript> LevelScript::parse(const QString& text)
{
    auto program = std::make_shared<Program>();
    ScriptParser parser(text);
    if (auto e = parser.parse(program->body))
        return reportError(ReportFailure::Script, *e);
    return Result<LevelScript>(LevelScript(std::move(program)));
}

LevelScript::LevelScript(std::shared_ptr<const Program> program) : program_(std::move(program)) {}
LevelScript::LevelScript(LevelScript&&) noexcept = default;
LevelScript& LevelScript::operator=(LevelScript&&) noexcept = default;
LevelScript::~LevelScript() = default;

Status LevelScript::run(ReportRow& row) const
{
    execute(program_->body, row);
    return {};
}

RowHook LevelScript::hook() const
{
    auto program = program_;
    return [program](ReportRow& row) -> Status {
        execute(program->body, row);
        return {};
    };
}

// ---------------------------------------------------------------- point texts

QString levelPointText(double level)
{
    if (level == -1 || level == 0)
        return QStringLiteral("---");
    if (level < 60)
        return QStringLiteral("UND");
    if (level > 120)
        return QStringLiteral("UP");
    return QString::number(static_cast<float>(level), 'f', 1);
}

QString neighbourLevelPointText(double level)
{
    if (level == -1)
        return QStringLiteral("---");
    if (level > 120)
        return QStringLiteral("UP");
    return QString::number(static_cast<float>(level), 'f', 1);
}

} // namespace tvq52
