#include "platform/dal/Connection.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"

#include <atomic>

namespace zarn::dal {

namespace {

std::uint64_t nextOpenSerial()
{
    static std::atomic<std::uint64_t> lastSerial{0};
    return ++lastSerial;
}

} // namespace

Connection::Connection() = default;

Connection::~Connection()
{
    try {
        Close();
    } catch (const std::exception &) {
        // A connection that fails to close cleanly is gone all the same.
    }
}

void Connection::Open()
{
    if (isOpen())
        throw Error(3705, QStringLiteral("Operation is not allowed when the object is open."));
    try {
        m_provider = openedProvider();
    } catch (const DatabaseError &error) {
        // Servers and client libraries may quote what they were given, and a malformed string
        // may have left a password inside another value.
        throw DatabaseError(withoutPasswords(error.description(), passwordsIn(m_connectionString)));
    }
    m_openSerial = nextOpenSerial();
}

std::unique_ptr<Provider> Connection::openedProvider() const
{
    ConnectionOptions options;
    options.keywords = parseConnectionString(m_connectionString);
    options.connectionTimeout = m_connectionTimeout;
    options.commandTimeout = m_commandTimeout;
    std::unique_ptr<Provider> provider = createProvider(options.value(QStringLiteral("Provider")));
    provider->open(options);
    return provider;
}

void Connection::Close()
{
    if (!isOpen())
        return;
    std::unique_ptr<Provider> provider = std::move(m_provider);
    m_openSerial = 0;
    provider->close();
}

Recordset Connection::Execute(const QString &sql, const std::vector<Value> &params)
{
    Recordset rows;
    rows.Open(sql, *this, adOpenStatic, adLockReadOnly, adCmdText, params);
    return rows;
}

QString Connection::quoteIdentifier(const QString &name) const
{
    return provider().quoteIdentifier(name);
}

Provider &Connection::provider() const
{
    if (!isOpen())
        throw DatabaseError(QStringLiteral("The connection is closed."));
    return *m_provider;
}

} // namespace zarn::dal
