#pragma once

#include "platform/Error.h"
#include "platform/dal/SqlLexer.h"
#include "platform/dal/Types.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

// The interface every database server's provider implements. Nothing outside the providers
// asks which server it talks to: each difference between servers is one of these hooks.
// A provider's client-library header appears in that provider's .cpp only.
namespace zarn::dal {

class Provider;

// A parsed connection string plus the time-outs of the connection.
struct ConnectionOptions
{
    QMap<QString, QString> keywords; // keyword in lower case, blanks around it removed -> value
    int connectionTimeout = 15;      // seconds; 0 = no limit
    int commandTimeout = 30;         // seconds; 0 = no limit

    // The value of a keyword (case-insensitive), or an empty text.
    QString value(const QString &keyword) const { return keywords.value(keyword.toLower()); }
};

// One prepared statement. SQL texts use "?" for positional parameters and may write a quoted
// name as [Name]; the provider translates both to its server's syntax.
class Statement
{
public:
    virtual ~Statement() = default;

    // Binds the values by position and runs the statement; its rows are then read with fetch().
    // Throws DatabaseError.
    virtual void execute(const std::vector<Value> &params) = 0;
    // Moves to the next row of the last execution; false when there is none.
    virtual bool fetch() = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The value of a column of the current row, in the column's own kind (integers, double,
    // boolean, text, date-time for the server's date-time columns, Null).
    virtual Value columnValue(int column) const = 0;
    // Rows changed by the last execution of an INSERT, UPDATE or DELETE.
    virtual long long rowsAffected() const = 0;
};

// The failure of one of a batch of queued procedure calls: the call's own failure, with the
// number of calls before it that succeeded. A lost connection is raised as it is instead, as
// it leaves no call to look into.
class BatchError : public DatabaseError
{
public:
    BatchError(const DatabaseError &failure, std::size_t succeeded)
        : DatabaseError(failure.description(), failure.sqlState(), failure.nativeCode()),
          m_succeeded(succeeded)
    {}
    // How many of the queued calls before the failing one succeeded.
    std::size_t succeeded() const noexcept { return m_succeeded; }

private:
    std::size_t m_succeeded;
};

// One stored procedure, prepared once with its declared parameter list.
class ProcedureCall
{
public:
    virtual ~ProcedureCall() = default;

    // Sends the input parameters' values by position and assigns the output parameters' values
    // (Null where the procedure returns none). Throws DatabaseError.
    virtual void execute(std::vector<Parameter> &parameters) = 0;

    // Many calls in a row whose outputs nobody reads. queue() takes the input values as they
    // stand; flush() sends every queued call in order (a provider may pipeline them) and throws
    // BatchError at the first that fails, with the number that succeeded before it; the calls
    // after it do not run. The server may undo the calls before the failing one together with
    // it, and a provider may roll the transaction back and run the flush's calls again to find
    // the failing one; so callers queue inside a transaction that holds this flush's calls only
    // and, on a failure, roll it back and queue the calls before the failing one again. Between
    // queue() and flush() the connection runs nothing else. By default the calls run one by one
    // through execute() at flush().
    virtual void queue(const std::vector<Parameter> &parameters);
    virtual void flush();
    // flush(), then the commit of the caller's transaction on the provider; a provider that
    // pipelines its calls may send the commit with the last of them, without waiting in
    // between. Throws BatchError as flush() does, and then no commit is sent and the caller
    // rolls the transaction back; a commit that fails throws its own failure. Called through
    // Transaction::commit only. By default: flush() and Provider::commit() in a row.
    virtual void flushAndCommit(Provider &provider);

    // Many calls in a row whose outputs are read, such as seeks. queueRead() takes the input
    // values as they stand; fetchRead() sends every call queued since (a provider may send them
    // together) and returns, per call in order, the values of its parameters by position: the
    // outputs as the procedure returned them (Null where it returns none), the inputs as sent.
    // A call that fails throws DatabaseError, and nothing of the calls is returned. Between
    // queueRead() and fetchRead() the connection runs nothing else. By default the calls run one
    // by one through execute() at fetchRead().
    virtual void queueRead(const std::vector<Parameter> &parameters);
    virtual std::vector<std::vector<Value>> fetchRead();

protected:
    // The calls queued since the last flush: the declared parameters and each call's inputs.
    struct QueuedCalls
    {
        std::vector<Parameter> declarations;
        std::vector<std::vector<Value>> inputs;
    };
    QueuedCalls takeQueued();
    QueuedCalls takeQueuedReads();
    // Per call in order, its parameters' values after `call` ran it on them (the inputs set).
    static std::vector<std::vector<Value>>
    readEach(const QueuedCalls &calls, const std::function<void(std::vector<Parameter> &)> &call);
    // Runs the calls [from, to) one by one through execute(); throws BatchError with the index
    // of the call that fails.
    void executeEach(const QueuedCalls &calls, std::size_t from, std::size_t to);

private:
    QueuedCalls m_queued;
    QueuedCalls m_queuedReads;
};

// A statement by which a record set writes one row of its table. Where it returns the row, its
// result is the row as the server stored it (the key it assigned and the defaults included);
// otherwise the record set reads the row back by its key.
struct RowWriteStatement
{
    QString sql;
    bool returnsRow = true;
};

class Provider
{
public:
    virtual ~Provider() = default;

    // Connects with the options; throws DatabaseError with a message that names the problem
    // and never contains the password.
    virtual void open(const ConnectionOptions &options) = 0;
    virtual void close() = 0;

    virtual std::unique_ptr<Statement> prepare(const QString &sql) = 0;
    // A statement whose rows are read a batch at a time, so that memory stays flat and other
    // statements can run on the same connection while its rows are being read.
    virtual std::unique_ptr<Statement> prepareCursor(const QString &sql) = 0;
    virtual std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) = 0;
    // Runs a script of several statements separated by ";" (schema files).
    virtual void executeScript(const QString &sql) = 0;

    // The name quoted for use as an identifier in this server's SQL.
    virtual QString quoteIdentifier(const QString &name) const = 0;
    // How this server's SQL texts quote and comment, for reading them.
    virtual const SqlDialect &sqlDialect() const = 0;
    // The primary-key columns of a table, in key order; empty when it has none.
    virtual QStringList primaryKey(const QString &table) = 0;
    // The statement that inserts one row into the table (as SQL names it) with a "?" for each
    // of the columns (quoted), or a row of defaults where there are none. By default an INSERT
    // ... RETURNING *.
    virtual RowWriteStatement insertRow(const QString &table, const QStringList &columns) const;
    // The statement that sets the columns (quoted), a "?" each, of the row that the condition
    // finds. By default an UPDATE ... RETURNING *.
    virtual RowWriteStatement updateRow(const QString &table, const QStringList &columns,
                                        const QString &condition) const;
    // The key that the server assigned to the row that this connection inserted last, for a
    // server whose INSERT returns no row. Throws DatabaseError where it cannot be asked for.
    virtual Value lastInsertedKey();

    // The condition that a date-time column lies strictly between two parameters, bound as
    // date-times, the earlier first; a server may keep date-times in more than one form.
    virtual QString dateTimeBetween(const QString &column) const
    {
        return QStringLiteral("%1>? AND %1<?").arg(column);
    }

    virtual void beginTransaction() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // Begins a read-only transaction in which every statement sees the same snapshot.
    virtual void beginReadSnapshot() = 0;
    // Whether a savepoint set inside the open transaction lasts until it is released. A driver
    // that wraps each statement in a savepoint of its own releases ours with it; such a driver
    // undoes a failed statement by itself, so the transaction stays usable without ours.
    virtual bool keepsSavepoints() { return true; }
};

// The provider for a connection string's Provider keyword (case-insensitive): "SQLite",
// "PostgreSQL", "MSDASQL" or "ODBC". Throws DatabaseError naming an unknown provider.
std::unique_ptr<Provider> createProvider(const QString &providerName);

} // namespace zarn::dal
