#pragma once

// SQL texts, parameter values and result values of the PostgreSQL provider, and its prepared
// statements and cursors.

#include "platform/dal/postgresql/PgSession.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace zarn::dal::pg {

// A name quoted for the server, folded to lower case as an unquoted name would be.
QString quotedName(const QString &name);
// A possibly schema-qualified name ("name" or "schema.name") quoted part by part.
QString quotedQualifiedName(const QString &name);

// The server's SQL: dollar-quoted bodies, E'' literals with backslash escapes, comments that
// nest, and no backtick quotes.
const SqlDialect &postgresDialect();

// "?" placeholders become $1..$n and [Name] becomes "name", outside string literals, quoted
// identifiers, dollar-quoted bodies and comments.
struct TranslatedSql
{
    QString text;
    int parameterCount = 0;
};
TranslatedSql translateSql(const QString &sql);

// The text form of a value as a parameter; nothing for Null and Empty.
std::optional<QByteArray> parameterText(const Value &value);

// The parameter values of one execution in the form the client library takes them: every
// parameter goes as text and the server converts it to the type that the statement gives it.
class ParameterTexts
{
public:
    void add(const Value &value) { m_texts.push_back(parameterText(value)); }

    int count() const { return static_cast<int>(m_texts.size()); }
    // Valid until the next add.
    const char *const *values();

private:
    std::vector<std::optional<QByteArray>> m_texts;
    std::vector<const char *> m_pointers;
};

ParameterTexts parameterTexts(const std::vector<Value> &values);

// A column of a result row as a value of the column's own kind.
Value fieldValue(const PGresult *result, int row, int column);

// A statement prepared at protocol level once and deallocated with its owner. Without
// parameter types the server infers each parameter's type from the statement.
class PreparedStatement
{
public:
    PreparedStatement(std::shared_ptr<Session> session, const QString &sql,
                      const std::vector<Oid> &parameterTypes = {});
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement &) = delete;
    PreparedStatement &operator=(const PreparedStatement &) = delete;

    Result run(ParameterTexts &parameters) const;
    // Sends one execution without waiting for its result (pipeline mode); throws DatabaseError
    // when it could not be sent.
    void send(ParameterTexts &parameters) const;
    // The same with parameters in binary form.
    void sendBinary(const std::vector<QByteArray> &parameters) const;

private:
    std::shared_ptr<Session> m_session;
    QByteArray m_name;
};

std::unique_ptr<Statement> makeStatement(const std::shared_ptr<Session> &session,
                                         const QString &sql);
// Rows through a server-side cursor, a batch per round trip.
std::unique_ptr<Statement> makeCursor(const std::shared_ptr<Session> &session, const QString &sql);

} // namespace zarn::dal::pg
