#pragma once

// The prepared statements and cursors of the PostgreSQL provider.

#include "platform/dal/postgresql/PgSession.h"
#include "platform/dal/postgresql/PgValues.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace zarn::dal::pg {

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
    // Runs one execution with parameters in binary form and waits for its result.
    Result runBinary(const std::vector<QByteArray> &parameters) const;

private:
    std::shared_ptr<Session> m_session;
    QByteArray m_name;
};

std::unique_ptr<Statement> makeStatement(const std::shared_ptr<Session> &session,
                                         const QString &sql);
// Rows through a server-side cursor, a batch per round trip.
std::unique_ptr<Statement> makeCursor(const std::shared_ptr<Session> &session, const QString &sql);

} // namespace zarn::dal::pg
