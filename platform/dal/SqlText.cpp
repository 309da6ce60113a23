#include "platform/dal/SqlText.h"

#include <vector>

namespace zarn::dal::sqltext {

namespace {

enum class TokenKind { Word, QuotedName, Literal, Symbol };

struct Token
{
    TokenKind kind;
    QString text;
    qsizetype start;
    int depth; // parentheses around the token; "(" and ")" count as outside
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') ||
           c == QLatin1Char('#') || c == QLatin1Char('@');
}

QChar closingQuoteOf(QChar opening)
{
    return opening == QLatin1Char('[') ? QLatin1Char(']') : opening;
}

bool isNameQuote(QChar c)
{
    return c == QLatin1Char('[') || c == QLatin1Char('"') || c == QLatin1Char('`');
}

// Splits SQL text into tokens, skipping blanks and comments. A dotted name such as
// [dbo].[t] is one token.
class Scanner
{
public:
    explicit Scanner(const QString &sql) : m_sql(sql) {}

    std::vector<Token> tokens()
    {
        std::vector<Token> result;
        for (skipBlanksAndComments(); !atEnd(); skipBlanksAndComments())
            result.push_back(nextToken());
        return result;
    }

private:
    bool atEnd() const { return m_pos >= m_sql.size(); }
    QChar at(qsizetype pos) const { return pos < m_sql.size() ? m_sql.at(pos) : QChar(); }

    void skipBlanksAndComments()
    {
        while (!atEnd()) {
            if (at(m_pos).isSpace()) {
                ++m_pos;
            } else if (at(m_pos) == QLatin1Char('-') && at(m_pos + 1) == QLatin1Char('-')) {
                const qsizetype end = m_sql.indexOf(QLatin1Char('\n'), m_pos);
                m_pos = end < 0 ? m_sql.size() : end + 1;
            } else if (at(m_pos) == QLatin1Char('/') && at(m_pos + 1) == QLatin1Char('*')) {
                const qsizetype end = m_sql.indexOf(QStringLiteral("*/"), m_pos + 2);
                m_pos = end < 0 ? m_sql.size() : end + 2;
            } else {
                return;
            }
        }
    }

    Token nextToken()
    {
        const qsizetype start = m_pos;
        const QChar c = at(m_pos);
        if (c == QLatin1Char('\'')) {
            skipQuoted(c);
            return token(TokenKind::Literal, start);
        }
        if (isNameQuote(c) || isWordChar(c)) {
            const TokenKind kind = readDottedName();
            return token(kind, start);
        }
        ++m_pos;
        if (c == QLatin1Char('(')) {
            Token open = token(TokenKind::Symbol, start);
            ++m_depth;
            return open;
        }
        if (c == QLatin1Char(')') && m_depth > 0)
            --m_depth;
        return token(TokenKind::Symbol, start);
    }

    Token token(TokenKind kind, qsizetype start) const
    {
        return Token{kind, m_sql.mid(start, m_pos - start), start, m_depth};
    }

    // Moves past a quoted text that starts at the current position; a doubled closing quote
    // stands for one. An unterminated quote runs to the end.
    void skipQuoted(QChar opening)
    {
        const QChar closing = closingQuoteOf(opening);
        ++m_pos;
        while (!atEnd()) {
            if (at(m_pos) == closing) {
                if (at(m_pos + 1) != closing) {
                    ++m_pos;
                    return;
                }
                ++m_pos;
            }
            ++m_pos;
        }
    }

    TokenKind readDottedName()
    {
        bool quoted = false;
        for (;;) {
            if (isNameQuote(at(m_pos))) {
                skipQuoted(at(m_pos));
                quoted = true;
            } else {
                while (!atEnd() && isWordChar(at(m_pos)))
                    ++m_pos;
            }
            if (at(m_pos) != QLatin1Char('.') ||
                !(isNameQuote(at(m_pos + 1)) || isWordChar(at(m_pos + 1))))
                return quoted ? TokenKind::QuotedName : TokenKind::Word;
            ++m_pos; // the "."
        }
    }

    const QString &m_sql;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

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

std::vector<Token> topLevelTokens(const QString &sql)
{
    std::vector<Token> result;
    for (Token &token : Scanner(sql).tokens()) {
        if (token.depth == 0)
            result.push_back(std::move(token));
    }
    return result;
}

} // namespace

QStringList splitStatements(const QString &script)
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
    for (const Token &token : Scanner(script).tokens()) {
        if (isSymbol(token, ';'))
            endPiece(token.start);
        else
            pieceHasTokens = true;
    }
    endPiece(script.size());
    return statements;
}

std::optional<QString> singleTableOf(const QString &select)
{
    const std::vector<Token> tokens = topLevelTokens(select);
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

QString unquotedName(const QString &name)
{
    QString result;
    QChar closing;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (closing.isNull() && isNameQuote(c)) {
            closing = closingQuoteOf(c);
        } else if (!closing.isNull() && c == closing) {
            if (i + 1 < name.size() && name.at(i + 1) == closing)
                result += name.at(++i);
            else
                closing = QChar();
        } else {
            result += c;
        }
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
