#include "platform/dal/postgresql/PgStatement.h"

#include "platform/Error.h"
#include "platform/dal/postgresql/PgSql.h"

#include <cstdlib>
#include <libpq-fe.h>
#include <utility>

namespace zarn::dal::pg {

namespace {

// Rows per round trip of a streamed statement: few round trips, flat memory.
constexpr int cursorBatchRows = 10000;

} // namespace

PreparedStatement::PreparedStatement(std::shared_ptr<Session> session, const QString &sql,
                                     const std::vector<Oid> &parameterTypes)
    : m_session(std::move(session)), m_name(m_session->newName("zarn_statement_"))
{
    m_session->sent(PQsendPrepare(m_session->connection(), m_name.constData(),
                                  sql.toUtf8().constData(), static_cast<int>(parameterTypes.size()),
                                  parameterTypes.empty() ? nullptr : parameterTypes.data()));
    m_session->lastResult();
}

PreparedStatement::~PreparedStatement()
{
    if (m_session->canCleanUp())
        m_session->runQuietly("DEALLOCATE " + m_name);
}

Result PreparedStatement::run(ParameterTexts &parameters) const
{
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        parameters.count(), parameters.values(), nullptr, nullptr,
                                        0));
    return m_session->lastResult();
}

void PreparedStatement::send(ParameterTexts &parameters) const
{
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        parameters.count(), parameters.values(), nullptr, nullptr,
                                        0));
}

void PreparedStatement::sendBinary(const std::vector<QByteArray> &parameters) const
{
    std::vector<const char *> values;
    std::vector<int> lengths, formats(parameters.size(), 1);
    for (const QByteArray &parameter : parameters) {
        values.push_back(parameter.constData());
        lengths.push_back(static_cast<int>(parameter.size()));
    }
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        static_cast<int>(parameters.size()), values.data(),
                                        lengths.data(), formats.data(), 0));
}

Result PreparedStatement::runBinary(const std::vector<QByteArray> &parameters) const
{
    sendBinary(parameters);
    return m_session->lastResult();
}

namespace {

// Reading the rows of a result that the statement holds.
class ResultRows
{
public:
    void reset(Result result)
    {
        m_result = std::move(result);
        m_row = -1;
    }
    bool next() { return ++m_row < rowCount(); }
    int rowCount() const { return m_result ? PQntuples(m_result.get()) : 0; }
    int columnCount() const { return m_result ? PQnfields(m_result.get()) : 0; }
    QString columnName(int column) const
    {
        checkColumn(column);
        return QString::fromUtf8(PQfname(m_result.get(), column));
    }
    Value columnValue(int column) const
    {
        checkColumn(column);
        if (m_row < 0 || m_row >= rowCount())
            throw DatabaseError(QStringLiteral("There is no current row."));
        return fieldValue(m_result.get(), m_row, column);
    }
    PGresult *result() const { return m_result.get(); }

private:
    void checkColumn(int column) const
    {
        if (column < 0 || column >= columnCount())
            throw DatabaseError(QStringLiteral("There is no column %1.").arg(column));
    }

    Result m_result;
    int m_row = -1;
};

class PostgresStatement : public Statement
{
public:
    PostgresStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_prepared(std::move(session), translateSql(sql).text)
    {}

    void execute(const std::vector<Value> &params) override
    {
        ParameterTexts texts = parameterTexts(params);
        m_rows.reset(m_prepared.run(texts));
    }
    bool fetch() override { return m_rows.next(); }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override
    {
        const char *count = m_rows.result() ? PQcmdTuples(m_rows.result()) : "";
        return *count ? std::atoll(count) : 0;
    }

private:
    PreparedStatement m_prepared;
    ResultRows m_rows;
};

// A statement whose rows come through a server-side cursor, a batch per round trip. The cursor
// lives in the caller's transaction (the read snapshot), and between batches the connection is
// free for other statements.
class PostgresCursor : public Statement
{
public:
    PostgresCursor(const std::shared_ptr<Session> &session, const QString &sql)
        : m_session(session), m_name(session->newName("zarn_cursor_")),
          m_declare(session, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2")
                                 .arg(QLatin1String(m_name), translateSql(sql).text))
    {}
    ~PostgresCursor() override
    {
        if (m_open && m_session->canCleanUp() && cursorExists())
            m_session->runQuietly("CLOSE " + m_name);
    }

    void execute(const std::vector<Value> &params) override
    {
        if (m_open && cursorExists())
            closeCursor();
        ParameterTexts texts = parameterTexts(params);
        m_declare.run(texts);
        m_open = true;
        fetchBatch();
    }
    bool fetch() override
    {
        if (m_rows.next())
            return true;
        if (!m_open)
            return false;
        fetchBatch();
        return m_rows.next();
    }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override { return 0; }

private:
    void fetchBatch()
    {
        m_rows.reset(m_session->run("FETCH FORWARD " + QByteArray::number(cursorBatchRows) +
                                    " FROM " + m_name));
        if (m_rows.rowCount() < cursorBatchRows)
            closeCursor();
    }
    void closeCursor()
    {
        m_open = false;
        m_session->run("CLOSE " + m_name);
    }
    // The transaction that held the cursor may have ended, and the cursor with it.
    bool cursorExists()
    {
        const QByteArray query = "SELECT 1 FROM pg_cursors WHERE name = '" + m_name + "'";
        try {
            return PQntuples(m_session->run(query).get()) == 1;
        } catch (const DatabaseError &) {
            return false;
        }
    }

    std::shared_ptr<Session> m_session;
    QByteArray m_name;
    PreparedStatement m_declare;
    ResultRows m_rows;
    bool m_open = false;
};

} // namespace

std::unique_ptr<Statement> makeStatement(const std::shared_ptr<Session> &session,
                                         const QString &sql)
{
    return std::make_unique<PostgresStatement>(session, sql);
}

std::unique_ptr<Statement> makeCursor(const std::shared_ptr<Session> &session, const QString &sql)
{
    return std::make_unique<PostgresCursor>(session, sql);
}

} // namespace zarn::dal::pg
