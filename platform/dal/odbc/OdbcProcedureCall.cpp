#include "platform/dal/odbc/OdbcProcedureCall.h"

#include "platform/Error.h"
#include "platform/dal/odbc/OdbcParameterArray.h"
#include "platform/dal/odbc/OdbcValues.h"

#include <QStringList>
#include <algorithm>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <utility>

namespace zarn::dal::odbc {
namespace {

DatabaseError unreadableOutput(const Parameter &parameter, const QString &text)
{
    return DatabaseError(QStringLiteral("The driver gave output parameter %1 the value \"%2\", "
                                        "which is not of its type.")
                             .arg(parameter.name, text));
}

Value declaredText(const Parameter &parameter, const QString &text)
{
    if (parameter.size > 0 && text.size() > parameter.size)
        throw DatabaseError(QStringLiteral("The value of output parameter %1 is longer than its "
                                           "declared size of %2.")
                                .arg(parameter.name)
                                .arg(parameter.size));
    return Value(text);
}

Value dateTimeText(const Parameter &parameter, const QString &text)
{
    if (text.isEmpty())
        return Value::null();
    if (const std::optional<DateTime> stamp = DateTime::parseIso(text))
        return Value(*stamp);
    throw unreadableOutput(parameter, text);
}

Value numberText(const Parameter &parameter, const QString &text)
{
    if (const std::optional<double> number = parseNumber(text))
        return Value(*number);
    throw unreadableOutput(parameter, text);
}

QString procedureCallText(const QString &name, std::size_t parameters)
{
    if (parameters == 0)
        return QStringLiteral("{CALL %1}").arg(name);
    QStringList markers;
    for (std::size_t i = 0; i < parameters; ++i)
        markers << QStringLiteral("?");
    return QStringLiteral("{CALL %1(%2)}").arg(name, markers.join(u','));
}

// An output as its declared type: a text from the buffers is converted here, and an empty text
// of a parameter that is no text is Null, as a driver gives a Null output in its buffer.
Value ofDeclaredType(const Parameter &parameter, const Value &value)
{
    if (value.isNull() || value.isEmpty())
        return Value::null();
    const bool fromText = value.kind() == Value::Kind::Text;
    switch (parameter.type) {
    case adVarChar:
    case adVarWChar:
        return declaredText(parameter, value.toText());
    case adDate:
        return fromText ? dateTimeText(parameter, value.toText()) : Value(value.toDateTime());
    default:
        break;
    }
    if (fromText && value.toText().isEmpty())
        return Value::null();
    const Value number = fromText ? numberText(parameter, value.toText()) : value;
    switch (parameter.type) {
    case adSmallInt:
        return Value(number.toInt16());
    case adInteger:
        return Value(number.toInt32());
    case adBoolean:
        return Value(number.toBool());
    default:
        return Value(number.toDouble());
    }
}

// Calls per parameter array. Measured through psqlODBC (20,000 calls): 6 s in arrays of one,
// 2.5-2.9 s in arrays of anything from 50 to 5,000; a failing array costs the replay of its
// calls one by one, so the size stays well inside that range.
constexpr std::size_t arrayCalls = 500;

// The driver takes parameter arrays when it keeps the array size that the statement is given.
bool takesParameterArrays(const StatementHandle &statement)
{
    const SQLRETURN rc = SQLSetStmtAttr(statement.get(), SQL_ATTR_PARAMSET_SIZE,
                                        reinterpret_cast<SQLPOINTER>(SQLULEN{arrayCalls}), 0);
    if (!SQL_SUCCEEDED(rc))
        return false;
    SQLULEN kept = 0;
    statement.check(
        SQLGetStmtAttr(statement.get(), SQL_ATTR_PARAMSET_SIZE, &kept, sizeof kept, nullptr));
    return kept == arrayCalls;
}

// Queued calls go as parameter arrays where the driver takes them, one by one otherwise. A
// driver need not say which call of a failed array failed, nor leave the calls before it in
// place (psqlODBC does neither), so a failed array is found out by rolling the transaction back,
// running the arrays before it again and then its own calls one by one.
class OdbcProcedureCall : public ProcedureCall
{
public:
    OdbcProcedureCall(std::shared_ptr<Session> session, const QString &name,
                      const std::vector<Parameter> &parameters)
        : m_handle(session), m_arrayHandle(session), m_name(name),
          m_parameterCount(parameters.size())
    {
        m_handle.prepare(procedureCallText(name, parameters.size()));
        m_takesArrays = takesParameterArrays(m_arrayHandle);
        if (m_takesArrays)
            m_arrayHandle.prepare(procedureCallText(name, parameters.size()));
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
        m_handle.execute();
        const std::optional<std::vector<Value>> row = outputRow(parameters);
        // Output buffers are filled once every result of the call has been read.
        m_handle.finishResults();
        m_handle.closeCursor();
        std::size_t output = 0;
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            Parameter &parameter = parameters[i];
            if (parameter.direction != adParamOutput)
                continue;
            const Value value = row ? (*row)[output++] : m_buffers[i].outputText(parameter.name);
            parameter.value = ofDeclaredType(parameter, value);
        }
    }

    void flush() override
    {
        const QueuedCalls calls = takeQueued();
        const bool inputsOnly = std::all_of(
            calls.declarations.begin(), calls.declarations.end(),
            [](const Parameter &parameter) { return parameter.direction == adParamInput; });
        std::size_t done = 0;
        while (m_takesArrays && inputsOnly && done < calls.inputs.size())
            done = runArray(calls, done);
        executeEach(calls, done, calls.inputs.size());
    }

private:
    // Outputs come back by one of two roads. psqlODBC and MariaDB Connector/ODBC hand them back
    // as the call's result row, typed, with their Nulls (MariaDB Connector/ODBC writes the bound
    // buffers as 8-bit text whatever C type was bound, and leaves a Null's indicator as it was):
    // they are read from that row, Null where the call gave none. A driver that gives no such
    // row fills the bound buffers, bound as text.
    std::optional<std::vector<Value>> outputRow(const std::vector<Parameter> &parameters)
    {
        const auto outputs = static_cast<std::size_t>(
            std::count_if(parameters.begin(), parameters.end(), [](const Parameter &parameter) {
                return parameter.direction == adParamOutput;
            }));
        ResultRows result;
        m_handle.watched([&] { result.describe(m_handle); });
        if (outputs == 0 || static_cast<std::size_t>(result.columnCount()) != outputs)
            return std::nullopt;
        std::vector<Value> row(outputs, Value::null());
        if (m_handle.watched([&] { return result.next(m_handle); })) {
            for (std::size_t k = 0; k < outputs; ++k)
                row[k] = result.value(static_cast<int>(k));
        }
        return row;
    }

    // Runs the array of calls from `from` on; gives where the next array begins. Throws
    // BatchError at a call that does not fit or fails.
    std::size_t runArray(const QueuedCalls &calls, std::size_t from)
    {
        ParameterArray array(calls.declarations, calls.inputs, from, nextArrayEnd(calls, from));
        if (array.size() > 0 && !executeArray(array))
            return findFailingCall(calls, from);
        if (const auto &failure = array.conversionFailure())
            throw BatchError(DatabaseError(*failure), from + array.size());
        return from + array.size();
    }

    static std::size_t nextArrayEnd(const QueuedCalls &calls, std::size_t from)
    {
        return std::min(calls.inputs.size(), from + arrayCalls);
    }

    bool executeArray(ParameterArray &array)
    {
        m_arrayHandle.reset();
        array.bind(m_arrayHandle);
        try {
            m_arrayHandle.execute();
            m_arrayHandle.finishResults();
        } catch (const DatabaseError &) {
            if (!m_arrayHandle.session()->isConnected())
                throw;    // a lost connection leaves no call to look into
            return false; // the call that fails alone names the failure
        }
        m_arrayHandle.closeCursor();
        return array.everyCallSucceeded();
    }

    // The array from `failedFrom` on failed: rolls back, runs the arrays before it again (one
    // of which may fail this time, and is then looked into instead) and its calls one by one,
    // which throws BatchError at the failing call. Where every call succeeds alone, the driver
    // cannot run this procedure in arrays: the calls after it go one by one.
    std::size_t findFailingCall(const QueuedCalls &calls, std::size_t failedFrom)
    {
        for (bool again = true; again;) {
            again = false;
            rollBack(failedFrom);
            for (std::size_t from = 0; from < failedFrom && !again;) {
                ParameterArray array(calls.declarations, calls.inputs, from,
                                     std::min(failedFrom, from + arrayCalls));
                again = !executeArray(array);
                if (again)
                    failedFrom = from;
                from += array.size();
            }
        }
        const std::size_t failedTo = nextArrayEnd(calls, failedFrom);
        executeEach(calls, failedFrom, failedTo);
        m_takesArrays = false;
        return failedTo;
    }

    // Undoes the transaction, which holds this flush's calls only; a connection that cannot do
    // even that fails the first call not known to be stored.
    void rollBack(std::size_t failedFrom)
    {
        try {
            m_arrayHandle.session()->endTransaction(SQL_ROLLBACK);
        } catch (const ConnectionLostError &) {
            throw;
        } catch (const DatabaseError &e) {
            throw BatchError(e, failedFrom);
        }
    }

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
    StatementHandle m_arrayHandle; // prepared where the driver takes arrays
    bool m_takesArrays = false;
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
