#include "platform/dal/postgresql/PgSql.h"

#include <QStringList>

namespace zarn::dal::pg {

// The name folded as the server folds an unquoted one, which lowers ASCII letters only, and
// quoted.
QString quotedName(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    folded.replace(u'"', QStringLiteral("\"\""));
    return u'"' + folded + u'"';
}

const SqlDialect &postgresDialect()
{
    static const SqlDialect dialect = [] {
        SqlDialect d;
        d.backtickNames = false;
        d.escapeStrings = true;
        d.dollarQuotes = true;
        d.nestedComments = true;
        return d;
    }();
    return dialect;
}

TranslatedSql translateSql(const QString &sql)
{
    TranslatedSql out;
    out.text.reserve(sql.size() + 16);
    for (const SqlToken &token : sqlTokens(sql, postgresDialect())) {
        if (token.kind == SqlTokenKind::Placeholder)
            out.text += u'$' + QString::number(++out.parameterCount);
        else if (token.kind == SqlTokenKind::QuotedName && sql[token.start] == u'[')
            out.text += quotedName(unquotedToken(sql, token));
        else
            out.text += tokenText(sql, token);
    }
    return out;
}

// A possibly schema-qualified name ("name" or "schema.name") quoted part by part.
QString quotedQualifiedName(const QString &name)
{
    QStringList parts = name.split(u'.');
    for (QString &part : parts)
        part = quotedName(part.trimmed());
    return parts.join(u'.');
}

} // namespace zarn::dal::pg
