#include "platform/dal/sqlite/SqliteProcedureCall.h"

#include "platform/Error.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/sqlite/SqliteSession.h"
#include "platform/dal/sqlite/SqliteStatement.h"
#include "platform/dal/sqlite/SqliteValues.h"

#include <QStringList>
#include <algorithm>
#include <optional>
#include <sqlite3.h>
#include <utility>

namespace zarn::dal::sqlite {

namespace {

// A stored procedure kept as SQL text in the table stored_procedures. Its statements are
// prepared at the first call and reused; each call runs them inside one savepoint, or in a
// transaction of its own when the connection is in none.
class SqliteProcedureCall : public ProcedureCall
{
public:
    SqliteProcedureCall(sqlite3 *db, QString name, const std::vector<Parameter> &parameters)
        : m_db(db), m_name(std::move(name))
    {
        for (const Parameter &parameter : parameters)
            m_parameterNames.append(parameter.name.toLower());
    }

    void execute(std::vector<Parameter> &parameters) override
    {
        prepareFor(parameters);
        runGuarded(parameters);
    }

    // Queued calls run at once. Inside the caller's transaction they run without a savepoint
    // of their own: after a failure the caller rolls its transaction back, so a failed call's
    // partial work never stays. The first failure waits for flush(); later calls do not run.
    void queue(const std::vector<Parameter> &parameters) override
    {
        if (m_queueFailure)
            return;
        try {
            if (sqlite3_get_autocommit(m_db) != 0) {
                std::vector<Parameter> call = parameters;
                execute(call);
            } else {
                prepareFor(parameters);
                Result unread;
                for (const BodyStatement &statement : m_body)
                    runBodyStatement(statement, parameters, unread);
            }
            ++m_queueSucceeded;
        } catch (const DatabaseError &error) {
            for (BodyStatement &statement : m_body)
                statement.handle->reset();
            m_queueFailure = error;
        }
    }

    void flush() override
    {
        const std::size_t succeeded = std::exchange(m_queueSucceeded, 0);
        const std::optional<DatabaseError> failure = std::exchange(m_queueFailure, std::nullopt);
        if (failure)
            throw BatchError(*failure, succeeded);
    }

    // Inside the caller's transaction, the calls of a body that only reads run without a
    // savepoint each, as there is nothing of a failed call to undo.
    std::vector<std::vector<Value>> fetchRead() override
    {
        const QueuedCalls calls = takeQueuedReads();
        if (calls.inputs.empty())
            return {};
        prepareFor(calls.declarations);
        if (m_writes || sqlite3_get_autocommit(m_db) != 0)
            return readEach(calls, [this](std::vector<Parameter> &p) { execute(p); });
        return readEach(calls, [this](std::vector<Parameter> &parameters) {
            Result result;
            try {
                for (const BodyStatement &statement : m_body)
                    runBodyStatement(statement, parameters, result);
            } catch (...) {
                for (BodyStatement &statement : m_body)
                    statement.handle->reset();
                throw;
            }
            assignOutputs(result, parameters);
        });
    }

private:
    void prepareFor(const std::vector<Parameter> &parameters)
    {
        if (parameters.size() != static_cast<std::size_t>(m_parameterNames.size()))
            throw DatabaseError(QStringLiteral("Stored procedure %1 was prepared with %2 "
                                               "parameters, but %3 were given.")
                                    .arg(m_name)
                                    .arg(m_parameterNames.size())
                                    .arg(parameters.size()));
        if (m_body.empty())
            load();
    }

    struct BodyStatement
    {
        std::unique_ptr<StatementHandle> handle;
        std::vector<int> parameterOfHostParameter; // index into the parameters, per host one
        // Per parameter, the column of this statement's rows that has its name; -1 for none.
        // Found once, as a call's outputs are read many times.
        std::vector<int> columnOfParameter;
    };

    // What the last statement that returns rows gave: that statement and its first row, if any.
    struct Result
    {
        const BodyStatement *statement = nullptr;
        std::optional<std::vector<Value>> firstRow;
    };

    void load()
    {
        const QStringList statements = sqltext::splitStatements(bodyText(), sqliteDialect());
        if (statements.isEmpty())
            throw DatabaseError(
                QStringLiteral("Stored procedure %1 has no statements.").arg(m_name));
        // Kept only when every statement prepares, so that a failed load is tried again whole.
        std::vector<BodyStatement> body;
        for (const QString &sql : statements)
            body.push_back(prepareBodyStatement(sql));
        // A body that writes locks the database for writing from its start, so that the
        // connection's busy time-out applies even where a read comes before the first write.
        m_writes = std::any_of(body.begin(), body.end(), [](const BodyStatement &statement) {
            return sqlite3_stmt_readonly(statement.handle->get()) == 0;
        });
        m_begin = prepared(m_writes ? "BEGIN IMMEDIATE" : "BEGIN");
        m_commit = prepared("COMMIT");
        m_savepoint = prepared("SAVEPOINT zarn_procedure");
        m_release = prepared("RELEASE zarn_procedure");
        m_rollbackTo = prepared("ROLLBACK TO zarn_procedure");
        m_body = std::move(body);
    }

    DatabaseError missing() const
    {
        return DatabaseError(QStringLiteral("stored procedure %1 does not exist").arg(m_name));
    }

    QString bodyText() const
    {
        if (!tableExists())
            throw missing();
        StatementHandle lookup(
            m_db,
            QStringLiteral("SELECT body FROM stored_procedures WHERE name = ? COLLATE NOCASE"));
        lookup.bind(1, Value(m_name));
        if (!lookup.step())
            throw missing();
        const QString body = textOf(lookup.get(), 0);
        lookup.reset();
        return body;
    }

    bool tableExists() const
    {
        StatementHandle lookup(m_db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = "
                                                    "'table' AND name = 'stored_procedures'"));
        const bool found = lookup.step();
        lookup.reset();
        return found;
    }

    BodyStatement prepareBodyStatement(const QString &sql) const
    {
        BodyStatement statement;
        statement.handle = std::make_unique<StatementHandle>(m_db, sql);
        sqlite3_stmt *stmt = statement.handle->get();
        for (int host = 1; host <= sqlite3_bind_parameter_count(stmt); ++host) {
            const char *hostName = sqlite3_bind_parameter_name(stmt, host);
            // A host parameter is written ":name" (or "@name", "$name"); "?" has no name.
            const QString name =
                hostName ? QString::fromUtf8(hostName).mid(1).toLower() : QString();
            const int parameter = static_cast<int>(m_parameterNames.indexOf(name));
            if (parameter < 0)
                throw DatabaseError(QStringLiteral("Stored procedure %1 uses \"%2\", which is "
                                                   "none of its parameters.")
                                        .arg(m_name, QString::fromUtf8(hostName ? hostName : "?")));
            statement.parameterOfHostParameter.push_back(parameter);
        }
        QStringList columns;
        for (int column = 0; column < sqlite3_column_count(stmt); ++column)
            columns.append(QString::fromUtf8(sqlite3_column_name(stmt, column)));
        for (const QString &parameter : m_parameterNames) {
            const auto column =
                std::find_if(columns.begin(), columns.end(), [&](const QString &name) {
                    return name.compare(parameter, Qt::CaseInsensitive) == 0;
                });
            statement.columnOfParameter.push_back(
                column == columns.end() ? -1 : static_cast<int>(column - columns.begin()));
        }
        return statement;
    }

    std::unique_ptr<StatementHandle> prepared(const char *sql) const
    {
        return std::make_unique<StatementHandle>(m_db, QString::fromLatin1(sql));
    }

    void runGuarded(std::vector<Parameter> &parameters)
    {
        const bool outermost = sqlite3_get_autocommit(m_db) != 0;
        runOnce(outermost ? *m_begin : *m_savepoint);
        Result result;
        try {
            for (const BodyStatement &statement : m_body)
                runBodyStatement(statement, parameters, result);
            runOnce(outermost ? *m_commit : *m_release);
        } catch (...) {
            undo(outermost);
            throw;
        }
        assignOutputs(result, parameters);
    }

    // Undoes what the failed call wrote and leaves no savepoint behind.
    void undo(bool outermost)
    {
        for (BodyStatement &statement : m_body)
            statement.handle->reset();
        if (outermost) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return;
        }
        sqlite3_step(m_rollbackTo->get());
        m_rollbackTo->reset();
        sqlite3_step(m_release->get());
        m_release->reset();
    }

    static void runOnce(const StatementHandle &statement)
    {
        statement.step();
        statement.reset();
    }

    static void runBodyStatement(const BodyStatement &statement,
                                 const std::vector<Parameter> &parameters, Result &result)
    {
        const StatementHandle &handle = *statement.handle;
        handle.reset();
        for (std::size_t host = 0; host < statement.parameterOfHostParameter.size(); ++host) {
            const auto parameter =
                static_cast<std::size_t>(statement.parameterOfHostParameter[host]);
            handle.bind(static_cast<int>(host) + 1, parameters[parameter].value);
        }
        const int columns = sqlite3_column_count(handle.get());
        bool onRow = handle.step();
        if (columns > 0) {
            result.statement = &statement;
            result.firstRow.reset();
            if (onRow)
                result.firstRow = firstRowOf(handle.get(), columns);
        }
        while (onRow)
            onRow = handle.step();
        handle.reset();
    }

    static std::vector<Value> firstRowOf(sqlite3_stmt *stmt, int columns)
    {
        std::vector<Value> row;
        for (int column = 0; column < columns; ++column)
            row.push_back(
                columnValueOf(stmt, column, isDateTimeType(sqlite3_column_decltype(stmt, column))));
        return row;
    }

    void assignOutputs(const Result &result, std::vector<Parameter> &parameters) const
    {
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            Parameter &parameter = parameters[i];
            if (parameter.direction != adParamOutput)
                continue;
            if (!result.firstRow) {
                parameter.value = Value::null();
                continue;
            }
            const int column = result.statement->columnOfParameter[i];
            if (column < 0)
                throw DatabaseError(QStringLiteral("Stored procedure %1 returns no column for its "
                                                   "output parameter %2.")
                                        .arg(m_name, parameter.name));
            parameter.value = asDeclaredType((*result.firstRow)[static_cast<std::size_t>(column)],
                                             parameter.type);
        }
    }

    // SQLite gives a computed column no type: the value takes the parameter's declared type,
    // as a server with typed outputs would give it.
    static Value asDeclaredType(const Value &value, DataTypeEnum type)
    {
        if (value.isNull())
            return value;
        switch (type) {
        case adSmallInt:
            return Value(value.toInt16());
        case adInteger:
            return Value(value.toInt32());
        case adDouble:
            return Value(value.toDouble());
        case adBoolean:
            return Value(value.toBool());
        case adDate:
            return Value(dateTimeOf(value));
        case adVarChar:
        case adVarWChar:
            return Value(value.toText());
        }
        return value;
    }

    static DateTime dateTimeOf(const Value &value)
    {
        if (value.kind() == Value::Kind::Text) {
            if (const std::optional<DateTime> dateTime = DateTime::parseIso(value.toText()))
                return *dateTime;
        }
        return value.toDateTime();
    }

    sqlite3 *m_db;
    QString m_name;
    QStringList m_parameterNames;
    std::vector<BodyStatement> m_body;
    bool m_writes = false; // a statement of the body writes
    std::unique_ptr<StatementHandle> m_begin;
    std::unique_ptr<StatementHandle> m_commit;
    std::unique_ptr<StatementHandle> m_savepoint;
    std::unique_ptr<StatementHandle> m_release;
    std::unique_ptr<StatementHandle> m_rollbackTo;
    std::size_t m_queueSucceeded = 0;            // queued calls that succeeded since the last flush
    std::optional<DatabaseError> m_queueFailure; // the first queued call that failed since then
};

} // namespace

std::unique_ptr<ProcedureCall> prepareProcedureCall(sqlite3 *db, const QString &name,
                                                    const std::vector<Parameter> &parameters)
{
    return std::make_unique<SqliteProcedureCall>(db, name, parameters);
}

} // namespace zarn::dal::sqlite
