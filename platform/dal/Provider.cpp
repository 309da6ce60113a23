#include "platform/dal/Provider.h"

#include "platform/dal/SqlText.h"

namespace zarn::dal {

RowWriteStatement Provider::insertRow(const QString &table, const QStringList &columns) const
{
    const QString values = columns.isEmpty() ? QStringLiteral("DEFAULT VALUES")
                                             : QStringLiteral("(%1) VALUES (%2)")
                                                   .arg(columns.join(QStringLiteral(", ")),
                                                        sqltext::parameterMarkers(columns.size()));
    return {QStringLiteral("INSERT INTO %1 %2 RETURNING *").arg(table, values), true};
}

RowWriteStatement Provider::updateRow(const QString &table, const QStringList &columns,
                                      const QString &condition) const
{
    return {
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 RETURNING *")
            .arg(table, columns.join(QStringLiteral(" = ?, ")) + QStringLiteral(" = ?"), condition),
        true};
}

Value Provider::lastInsertedKey()
{
    throw DatabaseError(QStringLiteral(
        "The key that the server assigned to the inserted row cannot be asked for."));
}

} // namespace zarn::dal
