#include "platform/Error.h"

namespace zarn {

Error::Error(long number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toStdString())
{}

QString describedError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("an unknown error");
    }
}

Error invalidProcedureCall()
{
    return Error(errc::InvalidProcedureCall, QStringLiteral("Invalid procedure call or argument"));
}

Error overflow()
{
    return Error(errc::Overflow, QStringLiteral("Overflow"));
}

Error divisionByZero()
{
    return Error(errc::DivisionByZero, QStringLiteral("Division by zero"));
}

Error typeMismatch()
{
    return Error(errc::TypeMismatch, QStringLiteral("Type mismatch"));
}

Error invalidUseOfNull()
{
    return Error(errc::InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
}

DatabaseError::DatabaseError(const QString &description, QString sqlState,
                             std::optional<long long> nativeCode)
    : Error(errc::Database, description), m_sqlState(std::move(sqlState)), m_nativeCode(nativeCode)
{}

} // namespace zarn
