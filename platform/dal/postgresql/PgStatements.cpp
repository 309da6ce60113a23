#include "platform/dal/postgresql/PgStatements.h"

#include "platform/Error.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <libpq-fe.h>
#include <utility>

namespace zarn::dal::pg {

namespace {

// Identifiers of the server's built-in types (pg_type.oid); they never change.
constexpr Oid boolType = 16;
constexpr Oid int8Type = 20;
constexpr Oid int2Type = 21;
constexpr Oid int4Type = 23;
constexpr Oid float4Type = 700;
constexpr Oid float8Type = 701;
constexpr Oid dateType = 1082;
constexpr Oid timestampType = 1114;
constexpr Oid numericType = 1700;

// Rows per round trip of a streamed statement: few round trips, flat memory.
constexpr int cursorBatchRows = 10000;

} // namespace

// The name folded as the server folds an unquoted one, which lowers ASCII letters only, and
// quoted.
QString quotedName(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    folded.replace(u'"', QStringLiteral("\"\""));
    return u'"' + folded + u'"';
}

const SqlDialect &postgresDialect()
{
    static const SqlDialect dialect = [] {
        SqlDialect d;
        d.backtickNames = false;
        d.escapeStrings = true;
        d.dollarQuotes = true;
        d.nestedComments = true;
        return d;
    }();
    return dialect;
}

TranslatedSql translateSql(const QString &sql)
{
    TranslatedSql out;
    out.text.reserve(sql.size() + 16);
    for (const SqlToken &token : sqlTokens(sql, postgresDialect())) {
        if (token.kind == SqlTokenKind::Placeholder)
            out.text += u'$' + QString::number(++out.parameterCount);
        else if (token.kind == SqlTokenKind::QuotedName && sql[token.start] == u'[')
            out.text += quotedName(unquotedToken(sql, token));
        else
            out.text += tokenText(sql, token);
    }
    return out;
}

// A possibly schema-qualified name ("name" or "schema.name") quoted part by part.
QString quotedQualifiedName(const QString &name)
{
    QStringList parts = name.split(u'.');
    for (QString &part : parts)
        part = quotedName(part.trimmed());
    return parts.join(u'.');
}

// ---------------------------------------------------------------------------------------------
// Values to the server.

namespace {

QByteArray doubleText(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    char buffer[32];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, value); // round-trips
    return QByteArray(buffer, converted.ptr - buffer);
}

} // namespace

std::optional<QByteArray> parameterText(const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return std::nullopt;
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return value.toText().toLatin1();
    case Value::Kind::Double:
        return doubleText(value.toDouble());
    case Value::Kind::Bool:
        // Read as a boolean by boolean columns and as a number by integer columns.
        return value.toBool() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case Value::Kind::Text:
        return value.toText().toUtf8();
    case Value::Kind::DateTime:
        return value.toDateTime().toIsoText().toLatin1();
    }
    return std::nullopt;
}

// The parameter values of one execution in the form the client library takes them.
const char *const *ParameterTexts::values()
{
    m_pointers.clear();
    for (const std::optional<QByteArray> &text : m_texts)
        m_pointers.push_back(text ? text->constData() : nullptr);
    return m_pointers.data();
}

ParameterTexts parameterTexts(const std::vector<Value> &values)
{
    ParameterTexts texts;
    for (const Value &value : values)
        texts.add(value);
    return texts;
}

// ---------------------------------------------------------------------------------------------
// Values from the server, read from their text form by the column's type.

namespace {

[[noreturn]] void unreadableValue(const char *text, const char *kind)
{
    throw DatabaseError(QStringLiteral("The server sent the %1 value \"%2\", which cannot be read.")
                            .arg(QLatin1String(kind), QString::fromUtf8(text)));
}

long long integerValue(const char *text, int length)
{
    long long value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "integer");
    return value;
}

double doubleValue(const char *text, int length)
{
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value); // also reads NaN, Infinity
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "number");
    return value;
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS[.ffffff]" as the ISO date style writes them; the
// fraction is rounded to the millisecond. Plain calendar arithmetic: no time zone is involved.
DateTime dateTimeValue(const char *text)
{
    if (const std::optional<DateTime> value = DateTime::parseIso(QString::fromLatin1(text)))
        return *value;
    unreadableValue(text, "date-time");
}

} // namespace

Value fieldValue(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return Value::null();
    const char *text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    switch (PQftype(result, column)) {
    case int2Type:
        return Value(static_cast<std::int16_t>(integerValue(text, length)));
    case int4Type:
        return Value(static_cast<std::int32_t>(integerValue(text, length)));
    case int8Type:
        return Value(static_cast<std::int64_t>(integerValue(text, length)));
    case float4Type:
    case float8Type:
    case numericType:
        return Value(doubleValue(text, length));
    case boolType:
        return Value(*text == 't');
    case dateType:
    case timestampType:
        return Value(dateTimeValue(text));
    default:
        return Value(QString::fromUtf8(text, length));
    }
}

// ---------------------------------------------------------------------------------------------
// Prepared statements.

PreparedStatement::PreparedStatement(std::shared_ptr<Session> session, const QString &sql,
                                     const std::vector<Oid> &parameterTypes)
    : m_session(std::move(session)), m_name(m_session->newName("zarn_statement_"))
{
    m_session->sent(PQsendPrepare(m_session->connection(), m_name.constData(),
                                  sql.toUtf8().constData(), static_cast<int>(parameterTypes.size()),
                                  parameterTypes.empty() ? nullptr : parameterTypes.data()));
    m_session->lastResult();
}

PreparedStatement::~PreparedStatement()
{
    if (m_session->canCleanUp())
        m_session->runQuietly("DEALLOCATE " + m_name);
}

Result PreparedStatement::run(ParameterTexts &parameters) const
{
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        parameters.count(), parameters.values(), nullptr, nullptr,
                                        0));
    return m_session->lastResult();
}

void PreparedStatement::send(ParameterTexts &parameters) const
{
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        parameters.count(), parameters.values(), nullptr, nullptr,
                                        0));
}

void PreparedStatement::sendBinary(const std::vector<QByteArray> &parameters) const
{
    std::vector<const char *> values;
    std::vector<int> lengths, formats(parameters.size(), 1);
    for (const QByteArray &parameter : parameters) {
        values.push_back(parameter.constData());
        lengths.push_back(static_cast<int>(parameter.size()));
    }
    m_session->sent(PQsendQueryPrepared(m_session->connection(), m_name.constData(),
                                        static_cast<int>(parameters.size()), values.data(),
                                        lengths.data(), formats.data(), 0));
}

namespace {

// Reading the rows of a result that the statement holds.
class ResultRows
{
public:
    void reset(Result result)
    {
        m_result = std::move(result);
        m_row = -1;
    }
    bool next() { return ++m_row < rowCount(); }
    int rowCount() const { return m_result ? PQntuples(m_result.get()) : 0; }
    int columnCount() const { return m_result ? PQnfields(m_result.get()) : 0; }
    QString columnName(int column) const
    {
        checkColumn(column);
        return QString::fromUtf8(PQfname(m_result.get(), column));
    }
    Value columnValue(int column) const
    {
        checkColumn(column);
        if (m_row < 0 || m_row >= rowCount())
            throw DatabaseError(QStringLiteral("There is no current row."));
        return fieldValue(m_result.get(), m_row, column);
    }
    PGresult *result() const { return m_result.get(); }

private:
    void checkColumn(int column) const
    {
        if (column < 0 || column >= columnCount())
            throw DatabaseError(QStringLiteral("There is no column %1.").arg(column));
    }

    Result m_result;
    int m_row = -1;
};

class PostgresStatement : public Statement
{
public:
    PostgresStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_prepared(std::move(session), translateSql(sql).text)
    {}

    void execute(const std::vector<Value> &params) override
    {
        ParameterTexts texts = parameterTexts(params);
        m_rows.reset(m_prepared.run(texts));
    }
    bool fetch() override { return m_rows.next(); }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override
    {
        const char *count = m_rows.result() ? PQcmdTuples(m_rows.result()) : "";
        return *count ? std::atoll(count) : 0;
    }

private:
    PreparedStatement m_prepared;
    ResultRows m_rows;
};

// A statement whose rows come through a server-side cursor, a batch per round trip. The cursor
// lives in the caller's transaction (the read snapshot), and between batches the connection is
// free for other statements.
class PostgresCursor : public Statement
{
public:
    PostgresCursor(const std::shared_ptr<Session> &session, const QString &sql)
        : m_session(session), m_name(session->newName("zarn_cursor_")),
          m_declare(session, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2")
                                 .arg(QLatin1String(m_name), translateSql(sql).text))
    {}
    ~PostgresCursor() override
    {
        if (m_open && m_session->canCleanUp() && cursorExists())
            m_session->runQuietly("CLOSE " + m_name);
    }

    void execute(const std::vector<Value> &params) override
    {
        if (m_open && cursorExists())
            closeCursor();
        ParameterTexts texts = parameterTexts(params);
        m_declare.run(texts);
        m_open = true;
        fetchBatch();
    }
    bool fetch() override
    {
        if (m_rows.next())
            return true;
        if (!m_open)
            return false;
        fetchBatch();
        return m_rows.next();
    }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override { return 0; }

private:
    void fetchBatch()
    {
        m_rows.reset(m_session->run("FETCH FORWARD " + QByteArray::number(cursorBatchRows) +
                                    " FROM " + m_name));
        if (m_rows.rowCount() < cursorBatchRows)
            closeCursor();
    }
    void closeCursor()
    {
        m_open = false;
        m_session->run("CLOSE " + m_name);
    }
    // The transaction that held the cursor may have ended, and the cursor with it.
    bool cursorExists()
    {
        const QByteArray query = "SELECT 1 FROM pg_cursors WHERE name = '" + m_name + "'";
        try {
            return PQntuples(m_session->run(query).get()) == 1;
        } catch (const DatabaseError &) {
            return false;
        }
    }

    std::shared_ptr<Session> m_session;
    QByteArray m_name;
    PreparedStatement m_declare;
    ResultRows m_rows;
    bool m_open = false;
};

} // namespace

std::unique_ptr<Statement> makeStatement(const std::shared_ptr<Session> &session,
                                         const QString &sql)
{
    return std::make_unique<PostgresStatement>(session, sql);
}

std::unique_ptr<Statement> makeCursor(const std::shared_ptr<Session> &session, const QString &sql)
{
    return std::make_unique<PostgresCursor>(session, sql);
}

} // namespace zarn::dal::pg
