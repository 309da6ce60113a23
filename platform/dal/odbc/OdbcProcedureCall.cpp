#include "platform/dal/odbc/OdbcProcedureCall.h"

#include "platform/Error.h"
#include "platform/dal/odbc/OdbcValues.h"

#include <QStringList>
#include <sql.h>
#include <sqlext.h>
#include <utility>

namespace zarn::dal::odbc {
namespace {

QString procedureCallText(const QString &name, std::size_t parameters)
{
    if (parameters == 0)
        return QStringLiteral("{CALL %1}").arg(name);
    QStringList markers;
    for (std::size_t i = 0; i < parameters; ++i)
        markers << QStringLiteral("?");
    return QStringLiteral("{CALL %1(%2)}").arg(name, markers.join(u','));
}

// Queued calls run one by one at flush (the default of ProcedureCall): psqlODBC takes parameter
// arrays, but marks no failing call in the row status array, and what a failed array leaves
// behind differs with the driver's own savepoints, so the calls before a failing one could not
// be told exactly.
class OdbcProcedureCall : public ProcedureCall
{
public:
    OdbcProcedureCall(std::shared_ptr<Session> session, const QString &name,
                      const std::vector<Parameter> &parameters)
        : m_handle(std::move(session)), m_name(name), m_parameterCount(parameters.size())
    {
        m_handle.prepare(procedureCallText(name, parameters.size()));
    }

    void execute(std::vector<Parameter> &parameters) override
    {
        checkCount(parameters.size());
        m_handle.reset();
        m_buffers.clear();
        m_buffers.reserve(parameters.size()); // the buffers stay where they were bound
        for (const Parameter &parameter : parameters)
            m_buffers.push_back(ParameterBuffer::forDeclared(parameter));
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            m_buffers[i].bind(m_handle, static_cast<int>(i) + 1,
                              parameters[i].direction == adParamOutput ? SQL_PARAM_OUTPUT
                                                                       : SQL_PARAM_INPUT);
        }
        m_handle.check(SQLExecute(m_handle.get()));
        // Output parameters are set once every result of the call has been read.
        m_handle.finishResults();
        m_handle.closeCursor();
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (parameters[i].direction == adParamOutput)
                parameters[i].value = m_buffers[i].outputValue(parameters[i].name);
        }
    }

private:
    void checkCount(std::size_t given) const
    {
        if (given != m_parameterCount) {
            throw DatabaseError(QStringLiteral("Stored procedure %1 was prepared with %2 "
                                               "parameters, but %3 were given.")
                                    .arg(m_name)
                                    .arg(m_parameterCount)
                                    .arg(given));
        }
    }

    StatementHandle m_handle;
    QString m_name;
    std::size_t m_parameterCount;
    std::vector<ParameterBuffer> m_buffers;
};

} // namespace

std::unique_ptr<ProcedureCall> prepareProcedureCall(std::shared_ptr<Session> session,
                                                    const QString &name,
                                                    const std::vector<Parameter> &parameters)
{
    return std::make_unique<OdbcProcedureCall>(std::move(session), name, parameters);
}

} // namespace zarn::dal::odbc
