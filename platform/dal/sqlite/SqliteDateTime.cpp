#include "platform/dal/sqlite/SqliteDateTime.h"

#include "platform/Error.h"

#include <cstdint>
#include <sqlite3.h>

namespace zarn::dal::sqlite {

namespace {

constexpr double firstJulianDay = 1757584.5;     // 100-01-01 00:00
constexpr double endOfLastJulianDay = 5373484.5; // 10000-01-01 00:00
constexpr const char *refusalFunction = "zarn_number_is_no_date_time";

QString textOf(sqlite3_value *value)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                             sqlite3_value_bytes(value));
}

// (column name, value): false for anything but a number; fails the statement for a number.
void refuseNumber(sqlite3_context *context, int, sqlite3_value **arguments)
{
    const int type = sqlite3_value_type(arguments[1]);
    if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
        sqlite3_result_int(context, 0);
        return;
    }
    const QByteArray message =
        QStringLiteral("Column %1 holds the number %2, which is no date-time: a number there is "
                       "read as a Julian day number, from %3 (100-01-01) to below %4 "
                       "(10000-01-01).")
            .arg(textOf(arguments[0]), textOf(arguments[1]),
                 QString::number(firstJulianDay, 'f', 1),
                 QString::number(endOfLastJulianDay, 'f', 1))
            .toUtf8();
    sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
}

} // namespace

std::optional<DateTime> dateTimeOfJulianDay(double julianDay)
{
    if (!(julianDay >= firstJulianDay && julianDay < endOfLastJulianDay))
        return std::nullopt;
    constexpr std::int64_t msPerDay = 86400000;
    constexpr std::int64_t msOfEpoch = 2415018 * msPerDay + msPerDay / 2; // 1899-12-30 00:00
    const auto ms = static_cast<std::int64_t>(julianDay * static_cast<double>(msPerDay) + 0.5);
    return DateTime(static_cast<double>(ms - msOfEpoch) / static_cast<double>(msPerDay));
}

QString dateTimeBetween(const QString &column)
{
    QString name = column;
    name.replace(QLatin1Char('\''), QStringLiteral("''"));
    // Each term is a range of an index on the column. The terms of numbers come first: SQLite
    // remembers the rows of every term but the last, to skip them in later terms, and numbers
    // are the few.
    return QStringLiteral("((%1>julianday(?1) AND %1<julianday(?2) AND typeof(%1)<>'text') "
                          "OR (%1<%3 AND %5('%2', %1)) "
                          "OR (%1>=%4 AND %1<'' AND %5('%2', %1)) "
                          "OR (%1>?1 AND %1<?2))")
        .arg(column, name, QString::number(firstJulianDay, 'f', 1),
             QString::number(endOfLastJulianDay, 'f', 1), QString::fromLatin1(refusalFunction));
}

void registerDateTimeFunctions(sqlite3 *db)
{
    if (sqlite3_create_function_v2(db, refusalFunction, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, refuseNumber, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace zarn::dal::sqlite
