#include "platform/dal/Command.h"

#include "platform/Error.h"

#include <algorithm>

namespace zarn::dal {

namespace {

bool sameDeclaration(const Parameter &a, const Parameter &b)
{
    return a.name == b.name && a.type == b.type && a.direction == b.direction && a.size == b.size;
}

bool sameDeclarations(const std::vector<Parameter> &a, const std::vector<Parameter> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameDeclaration);
}

std::vector<Value> valuesOf(const std::vector<Parameter> &parameters)
{
    std::vector<Value> values;
    values.reserve(parameters.size());
    for (const Parameter &parameter : parameters)
        values.push_back(parameter.value);
    return values;
}

} // namespace

Command::Command() = default;
Command::~Command() = default;

void Command::setActiveConnection(Connection &connection)
{
    if (m_connection != &connection)
        invalidate();
    m_connection = &connection;
}

void Command::setCommandText(const QString &text)
{
    if (m_text != text)
        invalidate();
    m_text = text;
}

void Command::setCommandType(CommandTypeEnum type)
{
    if (m_type != type)
        invalidate();
    m_type = type;
}

Parameter Command::CreateParameter(const QString &name, DataTypeEnum type,
                                   ParameterDirectionEnum direction, int size)
{
    Parameter parameter;
    parameter.name = name;
    parameter.type = type;
    parameter.direction = direction;
    parameter.size = size;
    return parameter;
}

void Command::AppendParameter(Parameter parameter)
{
    m_parameters.push_back(std::move(parameter));
}

Parameter &Command::Parameters(int index)
{
    if (index < 0 || index >= ParameterCount())
        throw Error(3265, QStringLiteral("Item cannot be found in the collection corresponding to "
                                         "the requested name or ordinal."));
    return m_parameters[static_cast<std::size_t>(index)];
}

void Command::ensurePrepared()
{
    if (m_connection == nullptr)
        throw Error(3709, QStringLiteral("The connection cannot be used to perform this "
                                         "operation. It is either closed or invalid in this "
                                         "context."));
    Provider &provider = m_connection->provider();
    if (!isPreparedFor(*m_connection))
        prepare(provider);
}

void Command::Execute()
{
    ensurePrepared();
    if (m_procedure) {
        m_procedure->execute(m_parameters);
        return;
    }
    m_statement->execute(valuesOf(m_parameters));
    // Rows that a text command returns are not wanted, but are read to the end so that the
    // statement finishes on the server.
    while (m_statement->fetch()) {
    }
}

void Command::Queue()
{
    if (m_type != adCmdStoredProc)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("Only stored-procedure commands can be queued."));
    ensurePrepared();
    m_procedure->queue(m_parameters);
}

void Command::QueueRead()
{
    if (m_type != adCmdStoredProc)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("Only stored-procedure commands can be queued."));
    ensurePrepared();
    m_procedure->queueRead(m_parameters);
}

std::vector<std::vector<Value>> Command::FetchRead()
{
    return m_procedure ? m_procedure->fetchRead() : std::vector<std::vector<Value>>();
}

void Command::Flush()
{
    if (m_procedure)
        m_procedure->flush();
}

void Command::flushAndCommit()
{
    if (!m_connection)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("The command has no active connection."));
    Provider &provider = m_connection->provider();
    if (m_procedure && isPreparedFor(*m_connection))
        m_procedure->flushAndCommit(provider);
    else
        provider.commit();
}

void Command::invalidate()
{
    m_statement.reset();
    m_procedure.reset();
    m_preparedOn = 0;
    m_preparedParameters.clear();
}

bool Command::isPreparedFor(const Connection &connection) const
{
    return (m_statement || m_procedure) && m_preparedOn == connection.openSerial() &&
           sameDeclarations(m_preparedParameters, m_parameters);
}

void Command::prepare(Provider &provider)
{
    invalidate();
    if (m_type == adCmdStoredProc)
        m_procedure = provider.prepareProcedure(m_text, m_parameters);
    else
        m_statement = provider.prepare(m_text);
    m_preparedOn = m_connection->openSerial();
    m_preparedParameters = m_parameters;
}

} // namespace zarn::dal
