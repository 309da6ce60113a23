#include "platform/dal/odbc/OdbcProvider.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/odbc/OdbcDialect.h"
#include "platform/dal/odbc/OdbcProcedureCall.h"
#include "platform/dal/odbc/OdbcSession.h"
#include "platform/dal/odbc/OdbcStatement.h"
#include "platform/dal/odbc/OdbcValues.h"

#include <algorithm>
#include <map>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <utility>
#include <vector>

namespace zarn::dal {
namespace {

using odbc::Dialect;
using odbc::ResultRows;
using odbc::Session;
using odbc::SqlHandle;
using odbc::StatementHandle;
using odbc::WideText;

DatabaseError transactionOpen()
{
    return DatabaseError(QStringLiteral("A transaction is already open on this connection."));
}

// ---------------------------------------------------------------------------------------------
// Opening a connection.

// An attribute value as the connection-string grammar takes it: in braces, with a closing brace
// inside doubled, when it holds a ";", starts with "{" or has blanks at either end; as it
// stands otherwise. Braces only where they are needed, since not every driver removes them:
// psqlODBC takes them off the password only, so a user or database name that needs them does
// not reach its server intact through that driver.
QString attributeValue(const QString &value)
{
    const bool plain = !value.contains(u';') && !value.startsWith(u'{') && value == value.trimmed();
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

QString driverConnectionString(const ConnectionOptions &options)
{
    QStringList attributes;
    const auto add = [&](const QString &keyword, const QString &value) {
        if (!value.isEmpty())
            attributes << keyword + u'=' + attributeValue(value);
    };
    add(QStringLiteral("DSN"), options.value(QStringLiteral("Data Source")).trimmed());
    add(QStringLiteral("DATABASE"), options.value(QStringLiteral("Initial Catalog")).trimmed());
    add(QStringLiteral("UID"), options.value(QStringLiteral("User ID")).trimmed());
    add(QStringLiteral("PWD"), options.value(QStringLiteral("Password")));
    return attributes.join(u';');
}

// The text with the password masked, also in the form the connection string carried it.
QString withoutPassword(const QString &text, const QString &password)
{
    return withoutPasswords(text, {attributeValue(password), password});
}

class OdbcProvider : public Provider
{
public:
    ~OdbcProvider() override { close(); }

    void open(const ConnectionOptions &options) override
    {
        close();
        const QString dataSource = options.value(QStringLiteral("Data Source")).trimmed();
        if (dataSource.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names no Data Source."));
        auto session = std::make_shared<Session>(options.commandTimeout);
        try {
            session->connect(driverConnectionString(options), options.connectionTimeout);
        } catch (const DatabaseError &error) {
            const QString password = options.value(QStringLiteral("Password"));
            throw DatabaseError(
                QStringLiteral("Provider %1 cannot open the ODBC data source \"%2\": %3")
                    .arg(options.value(QStringLiteral("Provider")).trimmed(), dataSource,
                         withoutPassword(error.description(), password)));
        }
        m_dialect = Dialect(serverInfo(*session));
        m_snapshotIsolation = snapshotIsolation(*session);
        m_defaultIsolation = session->attribute(SQL_ATTR_TXN_ISOLATION);
        m_session = std::move(session);
    }
    void close() override
    {
        if (m_session)
            m_session->close(m_inTransaction);
        m_session.reset();
        m_inTransaction = false;
        m_inSnapshot = false;
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return odbc::prepareStatement(session(), m_dialect.translated(sql));
    }
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override { return prepare(sql); }
    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return odbc::prepareProcedureCall(session(), name, parameters);
    }
    // The driver runs the script's statements in one go and reports the first that fails.
    void executeScript(const QString &sql) override
    {
        StatementHandle statement(session());
        statement.executeDirect(sql);
    }

    QString quoteIdentifier(const QString &name) const override { return m_dialect.quoted(name); }

    RowWriteStatement insertRow(const QString &table, const QStringList &columns) const override
    {
        return m_dialect.insertRow(table, columns);
    }
    RowWriteStatement updateRow(const QString &table, const QStringList &columns,
                                const QString &condition) const override
    {
        return m_dialect.updateRow(table, columns, condition);
    }
    Value lastInsertedKey() override
    {
        if (m_dialect.lastInsertedKeyQuery().isEmpty())
            return Provider::lastInsertedKey();
        auto query = prepare(m_dialect.lastInsertedKeyQuery());
        query->execute({});
        if (!query->fetch())
            throw DatabaseError(QStringLiteral("The server gave no last assigned key."));
        const Value key = query->columnValue(0);
        while (query->fetch()) {
        }
        return key;
    }
    const SqlDialect &sqlDialect() const override { return m_dialect.sqlDialect(); }

    // Through the driver's catalog function; a name "schema.table" looks in that schema only.
    QStringList primaryKey(const QString &table) override
    {
        const qsizetype dot = table.lastIndexOf(u'.');
        const QString schema = dot < 0 ? QString() : m_dialect.folded(table.left(dot));
        WideText schemaText(schema);
        WideText tableText(m_dialect.folded(table.mid(dot + 1)));
        StatementHandle statement(session());
        statement.watched([&] {
            return statement.check(SQLPrimaryKeysW(
                statement.get(), nullptr, 0,
                schema.isEmpty() ? nullptr : reinterpret_cast<SQLWCHAR *>(schemaText.get()),
                schema.isEmpty() ? 0 : SQL_NTS, reinterpret_cast<SQLWCHAR *>(tableText.get()),
                SQL_NTS));
        });
        // Columns: catalog, schema, table, column, position in the key, key name. A table of
        // that name in several schemas gives the key of the first.
        ResultRows rows;
        statement.watched([&] { rows.describe(statement); });
        std::optional<QString> firstSchema;
        std::map<int, QString> columns;
        while (statement.watched([&] { return rows.next(statement); })) {
            const QString rowSchema = rows.value(1).toTextOrEmpty();
            if (!firstSchema)
                firstSchema = rowSchema;
            if (rowSchema == *firstSchema)
                columns[rows.value(4).toInt32()] = rows.value(3).toText();
        }
        QStringList key;
        for (const auto &[position, column] : columns)
            key << column;
        return key;
    }

    void beginTransaction() override { startTransaction(); }
    // A commit whose answer never came may have been stored or not.
    void commit() override
    {
        try {
            endTransaction(SQL_COMMIT);
        } catch (const UnavailableError &e) {
            throw CommitInDoubtError(e);
        }
    }
    void rollback() override { endTransaction(SQL_ROLLBACK); }

    // A read-only transaction (where the driver honours the access mode) at the isolation level
    // that reads one snapshot throughout.
    void beginReadSnapshot() override
    {
        Session &current = *session();
        if (m_inTransaction)
            throw transactionOpen();
        if (m_snapshotIsolation == 0) {
            throw DatabaseError(QStringLiteral("The ODBC data source offers neither repeatable "
                                               "reads nor serializable transactions."));
        }
        current.setAttribute(SQL_ATTR_TXN_ISOLATION, m_snapshotIsolation);
        setAccessMode(current, SQL_MODE_READ_ONLY);
        m_inSnapshot = true;
        startTransaction();
    }

    // Savepoints of ours do not last through a driver that rolls back each failed statement by
    // itself, as psqlODBC does by default: it wraps statements in savepoints of its own and
    // releases ours with them. A driver that does not roll back failed statements talks to a
    // server where a failure leaves the transaction usable anyway.
    bool keepsSavepoints() override { return false; }

private:
    const std::shared_ptr<Session> &session() const
    {
        if (!m_session)
            throw odbc::closedConnection();
        return m_session;
    }

    static odbc::ServerInfo serverInfo(Session &session)
    {
        return {session.textInfo(SQL_DBMS_NAME), session.textInfo(SQL_DBMS_VER),
                session.textInfo(SQL_IDENTIFIER_QUOTE_CHAR),
                session.numericInfo16(SQL_IDENTIFIER_CASE)};
    }

    // Repeatable reads where the driver offers them, serializable transactions otherwise; 0
    // when it offers neither.
    static SQLULEN snapshotIsolation(Session &session)
    {
        const auto offered = session.numericInfo32(SQL_TXN_ISOLATION_OPTION);
        if (offered & SQL_TXN_REPEATABLE_READ)
            return SQL_TXN_REPEATABLE_READ;
        if (offered & SQL_TXN_SERIALIZABLE)
            return SQL_TXN_SERIALIZABLE;
        return 0;
    }

    void startTransaction()
    {
        if (m_inTransaction)
            throw transactionOpen();
        try {
            session()->setAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
        } catch (...) {
            restoreAfterTransaction();
            throw;
        }
        m_inTransaction = true;
    }

    // Ends the transaction and goes back to committing each statement by itself. A commit
    // that fails is followed by a rollback, so that nothing stays open; a connection lost on
    // the way has nothing left to restore.
    void endTransaction(SQLSMALLINT completion)
    {
        Session &current = *session();
        std::exception_ptr failure;
        try {
            current.endTransaction(completion);
        } catch (const DatabaseError &) {
            failure = std::current_exception();
            try {
                if (current.isConnected())
                    current.endTransaction(SQL_ROLLBACK);
            } catch (const DatabaseError &) {
                // the commit's failure is the one to report
            }
        }
        m_inTransaction = false;
        if (current.isConnected())
            restoreAfterTransaction();
        if (failure)
            std::rethrow_exception(failure);
    }

    // Where the driver honours the access mode; one that does not is left as it is.
    static void setAccessMode(Session &current, SQLULEN mode)
    {
        SqlHandle connection = current.connection();
        current.watched(nullptr, [&] {
            return SQLSetConnectAttr(connection, SQL_ATTR_ACCESS_MODE,
                                     reinterpret_cast<SQLPOINTER>(mode), 0);
        });
    }

    void restoreAfterTransaction()
    {
        Session &current = *session();
        current.setAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
        if (std::exchange(m_inSnapshot, false)) {
            current.setAttribute(SQL_ATTR_TXN_ISOLATION, m_defaultIsolation);
            setAccessMode(current, SQL_MODE_READ_WRITE);
        }
    }

    std::shared_ptr<Session> m_session;
    Dialect m_dialect;
    SQLULEN m_snapshotIsolation = 0;
    SQLULEN m_defaultIsolation = 0;
    bool m_inTransaction = false;
    bool m_inSnapshot = false;
};

} // namespace

std::unique_ptr<Provider> createOdbcProvider()
{
    return std::make_unique<OdbcProvider>();
}

} // namespace zarn::dal
