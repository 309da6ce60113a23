#pragma once

#include <QString>
#include <exception>
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
// is the server's own text (never a password).
class DatabaseError : public Error
{
public:
    explicit DatabaseError(const QString &description);
};

// A database failure because the server gave up waiting: for a lock that another connection
// holds, or for a command past its time-out. Waiting again would most likely wait as long.
class TimeoutError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

} // namespace zarn
