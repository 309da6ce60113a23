#include "platform/dal/odbc/OdbcStatement.h"

#include "platform/Error.h"
#include "platform/dal/odbc/OdbcValues.h"

#include <algorithm>
#include <sql.h>
#include <sqlext.h>
#include <vector>

namespace zarn::dal::odbc {

namespace {

class OdbcStatement : public Statement
{
public:
    OdbcStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_handle(std::move(session))
    {
        m_handle.prepare(sql);
        SQLSMALLINT markers = 0;
        m_handle.check(SQLNumParams(m_handle.get(), &markers));
        m_markers = markers;
    }

    void execute(const std::vector<Value> &params) override
    {
        m_handle.reset();
        m_rows.clear();
        m_rowsAffected = 0;
        if (params.size() != static_cast<std::size_t>(m_markers)) {
            throw DatabaseError(QStringLiteral("The statement takes %1 parameters, but %2 were "
                                               "given.")
                                    .arg(m_markers)
                                    .arg(params.size()));
        }
        m_parameters.clear();
        m_parameters.reserve(params.size()); // the buffers stay where they were bound
        for (const Value &value : params)
            m_parameters.push_back(ParameterBuffer::forValue(value));
        for (std::size_t i = 0; i < m_parameters.size(); ++i)
            m_parameters[i].bind(m_handle, static_cast<int>(i) + 1, SQL_PARAM_INPUT);
        if (m_handle.execute() != SQL_NO_DATA) {
            SQLLEN rows = 0;
            m_handle.check(SQLRowCount(m_handle.get(), &rows));
            m_rowsAffected = std::max<SQLLEN>(rows, 0);
        }
        m_handle.watched([&] { m_rows.describe(m_handle); });
    }
    // A row may come from the server (a cursor's next batch).
    bool fetch() override
    {
        return m_handle.watched([&] { return m_rows.next(m_handle); });
    }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.value(column); }
    long long rowsAffected() const override { return m_rowsAffected; }

private:
    StatementHandle m_handle;
    int m_markers = 0;
    std::vector<ParameterBuffer> m_parameters;
    ResultRows m_rows;
    long long m_rowsAffected = 0;
};

} // namespace

std::unique_ptr<Statement> prepareStatement(std::shared_ptr<Session> session, const QString &sql)
{
    return std::make_unique<OdbcStatement>(std::move(session), sql);
}

} // namespace zarn::dal::odbc
