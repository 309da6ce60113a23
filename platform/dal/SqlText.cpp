#include "platform/dal/SqlText.h"

#include <vector>

namespace zarn::dal::sqltext {

namespace {

enum class TokenKind { Word, QuotedName, Literal, Symbol };

// A token of the text without blanks and comments; a dotted name such as [dbo].[t] is one.
struct Token
{
    TokenKind kind;
    QString text;
    qsizetype start;
    int depth; // parentheses around the token; "(" and ")" count as outside
};

bool isNamePart(const SqlToken &token)
{
    return token.kind == SqlTokenKind::Word || token.kind == SqlTokenKind::QuotedName;
}

bool isDot(const QString &sql, const SqlToken &token)
{
    return token.kind == SqlTokenKind::Symbol && tokenText(sql, token) == u".";
}

// The end of the dotted name whose first part is tokens[first], and whether a part is quoted.
std::size_t dottedNameEnd(const QString &sql, const std::vector<SqlToken> &tokens,
                          std::size_t first, bool &quoted)
{
    std::size_t last = first;
    quoted = tokens[first].kind == SqlTokenKind::QuotedName;
    while (last + 2 < tokens.size() && isDot(sql, tokens[last + 1]) &&
           isNamePart(tokens[last + 2])) {
        last += 2;
        quoted = quoted || tokens[last].kind == SqlTokenKind::QuotedName;
    }
    return last + 1;
}

std::vector<Token> tokensOf(const QString &sql, const SqlDialect &dialect)
{
    const std::vector<SqlToken> lexed = sqlTokens(sql, dialect);
    std::vector<Token> result;
    int depth = 0;
    for (std::size_t i = 0; i < lexed.size();) {
        const SqlToken &token = lexed[i];
        if (token.kind == SqlTokenKind::Blank || token.kind == SqlTokenKind::Comment) {
            ++i;
            continue;
        }
        if (isNamePart(token)) {
            bool quoted = false;
            const std::size_t end = dottedNameEnd(sql, lexed, i, quoted);
            result.push_back(Token{quoted ? TokenKind::QuotedName : TokenKind::Word,
                                   sql.mid(token.start, lexed[end - 1].end - token.start),
                                   token.start, depth});
            i = end;
            continue;
        }
        const QString text = tokenText(sql, token).toString();
        if (token.kind == SqlTokenKind::Literal) {
            result.push_back(Token{TokenKind::Literal, text, token.start, depth});
        } else {
            if (text == u")" && depth > 0)
                --depth;
            result.push_back(Token{TokenKind::Symbol, text, token.start, depth});
            if (text == u"(")
                ++depth;
        }
        ++i;
    }
    return result;
}

bool isWord(const Token &token, const char *word)
{
    return token.kind == TokenKind::Word &&
           token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isAnyWord(const Token &token, std::initializer_list<const char *> words)
{
    for (const char *word : words) {
        if (isWord(token, word))
            return true;
    }
    return false;
}

bool isSymbol(const Token &token, char symbol)
{
    return token.kind == TokenKind::Symbol && token.text == QLatin1Char(symbol);
}

bool isName(const Token &token)
{
    return token.kind == TokenKind::QuotedName || token.kind == TokenKind::Word;
}

// Words that end a table reference and so can never be its alias.
bool isClauseWord(const Token &token)
{
    return isAnyWord(token, {"where",     "order",  "group",  "having",  "limit", "offset",
                             "fetch",     "for",    "window", "join",    "inner", "left",
                             "right",     "full",   "cross",  "natural", "outer", "union",
                             "intersect", "except", "on",     "using"});
}

// Clauses that may follow the single table of an updatable query.
bool endsTableReference(const Token &token)
{
    return isSymbol(token, ';') ||
           isAnyWord(token, {"where", "order", "limit", "offset", "fetch", "for"});
}

std::vector<Token> topLevelTokens(const QString &sql, const SqlDialect &dialect)
{
    std::vector<Token> result;
    for (Token &token : tokensOf(sql, dialect)) {
        if (token.depth == 0)
            result.push_back(std::move(token));
    }
    return result;
}

} // namespace

QStringList splitStatements(const QString &script, const SqlDialect &dialect)
{
    QStringList statements;
    qsizetype pieceStart = 0;
    bool pieceHasTokens = false;
    const auto endPiece = [&](qsizetype end) {
        if (pieceHasTokens)
            statements.append(script.mid(pieceStart, end - pieceStart).trimmed());
        pieceStart = end + 1;
        pieceHasTokens = false;
    };
    for (const Token &token : tokensOf(script, dialect)) {
        if (isSymbol(token, ';'))
            endPiece(token.start);
        else
            pieceHasTokens = true;
    }
    endPiece(script.size());
    return statements;
}

std::optional<QString> singleTableOf(const QString &select, const SqlDialect &dialect)
{
    const std::vector<Token> tokens = topLevelTokens(select, dialect);
    if (tokens.empty() || !isWord(tokens.front(), "select"))
        return std::nullopt;
    std::size_t from = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isAnyWord(tokens[i], {"union", "intersect", "except"}))
            return std::nullopt;
        if (from == 0 && isWord(tokens[i], "from"))
            from = i;
    }
    if (from == 0 || from + 1 >= tokens.size() || !isName(tokens[from + 1]) ||
        isClauseWord(tokens[from + 1]))
        return std::nullopt;
    std::size_t next = from + 2;
    if (next < tokens.size() && isWord(tokens[next], "as"))
        next += 2;
    else if (next < tokens.size() && isName(tokens[next]) && !isClauseWord(tokens[next]))
        next += 1;
    if (next < tokens.size() && !endsTableReference(tokens[next]))
        return std::nullopt;
    if (next > tokens.size())
        return std::nullopt; // "AS" without an alias
    return tokens[from + 1].text;
}

QString unquotedName(const QString &name, const SqlDialect &dialect)
{
    QString result;
    for (const SqlToken &token : sqlTokens(name, dialect)) {
        if (token.kind == SqlTokenKind::QuotedName)
            result += unquotedToken(name, token);
        else
            result += tokenText(name, token);
    }
    return result;
}

QString parameterMarkers(qsizetype count)
{
    QStringList markers;
    for (qsizetype i = 0; i < count; ++i)
        markers << QStringLiteral("?");
    return markers.join(QStringLiteral(", "));
}

} // namespace zarn::dal::sqltext
