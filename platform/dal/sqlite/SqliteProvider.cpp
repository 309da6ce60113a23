#include "platform/dal/sqlite/SqliteProvider.h"

#include "platform/Error.h"
#include "platform/dal/SqlText.h"

#include <QDir>
#include <QFileInfo>
#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <utility>

namespace zarn::dal {

namespace {

QString messageOf(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Throws the library's failure; a lock that the busy time-out gave up on is a time-out.
[[noreturn]] void raise(int rc, const QString &message)
{
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw TimeoutError(message);
    throw DatabaseError(message);
}

// Runs SQL that needs no parameters and gives no rows that are wanted.
void run(sqlite3 *db, const QString &sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc, messageOf(db));
}

// Owns one prepared statement of the library.
class StatementHandle
{
public:
    StatementHandle(sqlite3 *db, const QString &sql) : m_db(db)
    {
        const QByteArray text = sql.toUtf8();
        const char *tail = nullptr;
        if (sqlite3_prepare_v3(db, text.constData(), static_cast<int>(text.size()),
                               SQLITE_PREPARE_PERSISTENT, &m_stmt, &tail) != SQLITE_OK)
            throw DatabaseError(messageOf(db));
        if (m_stmt == nullptr)
            throw DatabaseError(QStringLiteral("The SQL text holds no statement."));
        if (!sqltext::splitStatements(QString::fromUtf8(tail)).isEmpty()) {
            sqlite3_finalize(m_stmt);
            throw DatabaseError(QStringLiteral("The SQL text holds more than one statement."));
        }
    }
    ~StatementHandle() { sqlite3_finalize(m_stmt); }
    StatementHandle(const StatementHandle &) = delete;
    StatementHandle &operator=(const StatementHandle &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    sqlite3 *db() const { return m_db; }

    // Steps once: true on a row, false when done. Throws the library's message.
    bool step() const
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const QString message = messageOf(m_db);
        sqlite3_reset(m_stmt);
        raise(rc, message);
    }

    void bind(int position, const Value &value) const
    {
        const int rc = bindValue(position, value);
        if (rc != SQLITE_OK)
            throw DatabaseError(messageOf(m_db));
    }

    // Resets and clears the bindings; the statement holds no lock afterwards.
    void reset() const
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    int bindValue(int position, const Value &value) const
    {
        switch (value.kind()) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            return sqlite3_bind_null(m_stmt, position);
        case Value::Kind::Int16:
        case Value::Kind::Int32:
        case Value::Kind::Int64:
            return sqlite3_bind_int64(m_stmt, position, value.toText().toLongLong());
        case Value::Kind::Double:
            return sqlite3_bind_double(m_stmt, position, value.toDouble());
        case Value::Kind::Bool:
            return sqlite3_bind_int(m_stmt, position, value.toBool() ? 1 : 0);
        case Value::Kind::Text:
            return bindText(position, value.toText());
        case Value::Kind::DateTime:
            return bindText(position, value.toDateTime().toIsoText());
        }
        return SQLITE_MISUSE;
    }

    int bindText(int position, const QString &text) const
    {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_bind_text64(m_stmt, position, utf8.constData(),
                                   static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

// A column's declared type names a date or a time: its texts are date-times.
bool isDateTimeType(const char *declaredType)
{
    if (declaredType == nullptr)
        return false;
    const QString type = QString::fromUtf8(declaredType).toUpper();
    return type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"));
}

QString textOf(sqlite3_stmt *stmt, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                             sqlite3_column_bytes(stmt, column));
}

Value columnValueOf(sqlite3_stmt *stmt, int column, bool dateTimeColumn)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
        if (v >= std::numeric_limits<std::int32_t>::min() &&
            v <= std::numeric_limits<std::int32_t>::max())
            return Value(static_cast<std::int32_t>(v));
        return Value(static_cast<std::int64_t>(v));
    }
    case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
        const QString text = textOf(stmt, column);
        if (dateTimeColumn) {
            if (const std::optional<DateTime> dateTime = DateTime::parseIso(text))
                return Value(*dateTime);
        }
        return Value(text);
    }
    case SQLITE_NULL:
        return Value::null();
    default:
        throw DatabaseError(QStringLiteral("Column %1 holds binary data, which cannot be read.")
                                .arg(QString::fromUtf8(sqlite3_column_name(stmt, column))));
    }
}

class SqliteStatement : public Statement
{
public:
    SqliteStatement(sqlite3 *db, const QString &sql) : m_handle(db, sql)
    {
        for (int column = 0; column < columnCount(); ++column)
            m_dateTimeColumns.push_back(
                isDateTimeType(sqlite3_column_decltype(m_handle.get(), column)));
    }

    void execute(const std::vector<Value> &params) override
    {
        m_handle.reset();
        m_onRow = false;
        m_firstRowWaiting = false;
        m_rowsAffected = 0;
        const int expected = sqlite3_bind_parameter_count(m_handle.get());
        if (static_cast<std::size_t>(expected) != params.size())
            throw DatabaseError(QStringLiteral("The statement takes %1 parameters, but %2 were "
                                               "given.")
                                    .arg(expected)
                                    .arg(params.size()));
        for (std::size_t i = 0; i < params.size(); ++i)
            m_handle.bind(static_cast<int>(i) + 1, params[i]);
        // Stepping once runs a change at once (also one with RETURNING) and reports its errors
        // here; a first row is kept for fetch().
        m_firstRowWaiting = stepOrFinish();
    }

    bool fetch() override
    {
        if (m_firstRowWaiting) {
            m_firstRowWaiting = false;
            m_onRow = true;
            return true;
        }
        if (!m_onRow)
            return false;
        m_onRow = false; // a failed step has reset the statement: it gives no more rows
        m_onRow = stepOrFinish();
        return m_onRow;
    }

    int columnCount() const override { return sqlite3_column_count(m_handle.get()); }

    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_handle.get(), column));
    }

    Value columnValue(int column) const override
    {
        if (!m_onRow || column < 0 || column >= columnCount())
            throw DatabaseError(QStringLiteral("No row or no such column to read."));
        return columnValueOf(m_handle.get(), column,
                             m_dateTimeColumns[static_cast<std::size_t>(column)]);
    }

    long long rowsAffected() const override { return m_rowsAffected; }

private:
    // Steps; when the statement is done, notes the rows it changed and resets it, so that it
    // holds no read lock (and no old snapshot) once its rows are read.
    bool stepOrFinish()
    {
        if (m_handle.step())
            return true;
        if (!sqlite3_stmt_readonly(m_handle.get()))
            m_rowsAffected = sqlite3_changes64(m_handle.db());
        sqlite3_reset(m_handle.get());
        return false;
    }

    StatementHandle m_handle;
    std::vector<bool> m_dateTimeColumns;
    bool m_firstRowWaiting = false;
    bool m_onRow = false;
    long long m_rowsAffected = 0;
};

// A stored procedure kept as SQL text in the table stored_procedures. Its statements are
// prepared at the first call and reused; each call runs them inside one savepoint.
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
        runInSavepoint(parameters);
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
            m_queueFailure = error.description();
        }
    }

    void flush() override
    {
        const std::size_t succeeded = std::exchange(m_queueSucceeded, 0);
        const std::optional<QString> failure = std::exchange(m_queueFailure, std::nullopt);
        if (failure)
            throw BatchError(*failure, succeeded);
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
    };

    // What the last statement that returns rows gave: its column names and first row, if any.
    struct Result
    {
        QStringList columns;
        std::optional<std::vector<Value>> firstRow;
    };

    void load()
    {
        const QStringList statements = sqltext::splitStatements(bodyText());
        if (statements.isEmpty())
            throw DatabaseError(
                QStringLiteral("Stored procedure %1 has no statements.").arg(m_name));
        // Kept only when every statement prepares, so that a failed load is tried again whole.
        std::vector<BodyStatement> body;
        for (const QString &sql : statements)
            body.push_back(prepareBodyStatement(sql));
        m_savepoint =
            std::make_unique<StatementHandle>(m_db, QStringLiteral("SAVEPOINT zarn_procedure"));
        m_release =
            std::make_unique<StatementHandle>(m_db, QStringLiteral("RELEASE zarn_procedure"));
        m_rollbackTo =
            std::make_unique<StatementHandle>(m_db, QStringLiteral("ROLLBACK TO zarn_procedure"));
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
        return statement;
    }

    void runInSavepoint(std::vector<Parameter> &parameters)
    {
        // Outside a transaction the savepoint is the transaction, and releasing it commits.
        const bool outermost = sqlite3_get_autocommit(m_db) != 0;
        runOnce(*m_savepoint);
        Result result;
        try {
            for (const BodyStatement &statement : m_body)
                runBodyStatement(statement, parameters, result);
            runOnce(*m_release);
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
            result.columns.clear();
            result.firstRow.reset();
            for (int column = 0; column < columns; ++column)
                result.columns.append(QString::fromUtf8(sqlite3_column_name(handle.get(), column)));
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
        for (Parameter &parameter : parameters) {
            if (parameter.direction != adParamOutput)
                continue;
            if (!result.firstRow) {
                parameter.value = Value::null();
                continue;
            }
            const qsizetype column = indexOf(result.columns, parameter.name);
            if (column < 0)
                throw DatabaseError(QStringLiteral("Stored procedure %1 returns no column for its "
                                                   "output parameter %2.")
                                        .arg(m_name, parameter.name));
            parameter.value = asDeclaredType((*result.firstRow)[static_cast<std::size_t>(column)],
                                             parameter.type);
        }
    }

    static qsizetype indexOf(const QStringList &names, const QString &name)
    {
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
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
    std::unique_ptr<StatementHandle> m_savepoint;
    std::unique_ptr<StatementHandle> m_release;
    std::unique_ptr<StatementHandle> m_rollbackTo;
    std::size_t m_queueSucceeded = 0;      // queued calls that succeeded since the last flush
    std::optional<QString> m_queueFailure; // the first queued call that failed since then
};

class SqliteProvider : public Provider
{
public:
    ~SqliteProvider() override { close(); }

    void open(const ConnectionOptions &options) override
    {
        const QString path = databaseFile(options);
        if (!QFileInfo(path).isFile())
            throw DatabaseError(QStringLiteral("The database file \"%1\" does not exist.")
                                    .arg(QDir::toNativeSeparators(path)));
        sqlite3 *db = nullptr;
        const int rc =
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const QString message = db ? messageOf(db) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close_v2(db);
            throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be opened: %2")
                                    .arg(QDir::toNativeSeparators(path), message));
        }
        m_db = db;
        try {
            configure(options);
        } catch (const DatabaseError &error) {
            close();
            throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be used: %2")
                                    .arg(QDir::toNativeSeparators(path), error.description()));
        }
    }

    void close() override
    {
        // Statements still held by commands or record sets keep the library's connection
        // alive until they are finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return std::make_unique<SqliteStatement>(db(), sql);
    }

    // A statement stepped row by row holds only the current row, and other statements may
    // run on the connection meanwhile.
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override { return prepare(sql); }

    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return std::make_unique<SqliteProcedureCall>(db(), name, parameters);
    }

    void executeScript(const QString &sql) override { run(db(), sql); }

    QString quoteIdentifier(const QString &name) const override
    {
        QString quoted = name;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }

    QStringList primaryKey(const QString &table) override
    {
        SqliteStatement info(db(),
                             QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table)));
        info.execute({});
        std::map<int, QString> keyColumns; // position in the key -> column
        while (info.fetch()) {
            const int position = info.columnValue(5).toInt32();
            if (position > 0)
                keyColumns[position] = info.columnValue(1).toText();
        }
        QStringList key;
        for (const auto &[position, column] : keyColumns)
            key.append(column);
        return key;
    }

    void beginTransaction() override { run(db(), QStringLiteral("BEGIN")); }
    void commit() override { run(db(), QStringLiteral("COMMIT")); }
    void rollback() override { run(db(), QStringLiteral("ROLLBACK")); }

    void beginReadSnapshot() override
    {
        // A deferred transaction takes its snapshot at its first read.
        run(db(), QStringLiteral("BEGIN"));
        try {
            run(db(), QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
        } catch (...) {
            run(db(), QStringLiteral("ROLLBACK"));
            throw;
        }
    }

private:
    sqlite3 *db() const
    {
        if (m_db == nullptr)
            throw DatabaseError(QStringLiteral("The connection is closed."));
        return m_db;
    }

    // The Data Source is the database file, or a folder that holds one file per catalog.
    static QString databaseFile(const ConnectionOptions &options)
    {
        const QString dataSource = options.value(QStringLiteral("Data Source"));
        if (dataSource.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names no Data Source."));
        if (!QFileInfo(dataSource).isDir())
            return dataSource;
        QString catalog = options.value(QStringLiteral("Initial Catalog"));
        if (catalog.isEmpty())
            catalog = options.value(QStringLiteral("User ID"));
        if (catalog.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names the folder \"%1\" but "
                                               "no catalog in it.")
                                    .arg(QDir::toNativeSeparators(dataSource)));
        // A catalog is a file of the folder, never a path that leads elsewhere.
        if (catalog.contains(QLatin1Char('/')) || catalog.contains(QLatin1Char('\\')) ||
            catalog.contains(QLatin1Char(':')) || catalog.startsWith(QLatin1Char('.')))
            throw DatabaseError(
                QStringLiteral("The catalog name \"%1\" is not a plain name.").arg(catalog));
        return QDir(dataSource).filePath(catalog + QStringLiteral(".db"));
    }

    void configure(const ConnectionOptions &options)
    {
        const int timeoutMs = options.commandTimeout > 0 && options.commandTimeout < INT_MAX / 1000
                                  ? options.commandTimeout * 1000
                                  : INT_MAX;
        sqlite3_busy_timeout(m_db, timeoutMs);
        // WAL lets one writer and readers work without blocking each other.
        run(m_db, QStringLiteral("PRAGMA journal_mode=WAL"));
    }

    sqlite3 *m_db = nullptr;
};

} // namespace

std::unique_ptr<Provider> createSqliteProvider()
{
    return std::make_unique<SqliteProvider>();
}

} // namespace zarn::dal
