#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/RowSet.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace zarn::dal {

// The table behind an updatable record set: how SQL names it and its bare name.
struct TableRef
{
    QString sql;
    QString name;
};

// Writes the changes of a static record set to its table, one row at a time, in the statements
// that the connection's provider forms for its server. A row is found by its primary key, or,
// in a table without one (or a record set that lacks a key column), by all its values.
class TableWriter
{
public:
    TableWriter(Connection &connection, TableRef table, QStringList columns);

    // Inserts the assigned values; the row as the database stored it (key, defaults).
    Row insert(const Row &values, const std::vector<bool> &assigned);
    // Writes the assigned values over the row that held the original values; the row as the
    // database stored it where it can be read back by its key, as written otherwise.
    Row update(const Row &original, const Row &values, const std::vector<bool> &assigned);
    void remove(const Row &original);
    // The row as the database holds it now.
    Row reread(const Row &original);

private:
    // A condition that finds one row of the table.
    struct RowFilter
    {
        QString sql;
        std::vector<Value> params;
        bool byKey = false;
    };

    Provider &provider() const { return m_connection.provider(); }
    QString quoted(const QString &name) const { return provider().quoteIdentifier(name); }
    DatabaseError rowMissing() const;

    const std::vector<int> &keyColumns();
    RowFilter filterFor(const Row &original);
    RowFilter uniqueFilterFor(const Row &original);
    long countMatches(const RowFilter &filter);
    // The inserted row, found by its key: the assigned key values, or the one the server
    // assigned.
    Row insertedRow(const Row &values, const std::vector<bool> &assigned);
    void run(const QString &sql, const std::vector<Value> &params);
    Row singleRow(const QString &sql, const std::vector<Value> &params, const Row &fallback);

    Connection &m_connection;
    TableRef m_table;
    QStringList m_columns;
    std::optional<std::vector<int>> m_keyColumns;
};

} // namespace zarn::dal
