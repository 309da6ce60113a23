#include "platform/dal/Recordset.h"

#include "platform/Error.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/Transaction.h"

#include <deque>
#include <optional>

namespace zarn::dal {

namespace {

Error closedError()
{
    return Error(3704, QStringLiteral("Operation is not allowed when the object is closed."));
}

Error openError()
{
    return Error(3705, QStringLiteral("Operation is not allowed when the object is open."));
}

Error noCurrentRecord()
{
    return Error(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                      "deleted. Requested operation requires a current record."));
}

Error notUpdatable()
{
    return Error(3251, QStringLiteral("Current Recordset does not support updating. This may be a "
                                      "limitation of the provider, or of the selected locktype."));
}

Error notAllowedHere()
{
    return Error(3219, QStringLiteral("Operation is not allowed in this context."));
}

Error noSuchField()
{
    return Error(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                      "requested name or ordinal."));
}

DatabaseError noBaseTable()
{
    return DatabaseError(QStringLiteral("Insufficient base table information for updating or "
                                        "refreshing: the record set does not read a single "
                                        "table."));
}

using Row = std::vector<Value>;

QStringList columnNamesOf(const Statement &statement)
{
    QStringList names;
    for (int column = 0; column < statement.columnCount(); ++column)
        names.append(statement.columnName(column));
    return names;
}

Row currentRowOf(const Statement &statement)
{
    Row row;
    row.reserve(static_cast<std::size_t>(statement.columnCount()));
    for (int column = 0; column < statement.columnCount(); ++column)
        row.push_back(statement.columnValue(column));
    return row;
}

int indexOfName(const QStringList &names, const QString &name)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The only statement of a query text, for nesting it in another query.
QString singleStatement(const QString &sql, const SqlDialect &dialect)
{
    const QStringList statements = sqltext::splitStatements(sql, dialect);
    if (statements.size() != 1)
        throw DatabaseError(QStringLiteral("The query text holds %1 statements; one is needed.")
                                .arg(statements.size()));
    return statements.front();
}

// The table behind an updatable record set: how SQL names it and its bare name.
struct TableRef
{
    QString sql;
    QString name;
};

// A condition that finds one row of the table: by its primary key, or, for a table without
// one (or a record set that lacks a key column), by all its values.
struct RowFilter
{
    QString sql;
    std::vector<Value> params;
    bool byKey = false;
};

// Writes the changes of a static record set to its table, one row at a time.
class TableWriter
{
public:
    TableWriter(Connection &connection, TableRef table, QStringList columns)
        : m_connection(connection), m_table(std::move(table)), m_columns(std::move(columns))
    {}

    // Inserts the assigned values; the row as the database stored it (key, defaults).
    Row insert(const Row &values, const std::vector<bool> &assigned)
    {
        QStringList names;
        QStringList markers;
        std::vector<Value> params;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!assigned[i])
                continue;
            names.append(quoted(m_columns[static_cast<int>(i)]));
            markers.append(QStringLiteral("?"));
            params.push_back(values[i]);
        }
        const QString target = names.isEmpty() ? QStringLiteral("DEFAULT VALUES")
                                               : QStringLiteral("(%1) VALUES (%2)")
                                                     .arg(names.join(QStringLiteral(", ")),
                                                          markers.join(QStringLiteral(", ")));
        return singleRow(QStringLiteral("INSERT INTO %1 %2 RETURNING *").arg(m_table.sql, target),
                         params, values);
    }

    // Writes the assigned values over the row that held the original values.
    Row update(const Row &original, const Row &values, const std::vector<bool> &assigned)
    {
        QStringList settings;
        std::vector<Value> params;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!assigned[i])
                continue;
            settings.append(quoted(m_columns[static_cast<int>(i)]) + QStringLiteral(" = ?"));
            params.push_back(values[i]);
        }
        if (settings.isEmpty())
            return original;
        const RowFilter filter = uniqueFilterFor(original);
        params.insert(params.end(), filter.params.begin(), filter.params.end());
        return singleRow(QStringLiteral("UPDATE %1 SET %2 WHERE %3 RETURNING *")
                             .arg(m_table.sql, settings.join(QStringLiteral(", ")), filter.sql),
                         params, values);
    }

    void remove(const Row &original)
    {
        const RowFilter filter = uniqueFilterFor(original);
        auto statement = provider().prepare(
            QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_table.sql, filter.sql));
        statement->execute(filter.params);
        while (statement->fetch()) {
        }
        if (statement->rowsAffected() != 1)
            throw rowMissing();
    }

    // The row as the database holds it now.
    Row reread(const Row &original)
    {
        const RowFilter filter = filterFor(original);
        return singleRow(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(m_table.sql, filter.sql),
                         filter.params, original);
    }

private:
    Provider &provider() const { return m_connection.provider(); }
    QString quoted(const QString &name) const { return provider().quoteIdentifier(name); }

    DatabaseError rowMissing() const
    {
        return DatabaseError(QStringLiteral("The row cannot be found in table %1: it was changed "
                                            "or deleted since it was read.")
                                 .arg(m_table.name));
    }

    // The record set's columns that hold the table's primary key; empty when it has none or
    // the record set lacks one of them.
    const std::vector<int> &keyColumns()
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

    RowFilter filterFor(const Row &original)
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

    // A filter that matches the one row: a key always does; values must match exactly one row,
    // or the change would reach other rows that hold the same values.
    RowFilter uniqueFilterFor(const Row &original)
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

    long countMatches(const RowFilter &filter)
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

    // Runs a statement that must give exactly one row, and maps that row onto the record set's
    // columns by name; columns it lacks keep their value from fallback.
    Row singleRow(const QString &sql, const std::vector<Value> &params, const Row &fallback)
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

    Connection &m_connection;
    TableRef m_table;
    QStringList m_columns;
    std::optional<std::vector<int>> m_keyColumns;
};

// The rows behind an open record set.
class RowSet
{
public:
    virtual ~RowSet() = default;

    virtual const QStringList &columnNames() const = 0;
    virtual bool bof() const = 0;
    virtual bool eof() const = 0;
    virtual long recordCount() const = 0;
    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual const Value &value(int column) const = 0;
    virtual void close() = 0;

    virtual void setValue(int, const Value &) { throw notUpdatable(); }
    virtual void addNew() { throw notUpdatable(); }
    virtual void update() { throw notUpdatable(); }
    virtual void remove() { throw notUpdatable(); }
    virtual void resync() { throw noBaseTable(); }
};

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

// Rows read one at a time from a cursor inside a read snapshot, which ends at close. The
// count is taken in the same snapshot, so it matches the rows that the cursor gives.
class StreamedRowSet : public RowSet
{
public:
    StreamedRowSet(Connection &connection, const QString &sql, const std::vector<Value> &params)
        : m_query(singleStatement(sql, connection.provider().sqlDialect())),
          m_snapshot(std::in_place, connection, Transaction::Mode::ReadSnapshot)
    {
        Provider &provider = connection.provider();
        m_count = countRows(provider, m_query, params);
        m_cursor = provider.prepareCursor(m_query);
        m_cursor->execute(params);
        m_columns = columnNamesOf(*m_cursor);
        fetchNext();
        m_empty = m_atEnd;
    }

    const QStringList &columnNames() const override { return m_columns; }
    bool bof() const override { return m_empty; }
    bool eof() const override { return m_atEnd; }
    long recordCount() const override { return m_count; }
    void moveFirst() override { throw notAllowedHere(); }
    void moveLast() override { throw notAllowedHere(); }

    void moveNext() override
    {
        if (m_atEnd)
            throw noCurrentRecord();
        fetchNext();
    }

    const Value &value(int column) const override
    {
        if (m_atEnd)
            throw noCurrentRecord();
        return m_row[static_cast<std::size_t>(column)];
    }

    void close() override
    {
        m_cursor.reset();
        m_snapshot.reset();
    }

private:
    static long countRows(Provider &provider, const QString &query,
                          const std::vector<Value> &params)
    {
        // The query on lines of its own, so that a comment at its end cannot hide the ")".
        auto count =
            provider.prepare(QStringLiteral("SELECT COUNT(*) FROM (\n%1\n) AS q").arg(query));
        count->execute(params);
        if (!count->fetch())
            throw DatabaseError(QStringLiteral("Counting the rows of the query gave no result."));
        const long rows = static_cast<long>(count->columnValue(0).toDouble());
        while (count->fetch()) {
        }
        return rows;
    }

    void fetchNext()
    {
        m_atEnd = !m_cursor->fetch();
        if (!m_atEnd)
            m_row = currentRowOf(*m_cursor);
    }

    QString m_query;
    std::optional<Transaction> m_snapshot; // before the cursor, which ends first
    std::unique_ptr<Statement> m_cursor;
    QStringList m_columns;
    Row m_row;
    long m_count = 0;
    bool m_atEnd = true;
    bool m_empty = true;
};

} // namespace

struct Recordset::Impl
{
    std::unique_ptr<RowSet> rows;
    std::deque<Field> fields;
};

namespace {

// The rows of an open record set; a closed or moved-from one has none.
template <class ImplPointer> RowSet &openRows(const ImplPointer &d)
{
    if (!d || !d->rows)
        throw closedError();
    return *d->rows;
}

} // namespace

Recordset::Recordset() : d(std::make_unique<Impl>()) {}

Recordset::~Recordset()
{
    try {
        Close();
    } catch (const std::exception &) {
        // Released without a clean close, as after an error: the server ends what is left.
    }
}

Recordset::Recordset(Recordset &&other) noexcept : d(std::move(other.d))
{
    if (d) {
        for (Field &field : d->fields)
            field.m_owner = this;
    }
}

Recordset &Recordset::operator=(Recordset &&other) noexcept
{
    if (this == &other)
        return *this;
    try {
        Close();
    } catch (const std::exception &) {
        // As in the destructor.
    }
    d = std::move(other.d);
    if (d) {
        for (Field &field : d->fields)
            field.m_owner = this;
    }
    return *this;
}

void Recordset::Open(const QString &source, Connection &connection, CursorTypeEnum cursorType,
                     LockTypeEnum lockType, int options, const std::vector<Value> &params)
{
    if (isOpen())
        throw openError();
    if (!d)
        d = std::make_unique<Impl>();
    const bool onTable = options != adOptionUnspecified && (options & adCmdTable) != 0;
    std::optional<TableRef> table;
    QString sql = source;
    if (onTable) {
        table = TableRef{connection.quoteIdentifier(source), source};
        sql = QStringLiteral("SELECT * FROM ") + table->sql;
    } else {
        const SqlDialect &dialect = connection.provider().sqlDialect();
        if (const std::optional<QString> name = sqltext::singleTableOf(source, dialect))
            table = TableRef{*name, sqltext::unquotedName(*name, dialect)};
    }
    if (cursorType == adOpenForwardOnly)
        d->rows = std::make_unique<StreamedRowSet>(connection, sql, params);
    else
        d->rows = std::make_unique<StaticRowSet>(connection, sql, params,
                                                 lockType == adLockReadOnly, std::move(table));
    d->fields.clear();
    const QStringList &names = d->rows->columnNames();
    for (int i = 0; i < names.size(); ++i)
        d->fields.push_back(Field(*this, names[i], i));
}

void Recordset::Close()
{
    if (!isOpen())
        return;
    std::unique_ptr<RowSet> rows = std::move(d->rows);
    rows->close();
}

bool Recordset::isOpen() const
{
    return d && d->rows;
}

bool Recordset::Bof() const
{
    return openRows(d).bof();
}

bool Recordset::Eof() const
{
    return openRows(d).eof();
}

long Recordset::RecordCount() const
{
    return openRows(d).recordCount();
}

void Recordset::MoveFirst()
{
    openRows(d).moveFirst();
}

void Recordset::MoveLast()
{
    openRows(d).moveLast();
}

void Recordset::MoveNext()
{
    openRows(d).moveNext();
}

int Recordset::FieldCount() const
{
    openRows(d);
    return static_cast<int>(d->fields.size());
}

Field &Recordset::Fields(const QString &name)
{
    openRows(d);
    for (Field &field : d->fields) {
        if (field.Name().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    throw noSuchField();
}

Field &Recordset::Fields(int index)
{
    if (index < 0 || index >= FieldCount())
        throw noSuchField();
    return d->fields[static_cast<std::size_t>(index)];
}

void Recordset::AddNew()
{
    openRows(d).addNew();
}

void Recordset::Update()
{
    openRows(d).update();
}

void Recordset::Delete(AffectEnum)
{
    openRows(d).remove();
}

void Recordset::Resync(AffectEnum, ResyncEnum)
{
    openRows(d).resync();
}

const zarn::Value &Field::Value() const
{
    return openRows(m_owner->d).value(m_index);
}

void Field::SetValue(const zarn::Value &value)
{
    openRows(m_owner->d).setValue(m_index, value);
}

} // namespace zarn::dal
