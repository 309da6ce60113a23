#include "platform/dal/StaticRowSet.h"

#include <deque>

namespace zarn::dal {

namespace {

// Every row fetched at open, held on the client. The current row is an index into the rows;
// a deleted row leaves the index on the row after it, marked as standing on the deleted row
// until the next move, so that "Delete, MoveNext" steps to the row that followed.
class StaticRowSet : public RowSet
{
public:
    StaticRowSet(Connection &connection, const QString &sql, const std::vector<Value> &params,
                 bool readOnly, std::optional<TableRef> table)
        : m_readOnly(readOnly)
    {
        auto statement = connection.provider().prepare(sql);
        statement->execute(params);
        m_columns = columnNamesOf(*statement);
        while (statement->fetch())
            m_rows.push_back(currentRowOf(*statement));
        if (table)
            m_writer.emplace(connection, std::move(*table), m_columns);
    }

    const QStringList &columnNames() const override { return m_columns; }
    bool bof() const override { return !standsOnDeletedRow() && m_rows.empty() && !adding(); }
    bool eof() const override
    {
        return !standsOnDeletedRow() && m_position >= m_rows.size() && !adding();
    }
    long recordCount() const override { return static_cast<long>(m_rows.size()); }

    void moveFirst() override
    {
        saveChanges();
        if (m_rows.empty())
            throw noCurrentRecord();
        moveTo(0);
    }

    void moveLast() override
    {
        saveChanges();
        if (m_rows.empty())
            throw noCurrentRecord();
        moveTo(m_rows.size() - 1);
    }

    void moveNext() override
    {
        saveChanges();
        if (standsOnDeletedRow()) {
            m_deletedHere = false; // the index already stands on the following row
            return;
        }
        if (m_position >= m_rows.size())
            throw noCurrentRecord();
        ++m_position;
    }

    const Value &value(int column) const override
    {
        if (m_editMode != EditMode::None)
            return m_buffer[static_cast<std::size_t>(column)];
        return currentRow()[static_cast<std::size_t>(column)];
    }

    void setValue(int column, const Value &value) override
    {
        requireWritable();
        if (m_editMode == EditMode::None) {
            m_buffer = currentRow();
            m_assigned.assign(m_buffer.size(), false);
            m_editMode = EditMode::Editing;
        }
        m_buffer[static_cast<std::size_t>(column)] = value;
        m_assigned[static_cast<std::size_t>(column)] = true;
    }

    void addNew() override
    {
        requireWritable();
        saveChanges();
        m_buffer.assign(static_cast<std::size_t>(m_columns.size()), Value::null());
        m_assigned.assign(m_buffer.size(), false);
        m_editMode = EditMode::Adding;
    }

    void update() override
    {
        requireWritable();
        saveChanges();
    }

    void remove() override
    {
        requireWritable();
        const bool cancelsNewRow = adding();
        cancelChanges();
        if (cancelsNewRow)
            return; // the new row never reached the database
        const Row &row = currentRow();
        m_writer->remove(row);
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(m_position));
        m_deletedHere = true;
    }

    void resync() override
    {
        if (!m_writer)
            throw noBaseTable();
        cancelChanges();
        Row &row = currentRow();
        row = m_writer->reread(row);
    }

    void close() override {}

private:
    enum class EditMode { None, Editing, Adding };

    bool adding() const { return m_editMode == EditMode::Adding; }
    bool standsOnDeletedRow() const { return m_deletedHere; }

    void moveTo(std::size_t position)
    {
        m_position = position;
        m_deletedHere = false;
    }

    const Row &currentRow() const
    {
        if (standsOnDeletedRow() || m_position >= m_rows.size())
            throw noCurrentRecord();
        return m_rows[m_position];
    }

    Row &currentRow()
    {
        return const_cast<Row &>(static_cast<const StaticRowSet *>(this)->currentRow());
    }

    void requireWritable() const
    {
        if (m_readOnly)
            throw notUpdatable();
        if (!m_writer)
            throw noBaseTable();
    }

    // Stores a pending new row or pending changes, as Update, AddNew and every move do. A
    // failure leaves them pending.
    void saveChanges()
    {
        if (m_editMode == EditMode::Adding) {
            m_rows.push_back(m_writer->insert(m_buffer, m_assigned));
            moveTo(m_rows.size() - 1);
        } else if (m_editMode == EditMode::Editing) {
            Row &row = currentRow();
            row = m_writer->update(row, m_buffer, m_assigned);
        }
        cancelChanges();
    }

    void cancelChanges()
    {
        m_editMode = EditMode::None;
        m_buffer.clear();
        m_assigned.clear();
    }

    bool m_readOnly;
    QStringList m_columns;
    std::deque<Row> m_rows;
    std::size_t m_position = 0;
    bool m_deletedHere = false;
    EditMode m_editMode = EditMode::None;
    Row m_buffer;
    std::vector<bool> m_assigned;
    std::optional<TableWriter> m_writer;
};

} // namespace

std::unique_ptr<RowSet> openStaticRows(Connection &connection, const QString &sql,
                                       const std::vector<Value> &params, bool readOnly,
                                       std::optional<TableRef> table)
{
    return std::make_unique<StaticRowSet>(connection, sql, params, readOnly, std::move(table));
}

} // namespace zarn::dal
