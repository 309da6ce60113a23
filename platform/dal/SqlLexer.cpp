#include "platform/dal/SqlLexer.h"

#include <algorithm>

namespace zarn::dal {

namespace {

class Lexer
{
public:
    Lexer(const QString &sql, const SqlDialect &dialect) : m_sql(sql), m_dialect(dialect) {}

    std::vector<SqlToken> tokens()
    {
        std::vector<SqlToken> result;
        while (m_pos < m_sql.size()) {
            const qsizetype start = m_pos;
            const SqlTokenKind kind = next();
            result.push_back(SqlToken{kind, start, m_pos});
        }
        return result;
    }

private:
    QChar at(qsizetype pos) const { return pos < m_sql.size() ? m_sql[pos] : QChar(); }

    bool isWordChar(QChar c) const
    {
        return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'@' ||
               (c == u'#' && !m_dialect.hashComments);
    }

    // Moves past one token and tells its kind.
    SqlTokenKind next()
    {
        const QChar c = at(m_pos);
        const QChar following = at(m_pos + 1);
        if (c.isSpace()) {
            while (at(m_pos).isSpace())
                ++m_pos;
            return SqlTokenKind::Blank;
        }
        if ((c == u'-' && following == u'-') || (c == u'#' && m_dialect.hashComments))
            return skipLine();
        if (c == u'/' && following == u'*')
            return skipBlockComment();
        if (c == u'\'')
            return skipQuoted(m_dialect.backslashEscapes, SqlTokenKind::Literal);
        if (c == u'"') {
            return m_dialect.doubleQuotedNames
                       ? skipQuoted(false, SqlTokenKind::QuotedName)
                       : skipQuoted(m_dialect.backslashEscapes, SqlTokenKind::Literal);
        }
        if (c == u'`' && m_dialect.backtickNames)
            return skipQuoted(false, SqlTokenKind::QuotedName);
        if (c == u'[' && m_dialect.bracketNames) {
            const qsizetype close = m_sql.indexOf(u']', m_pos + 1);
            if (close > m_pos) {
                m_pos = close + 1;
                return SqlTokenKind::QuotedName;
            }
        }
        if ((c == u'E' || c == u'e') && following == u'\'' && m_dialect.escapeStrings) {
            ++m_pos;
            return skipQuoted(true, SqlTokenKind::Literal);
        }
        if (c == u'$' && m_dialect.dollarQuotes && skipDollarQuoted())
            return SqlTokenKind::Literal;
        if (isWordChar(c)) {
            while (m_pos < m_sql.size() && isWordChar(at(m_pos)))
                ++m_pos;
            return SqlTokenKind::Word;
        }
        ++m_pos;
        return c == u'?' ? SqlTokenKind::Placeholder : SqlTokenKind::Symbol;
    }

    SqlTokenKind skipLine()
    {
        const qsizetype newline = m_sql.indexOf(u'\n', m_pos);
        m_pos = newline < 0 ? m_sql.size() : newline + 1;
        return SqlTokenKind::Comment;
    }

    SqlTokenKind skipBlockComment()
    {
        int depth = 0;
        while (m_pos < m_sql.size()) {
            if (at(m_pos) == u'/' && at(m_pos + 1) == u'*' &&
                (depth == 0 || m_dialect.nestedComments)) {
                ++depth;
                m_pos += 2;
            } else if (at(m_pos) == u'*' && at(m_pos + 1) == u'/') {
                m_pos += 2;
                if (--depth == 0)
                    break;
            } else {
                ++m_pos;
            }
        }
        return SqlTokenKind::Comment;
    }

    // From the opening quote at the current position past the closing one; a doubled quote
    // stands for one, and where backslashes escape, one escapes the character after it.
    SqlTokenKind skipQuoted(bool backslashEscapes, SqlTokenKind kind)
    {
        const QChar quote = at(m_pos);
        ++m_pos;
        while (m_pos < m_sql.size()) {
            const QChar c = at(m_pos);
            if (backslashEscapes && c == u'\\') {
                m_pos += 2;
            } else if (c != quote) {
                ++m_pos;
            } else if (at(m_pos + 1) == quote) {
                m_pos += 2;
            } else {
                ++m_pos;
                break;
            }
        }
        m_pos = std::min(m_pos, m_sql.size());
        return kind;
    }

    // A dollar-quoted body ($$...$$ or $tag$...$tag$) at the current position; false where the
    // "$" opens none (a numbered parameter such as $1).
    bool skipDollarQuoted()
    {
        qsizetype i = m_pos + 1;
        if (at(i).isDigit())
            return false;
        while (i < m_sql.size() && (at(i).isLetterOrNumber() || at(i) == u'_'))
            ++i;
        if (at(i) != u'$')
            return false;
        const QString tag = m_sql.mid(m_pos, i - m_pos + 1);
        const qsizetype close = m_sql.indexOf(tag, i + 1);
        m_pos = close < 0 ? m_sql.size() : close + tag.size();
        return true;
    }

    const QString &m_sql;
    const SqlDialect &m_dialect;
    qsizetype m_pos = 0;
};

} // namespace

std::vector<SqlToken> sqlTokens(const QString &sql, const SqlDialect &dialect)
{
    return Lexer(sql, dialect).tokens();
}

QString unquotedToken(const QString &sql, const SqlToken &token)
{
    const QStringView text = tokenText(sql, token);
    if (text.isEmpty())
        return QString();
    const QChar opening = text.front();
    if (opening == u'[')
        return text.mid(1, text.endsWith(u']') ? text.size() - 2 : -1).toString();
    QString name;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] != opening)
            name += text[i];
        else if (i + 1 < text.size() && text[i + 1] == opening)
            name += text[++i];
        else
            break;
    }
    return name;
}

bool isUnendedLineComment(const QString &sql, const SqlToken &token)
{
    return token.kind == SqlTokenKind::Comment && !tokenText(sql, token).startsWith(u"/*") &&
           token.end == sql.size() && !sql.endsWith(u'\n');
}

} // namespace zarn::dal
