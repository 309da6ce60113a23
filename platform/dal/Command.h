#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/Types.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace zarn::dal {

// A text command or a stored-procedure command with positional parameters. The statement or
// procedure call is prepared at its first execution and reused until the text, the type, the
// connection or the parameter list changes.
class Command
{
public:
    Command();
    ~Command();
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    void setActiveConnection(Connection &connection);
    Connection *activeConnection() const { return m_connection; }
    void setCommandText(const QString &text);
    const QString &commandText() const { return m_text; }
    void setCommandType(CommandTypeEnum type);
    CommandTypeEnum commandType() const { return m_type; }

    static Parameter CreateParameter(const QString &name, DataTypeEnum type,
                                     ParameterDirectionEnum direction, int size = 0);
    void AppendParameter(Parameter parameter);
    int ParameterCount() const { return static_cast<int>(m_parameters.size()); }
    // By position from 0; throws zarn::Error for a position out of range.
    Parameter &Parameters(int index);
    const std::vector<Parameter> &parameters() const { return m_parameters; }

    // Runs the command: a text command with its parameters' values by position, a stored
    // procedure by the server's calling convention, its outputs assigned to the output
    // parameters. Throws DatabaseError; without an active connection, zarn::Error.
    void Execute();

    // A stored procedure called many times in a row whose outputs nobody reads: Queue keeps the
    // inputs' values as they stand, Flush sends every queued call in order and throws
    // BatchError with the number of them that succeeded before the first that failed (see
    // ProcedureCall::queue). Changing the text, type, connection or parameters drops the calls
    // queued before. Queue throws zarn::Error for a text command or without a connection.
    void Queue();
    void Flush();
    // A stored procedure called many times in a row whose outputs are read: QueueRead keeps the
    // inputs' values as they stand, FetchRead sends every call queued since and returns, per
    // call in order, its parameters' values by position, outputs included (see
    // ProcedureCall::queueRead). The command's own parameters keep the values of the last
    // QueueRead. QueueRead throws zarn::Error for a text command or without a connection.
    void QueueRead();
    std::vector<std::vector<Value>> FetchRead();

private:
    // Flush, then the commit of the connection's transaction, which the provider may send with
    // the last queued calls (ProcedureCall::flushAndCommit). Only the transaction commits.
    friend class Transaction;
    void flushAndCommit();

    // Prepares the statement or procedure on the active connection unless it is already.
    void ensurePrepared();
    void invalidate();
    bool isPreparedFor(const Connection &connection) const;
    void prepare(Provider &provider);

    Connection *m_connection = nullptr;
    QString m_text;
    CommandTypeEnum m_type = adCmdText;
    std::vector<Parameter> m_parameters;
    std::unique_ptr<Statement> m_statement;
    std::unique_ptr<ProcedureCall> m_procedure;
    std::uint64_t m_preparedOn = 0;              // the connection's openSerial() when prepared
    std::vector<Parameter> m_preparedParameters; // the parameter list it was prepared with
};

} // namespace zarn::dal
