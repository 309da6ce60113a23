#include "platform/dal/postgresql/PostgresProvider.h"

#include "platform/Error.h"
#include "platform/dal/postgresql/PgConnect.h"
#include "platform/dal/postgresql/PgProcedureCall.h"
#include "platform/dal/postgresql/PgSession.h"
#include "platform/dal/postgresql/PgSql.h"
#include "platform/dal/postgresql/PgStatement.h"

#include <libpq-fe.h>

// The provider over the server's client library. Its parts: the session (PgSession: bounded
// waits for the server; PgConnect: opening a connection), names and SQL texts (PgSql), values
// (PgValues), statements and cursors (PgStatement), procedure calls (PgProcedureCall: the
// function call of one in PgFunctionCall, their batches in PgBatch, and the binary form of a
// batch's parameter arrays in PgBinary).
namespace zarn::dal {
namespace {

class PostgresProvider : public Provider
{
public:
    void open(const ConnectionOptions &options) override
    {
        close();
        m_session = pg::openSession(options);
    }
    void close() override
    {
        if (m_session)
            m_session->close();
        m_session.reset();
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return pg::makeStatement(session(), sql);
    }
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override
    {
        return pg::makeCursor(session(), sql);
    }
    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return pg::makeProcedureCall(session(), name, parameters);
    }
    // The simple protocol runs every statement of the text, dollar-quoted bodies included.
    void executeScript(const QString &sql) override { session()->run(sql.toUtf8()); }

    QString quoteIdentifier(const QString &name) const override { return pg::quotedName(name); }
    const SqlDialect &sqlDialect() const override { return pg::postgresDialect(); }

    QStringList primaryKey(const QString &table) override
    {
        const pg::Result result =
            session()->run("SELECT a.attname FROM pg_index i JOIN pg_attribute a"
                           " ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey)"
                           " WHERE i.indrelid = to_regclass($1) AND i.indisprimary"
                           " ORDER BY array_position(i.indkey::int2[], a.attnum)",
                           {pg::quotedQualifiedName(table).toUtf8()});
        QStringList columns;
        for (int row = 0; row < PQntuples(result.get()); ++row)
            columns << QString::fromUtf8(PQgetvalue(result.get(), row, 0));
        return columns;
    }

    void beginTransaction() override
    {
        session()->run("BEGIN");
        m_session->batchSavepoints() = 0;
    }
    // A transaction in which a statement failed ends in a rollback even when committed; the
    // server reports that as a success, so it is turned into the failure it is.
    void commit() override
    {
        const pg::Result result = pg::commitInDoubtOnLoss([&] { return session()->run("COMMIT"); });
        m_session->batchSavepoints() = 0;
        if (qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) {
            throw DatabaseError(QStringLiteral(
                "The transaction was rolled back because a statement in it had failed."));
        }
    }
    void rollback() override
    {
        session()->run("ROLLBACK");
        m_session->batchSavepoints() = 0;
    }
    void beginReadSnapshot() override
    {
        session()->run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }

private:
    const std::shared_ptr<pg::Session> &session() const
    {
        if (!m_session)
            throw DatabaseError(
                QStringLiteral("The connection to the PostgreSQL server is closed."));
        return m_session;
    }

    std::shared_ptr<pg::Session> m_session;
};

} // namespace

std::unique_ptr<Provider> createPostgresProvider()
{
    return std::make_unique<PostgresProvider>();
}

} // namespace zarn::dal
