#include "platform/dal/StreamedRowSet.h"

#include "platform/dal/SqlText.h"
#include "platform/dal/Transaction.h"

#include <optional>

namespace zarn::dal {

namespace {

// The only statement of a query text, for nesting it in another query.
QString singleStatement(const QString &sql, const SqlDialect &dialect)
{
    const QStringList statements = sqltext::splitStatements(sql, dialect);
    if (statements.size() != 1)
        throw DatabaseError(QStringLiteral("The query text holds %1 statements; one is needed.")
                                .arg(statements.size()));
    return statements.front();
}

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

std::unique_ptr<RowSet> openStreamedRows(Connection &connection, const QString &sql,
                                         const std::vector<Value> &params)
{
    return std::make_unique<StreamedRowSet>(connection, sql, params);
}

} // namespace zarn::dal
