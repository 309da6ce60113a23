#include "platform/dal/odbc/OdbcDialect.h"

#include "platform/dal/SqlText.h"

#include <sql.h>
#include <sqlext.h>

namespace zarn::dal::odbc {

namespace {

// The version's major and minor numbers, as "10.11.000019" gives 10 and 11.
std::pair<int, int> majorAndMinor(const QString &version)
{
    const QStringList parts = version.split(u'.');
    return {parts.value(0).toInt(), parts.value(1).toInt()};
}

bool named(const ServerInfo &server, const char *name)
{
    return server.dbmsName.contains(QLatin1String(name), Qt::CaseInsensitive);
}

} // namespace

Dialect::Dialect(const ServerInfo &server)
    : m_quote(server.identifierQuote.trimmed()),
      m_folding(server.identifierCase == SQL_IC_LOWER   ? CaseFolding::Lower
                : server.identifierCase == SQL_IC_UPPER ? CaseFolding::Upper
                                                        : CaseFolding::Kept)
{
    m_sqlDialect.doubleQuotedNames = m_quote == u"\"";
    m_sqlDialect.backtickNames = m_quote == u"`";
    if (named(server, "PostgreSQL")) {
        m_sqlDialect.escapeStrings = true;
        m_sqlDialect.dollarQuotes = true;
        m_sqlDialect.nestedComments = true;
        m_lastInsertedKeyQuery = QStringLiteral("SELECT lastval()");
    } else if (named(server, "MariaDB") || named(server, "MySQL")) {
        // As the servers read texts in their default mode.
        m_sqlDialect.backslashEscapes = true;
        m_sqlDialect.hashComments = true;
        // MariaDB returns an inserted row from 10.5 on; neither returns an updated one.
        const bool insertReturns =
            named(server, "MariaDB") && majorAndMinor(server.dbmsVersion) >= std::pair(10, 5);
        m_insertReturn = insertReturns ? RowReturn::Returning : RowReturn::None;
        m_updateReturn = RowReturn::None;
        m_defaultsOnly = QStringLiteral("() VALUES ()");
        m_lastInsertedKeyQuery = QStringLiteral("SELECT LAST_INSERT_ID()");
    } else if (named(server, "SQL Server")) {
        m_insertReturn = m_updateReturn = RowReturn::OutputInserted;
        m_lastInsertedKeyQuery = QStringLiteral("SELECT SCOPE_IDENTITY()");
    } else {
        // A server that the provider does not know: plain statements, read back by their key.
        m_insertReturn = m_updateReturn = RowReturn::None;
    }
}

QString Dialect::folded(const QString &name) const
{
    switch (m_folding) {
    case CaseFolding::Lower:
        return name.toLower();
    case CaseFolding::Upper:
        return name.toUpper();
    case CaseFolding::Kept:
        break;
    }
    return name;
}

QString Dialect::quoted(const QString &name) const
{
    QString text = folded(name);
    if (m_quote.isEmpty())
        return text;
    text.replace(m_quote, m_quote + m_quote);
    return m_quote + text + m_quote;
}

// A comment on the last line is ended by a line break, since drivers append their own clauses
// to a query (psqlODBC does for its cursors) that such a comment would swallow.
QString Dialect::translated(const QString &sql) const
{
    QString out;
    out.reserve(sql.size());
    for (const SqlToken &token : sqlTokens(sql, m_sqlDialect)) {
        if (token.kind == SqlTokenKind::QuotedName && sql[token.start] == u'[')
            out += quoted(unquotedToken(sql, token));
        else
            out += tokenText(sql, token);
        if (isUnendedLineComment(sql, token))
            out += u'\n';
    }
    return out;
}

RowWriteStatement Dialect::insertRow(const QString &table, const QStringList &columns) const
{
    const QString output = m_insertReturn == RowReturn::OutputInserted
                               ? QStringLiteral(" OUTPUT INSERTED.*")
                               : QString();
    const QString values = columns.isEmpty() ? output + u' ' + m_defaultsOnly
                                             : QStringLiteral(" (%1)%2 VALUES (%3)")
                                                   .arg(columns.join(QStringLiteral(", ")), output,
                                                        sqltext::parameterMarkers(columns.size()));
    const QString returning =
        m_insertReturn == RowReturn::Returning ? QStringLiteral(" RETURNING *") : QString();
    return {QStringLiteral("INSERT INTO ") + table + values + returning,
            m_insertReturn != RowReturn::None};
}

RowWriteStatement Dialect::updateRow(const QString &table, const QStringList &columns,
                                     const QString &condition) const
{
    const QString output = m_updateReturn == RowReturn::OutputInserted
                               ? QStringLiteral(" OUTPUT INSERTED.*")
                               : QString();
    const QString returning =
        m_updateReturn == RowReturn::Returning ? QStringLiteral(" RETURNING *") : QString();
    return {QStringLiteral("UPDATE %1 SET %2 = ?%3 WHERE %4%5")
                .arg(table, columns.join(QStringLiteral(" = ?, ")), output, condition, returning),
            m_updateReturn != RowReturn::None};
}

} // namespace zarn::dal::odbc
