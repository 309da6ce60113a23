#include "platform/dal/sqlite/SqliteValues.h"

#include "platform/Error.h"
#include "platform/dal/sqlite/SqliteDateTime.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace zarn::dal::sqlite {

namespace {

int bindText(sqlite3_stmt *stmt, int position, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text64(stmt, position, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

Value numberOf(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_FLOAT)
        return Value(sqlite3_column_double(stmt, column));
    const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
    if (v >= std::numeric_limits<std::int32_t>::min() &&
        v <= std::numeric_limits<std::int32_t>::max())
        return Value(static_cast<std::int32_t>(v));
    return Value(static_cast<std::int64_t>(v));
}

} // namespace

int bindValue(sqlite3_stmt *stmt, int position, const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return sqlite3_bind_null(stmt, position);
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return sqlite3_bind_int64(stmt, position, value.toText().toLongLong());
    case Value::Kind::Double:
        return sqlite3_bind_double(stmt, position, value.toDouble());
    case Value::Kind::Bool:
        return sqlite3_bind_int(stmt, position, value.toBool() ? 1 : 0);
    case Value::Kind::Text:
        return bindText(stmt, position, value.toText());
    case Value::Kind::DateTime:
        return bindText(stmt, position, value.toDateTime().toIsoText());
    }
    return SQLITE_MISUSE;
}

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
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        if (dateTimeColumn) {
            if (const std::optional<DateTime> dateTime =
                    dateTimeOfJulianDay(sqlite3_column_double(stmt, column)))
                return Value(*dateTime);
        }
        return numberOf(stmt, column);
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

} // namespace zarn::dal::sqlite
