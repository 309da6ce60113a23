#pragma once

#include <QString>
#include <QStringView>
#include <vector>

// The one reader of SQL texts in the database access layer: it cuts a text into tokens by the
// rules of a server's dialect, so that every translation and every split leaves literals,
// quoted names and comments alone.
namespace zarn::dal {

// What a server's SQL text may hold beyond plain words, 'literals', "names" and comments. A
// value, so that a provider that learns its server's dialect at run time (ODBC) can form it
// then. The defaults are the texts as SQLite reads them, which take every name quote.
struct SqlDialect
{
    bool bracketNames = true;      // [Name] quotes a name; the texts of the system write them
    bool doubleQuotedNames = true; // "Name" quotes a name; otherwise "..." is a literal
    bool backtickNames = true;     // `Name` quotes a name
    bool backslashEscapes = false; // a backslash escapes the next character in every literal
    bool escapeStrings = false;    // E'...' is a literal in which a backslash escapes
    bool dollarQuotes = false;     // $$...$$ and $tag$...$tag$ are literals
    bool nestedComments = false;   // /* ... */ nests
    bool hashComments = false;     // # starts a comment that runs to the end of the line
};

enum class SqlTokenKind {
    Blank,       // white space
    Comment,     // a line comment with its line break, or a block comment
    Literal,     // a quoted text or a dollar-quoted body
    QuotedName,  // a name in brackets or in the dialect's name quotes
    Word,        // a keyword, an unquoted name, a number, a numbered parameter ($1)
    Placeholder, // "?"
    Symbol       // any other character
};

struct SqlToken
{
    SqlTokenKind kind;
    qsizetype start;
    qsizetype end; // one past the token

    qsizetype size() const { return end - start; }
};

// The tokens of a text, in order, covering it whole. A quote or a comment that is not closed
// runs to the end of the text; a "[" that is not closed is a symbol.
std::vector<SqlToken> sqlTokens(const QString &sql, const SqlDialect &dialect);

// A token's text.
inline QStringView tokenText(const QString &sql, const SqlToken &token)
{
    return QStringView(sql).mid(token.start, token.size());
}

// A quoted name without its quotes; a doubled closing quote inside stands for one. An
// unclosed name gives what follows its opening quote.
QString unquotedToken(const QString &sql, const SqlToken &token);

// True for a line comment that the text ends without a line break: a clause that a driver
// appends to the text would fall into it.
bool isUnendedLineComment(const QString &sql, const SqlToken &token);

} // namespace zarn::dal
