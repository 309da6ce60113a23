#include "platform/dal/TableWriter.h"

#include <utility>

namespace zarn::dal {

TableWriter::TableWriter(Connection &connection, TableRef table, QStringList columns)
    : m_connection(connection), m_table(std::move(table)), m_columns(std::move(columns))
{}

Row TableWriter::insert(const Row &values, const std::vector<bool> &assigned)
{
    QStringList names;
    std::vector<Value> params;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!assigned[i])
            continue;
        names.append(quoted(m_columns[static_cast<int>(i)]));
        params.push_back(values[i]);
    }
    const RowWriteStatement statement = provider().insertRow(m_table.sql, names);
    if (statement.returnsRow)
        return singleRow(statement.sql, params, values);
    run(statement.sql, params);
    return insertedRow(values, assigned);
}

Row TableWriter::update(const Row &original, const Row &values, const std::vector<bool> &assigned)
{
    QStringList names;
    std::vector<Value> params;
    Row written = original;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!assigned[i])
            continue;
        names.append(quoted(m_columns[static_cast<int>(i)]));
        params.push_back(values[i]);
        written[i] = values[i];
    }
    if (names.isEmpty())
        return original;
    const RowFilter filter = uniqueFilterFor(original);
    params.insert(params.end(), filter.params.begin(), filter.params.end());
    const RowWriteStatement statement = provider().updateRow(m_table.sql, names, filter.sql);
    if (statement.returnsRow)
        return singleRow(statement.sql, params, values);
    run(statement.sql, params);
    return filter.byKey ? reread(written) : written;
}

void TableWriter::remove(const Row &original)
{
    const RowFilter filter = uniqueFilterFor(original);
    auto statement =
        provider().prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_table.sql, filter.sql));
    statement->execute(filter.params);
    while (statement->fetch()) {
    }
    if (statement->rowsAffected() != 1)
        throw rowMissing();
}

Row TableWriter::reread(const Row &original)
{
    const RowFilter filter = filterFor(original);
    return singleRow(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(m_table.sql, filter.sql),
                     filter.params, original);
}

DatabaseError TableWriter::rowMissing() const
{
    return DatabaseError(QStringLiteral("The row cannot be found in table %1: it was changed "
                                        "or deleted since it was read.")
                             .arg(m_table.name));
}

// The record set's columns that hold the table's primary key; empty when it has none or the
// record set lacks one of them.
const std::vector<int> &TableWriter::keyColumns()
{
    if (m_keyColumns)
        return *m_keyColumns;
    std::vector<int> columns;
    for (const QString &key : provider().primaryKey(m_table.name)) {
        const int column = indexOfName(m_columns, key);
        if (column < 0) {
            columns.clear();
            break;
        }
        columns.push_back(column);
    }
    m_keyColumns = std::move(columns);
    return *m_keyColumns;
}

TableWriter::RowFilter TableWriter::filterFor(const Row &original)
{
    std::vector<int> columns = keyColumns();
    const bool byKey = !columns.empty();
    if (!byKey) {
        for (int i = 0; i < m_columns.size(); ++i)
            columns.push_back(i);
    }
    RowFilter filter;
    filter.byKey = byKey;
    QStringList conditions;
    for (int column : columns) {
        const Value &value = original[static_cast<std::size_t>(column)];
        if (value.isNull() || value.isEmpty()) {
            conditions.append(quoted(m_columns[column]) + QStringLiteral(" IS NULL"));
        } else {
            conditions.append(quoted(m_columns[column]) + QStringLiteral(" = ?"));
            filter.params.push_back(value);
        }
    }
    filter.sql = conditions.join(QStringLiteral(" AND "));
    return filter;
}

// A filter that matches the one row: a key always does; values must match exactly one row, or
// the change would reach other rows that hold the same values.
TableWriter::RowFilter TableWriter::uniqueFilterFor(const Row &original)
{
    RowFilter filter = filterFor(original);
    if (filter.byKey)
        return filter;
    const long matches = countMatches(filter);
    if (matches == 0)
        throw rowMissing();
    if (matches > 1)
        throw DatabaseError(QStringLiteral("The row cannot be told apart in table %1: %2 rows "
                                           "hold the same values and the table has no "
                                           "primary key.")
                                .arg(m_table.name)
                                .arg(matches));
    return filter;
}

long TableWriter::countMatches(const RowFilter &filter)
{
    auto statement = provider().prepare(
        QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(m_table.sql, filter.sql));
    statement->execute(filter.params);
    const long matches =
        statement->fetch() ? static_cast<long>(statement->columnValue(0).toDouble()) : 0;
    while (statement->fetch()) {
    }
    return matches;
}

// A table without a key gives no way to the stored row: its values stand as written.
Row TableWriter::insertedRow(const Row &values, const std::vector<bool> &assigned)
{
    const std::vector<int> &key = keyColumns();
    if (key.empty())
        return values;
    Row stored = values;
    bool assignedByServer = false;
    for (int column : key) {
        const auto i = static_cast<std::size_t>(column);
        if (assigned[i])
            continue;
        if (assignedByServer)
            throw DatabaseError(QStringLiteral("The row inserted into table %1 cannot be read "
                                               "back: more than one of its key columns was left "
                                               "to the server.")
                                    .arg(m_table.name));
        stored[i] = provider().lastInsertedKey();
        assignedByServer = true;
    }
    return reread(stored);
}

void TableWriter::run(const QString &sql, const std::vector<Value> &params)
{
    auto statement = provider().prepare(sql);
    statement->execute(params);
    while (statement->fetch()) {
    }
}

// Runs a statement that must give exactly one row, and maps that row onto the record set's
// columns by name; columns it lacks keep their value from fallback.
Row TableWriter::singleRow(const QString &sql, const std::vector<Value> &params,
                           const Row &fallback)
{
    auto statement = provider().prepare(sql);
    statement->execute(params);
    if (!statement->fetch())
        throw rowMissing();
    Row row = fallback;
    for (int column = 0; column < statement->columnCount(); ++column) {
        const int target = indexOfName(m_columns, statement->columnName(column));
        if (target >= 0)
            row[static_cast<std::size_t>(target)] = statement->columnValue(column);
    }
    if (statement->fetch()) {
        while (statement->fetch()) {
        }
        throw DatabaseError(
            QStringLiteral("More than one row of table %1 was found.").arg(m_table.name));
    }
    return row;
}

} // namespace zarn::dal
