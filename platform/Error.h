#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <string>

namespace zarn {

// An error as the rest of the program reports it: a number and a description, as the
// operator sees them in "the error's number and description" messages.
class Error : public std::exception
{
public:
    Error(long number, QString description);

    long number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    long m_number;
    QString m_description;
    std::string m_what;
};

// The numbered run-time errors the program raises itself.
namespace errc {
constexpr long InvalidProcedureCall = 5;
constexpr long Overflow = 6;
constexpr long DivisionByZero = 11;
constexpr long TypeMismatch = 13;
constexpr long InvalidUseOfNull = 94;
constexpr long KeyAlreadyExists = 457;
constexpr long Database = -2147467259; // what database failures carry
} // namespace errc

// The description of a caught exception, as the details and the run report give it.
QString describedError(std::exception_ptr error);

Error invalidProcedureCall();
Error overflow();
Error divisionByZero();
Error typeMismatch();
Error invalidUseOfNull();

// A failure reported by a database server or by the database access layer; the description
// is the server's own text (never a password). The server's SQLSTATE and its own code come with
// it where it gives them.
class DatabaseError : public Error
{
public:
    explicit DatabaseError(const QString &description, QString sqlState = QString(),
                           std::optional<long long> nativeCode = std::nullopt);

    // The five-character SQLSTATE; empty where the server or its driver gave none.
    const QString &sqlState() const noexcept { return m_sqlState; }
    // The server's, driver's or library's own number for the failure (SQLite's extended result
    // code, an ODBC driver's native error), where it gave one.
    std::optional<long long> nativeCode() const noexcept { return m_nativeCode; }

private:
    QString m_sqlState;
    std::optional<long long> m_nativeCode;
};

// A database failure after which the connection cannot serve the work at hand: what follows on
// it would fail or wait the same way. An import step ends at the first one.
class UnavailableError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// A database failure because the server gave up waiting: for a lock that another connection
// holds, or for a command past its time-out. Waiting again would most likely wait as long.
class TimeoutError : public UnavailableError
{
public:
    using UnavailableError::UnavailableError;
};

// The connection is gone: the server ended it or went away, the network failed, or the
// provider dropped it because the server stopped answering. Nothing more runs on it.
class ConnectionLostError : public UnavailableError
{
public:
    using UnavailableError::UnavailableError;
};

// The connection was lost, or the wait given up, after a COMMIT was sent and before its answer
// came: the server may have stored the transaction or not, and no one can tell from here.
class CommitInDoubtError : public ConnectionLostError
{
public:
    explicit CommitInDoubtError(const UnavailableError &failure)
        : ConnectionLostError(failure.description(), failure.sqlState(), failure.nativeCode())
    {}
};

} // namespace zarn
