// What exists only on the PostgreSQL server: how connections fail, the translation of query
// texts, the exactness of time stamps, streamed cursors, functions with output parameters and
// catalogs that are roles. The run sets TZ=Europe/Berlin and a foreign client date style, which
// the provider must not let through.
#include "platform/Error.h"
#include "platform/dal/postgresql/PostgresProvider.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>

namespace zarn {
void PrintTo(const Value &value, std::ostream *out)
{
    *out << static_cast<int>(value.kind()) << ':' << value.toTextOrEmpty().toStdString();
}
} // namespace zarn

namespace zarn::dal {
namespace {

const QString password = QStringLiteral("Vt2Zr");

QString serverAddress()
{
    const QByteArray host = qgetenv("ZARN_TEST_PG_HOST");
    const QByteArray port = qgetenv("ZARN_TEST_PG_PORT");
    if (host.isEmpty() || port.isEmpty())
        throw std::runtime_error("ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name no server");
    return QString::fromUtf8(host + ':' + port);
}

ConnectionOptions options(const QString &dataSource, const QString &catalog, const QString &user,
                          const QString &pass = {})
{
    ConnectionOptions result;
    result.keywords.insert(QStringLiteral("data source"), dataSource);
    if (!catalog.isEmpty())
        result.keywords.insert(QStringLiteral("initial catalog"), catalog);
    result.keywords.insert(QStringLiteral("user id"), user);
    result.keywords.insert(QStringLiteral("password"), pass);
    result.keywords.insert(QStringLiteral("application name"), QStringLiteral("postgres_test"));
    return result;
}

std::unique_ptr<Provider> openWith(const ConnectionOptions &o)
{
    auto provider = createPostgresProvider();
    provider->open(o);
    return provider;
}

// The message of the DatabaseError that opening throws.
QString openFailure(const ConnectionOptions &o)
{
    try {
        openWith(o);
    } catch (const DatabaseError &error) {
        return error.description();
    }
    return QStringLiteral("(opened)");
}

std::vector<std::vector<Value>> query(Provider &db, const QString &sql,
                                      const std::vector<Value> &params = {})
{
    auto statement = db.prepare(sql);
    statement->execute(params);
    std::vector<std::vector<Value>> rows;
    while (statement->fetch()) {
        rows.emplace_back();
        for (int c = 0; c < statement->columnCount(); ++c)
            rows.back().push_back(statement->columnValue(c));
    }
    return rows;
}

Value scalar(Provider &db, const QString &sql, const std::vector<Value> &params = {})
{
    const auto rows = query(db, sql, params);
    return rows.empty() ? Value() : rows.front().front();
}

Parameter parameter(const char *name, DataTypeEnum type, ParameterDirectionEnum direction,
                    Value value = {})
{
    return {QString::fromLatin1(name), type, direction, 0, std::move(value)};
}

DateTime at(int y, int mo, int d, int h, int mi, int s, int ms)
{
    return DateTime::fromParts(y, mo, d, h, mi, s, ms);
}

// Every test works in one scratch database of its own process; roles are named after it.
class PostgresTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_name = QStringLiteral("zarn_pgtest_%1").arg(QCoreApplication::applicationPid());
        auto admin = openWith(options(serverAddress(), QStringLiteral("postgres"), "postgres"));
        admin->executeScript(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(s_name));
        admin->executeScript(QStringLiteral("CREATE DATABASE %1").arg(s_name));
    }
    static void TearDownTestSuite()
    {
        auto admin = openWith(options(serverAddress(), QStringLiteral("postgres"), "postgres"));
        admin->executeScript(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(s_name));
        for (const QString &role : s_roles)
            admin->executeScript(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
    }
    void SetUp() override { db = openWith(superuser()); }

    static ConnectionOptions superuser() { return options(serverAddress(), s_name, "postgres"); }
    // A login role with the shared password; when `ownSchema`, with a schema of its own name.
    std::string createRole(const QString &suffix, bool ownSchema)
    {
        const QString role = s_name + u'_' + suffix;
        s_roles << role;
        db->executeScript(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(role, password));
        if (ownSchema)
            db->executeScript(QStringLiteral("CREATE SCHEMA AUTHORIZATION %1").arg(role));
        return role.toStdString();
    }

    static inline QString s_name;
    static inline QStringList s_roles;
    std::unique_ptr<Provider> db;
};

TEST_F(PostgresTest, WrongPasswordIsNamedAndNeverShown)
{
    const QString role = QString::fromStdString(createRole(QStringLiteral("login"), false));
    const QString wrong = QStringLiteral("Wr0ngS3cret");
    const QString message = openFailure(options(serverAddress(), s_name, role, wrong));
    EXPECT_TRUE(message.contains(QStringLiteral("password authentication failed")))
        << message.toStdString();
    EXPECT_FALSE(message.contains(wrong));
    EXPECT_NO_THROW(openWith(options(serverAddress(), s_name, role, password)));
}

TEST_F(PostgresTest, UnreachableServerIsNamedAndThePasswordNeverShown)
{
    const QString refused =
        openFailure(options(QStringLiteral("127.0.0.1:1"), s_name, "postgres", password));
    EXPECT_TRUE(refused.contains(QStringLiteral("127.0.0.1")) &&
                refused.contains(QStringLiteral("port 1")))
        << refused.toStdString();
    EXPECT_FALSE(refused.contains(password));
}

TEST_F(PostgresTest, CatalogOfTypeOneIsARoleWithItsOwnSchema)
{
    for (const char *suffix : {"faca", "facb"}) {
        const QString role = QString::fromStdString(createRole(QString::fromLatin1(suffix), true));
        db->executeScript(QStringLiteral("CREATE TABLE %1.location (ud1 varchar(10));"
                                         "INSERT INTO %1.location VALUES ('%2');"
                                         "ALTER TABLE %1.location OWNER TO %1")
                              .arg(role, QString::fromLatin1(suffix)));
    }
    // Catalog names arrive in upper case; the database follows the server address.
    const QString dataSource = serverAddress() + u'/' + s_name;
    auto facb =
        openWith(options(dataSource, {}, (s_name + QStringLiteral("_FACB")).toUpper(), password));
    EXPECT_EQ(scalar(*facb, QStringLiteral("SELECT UD1 FROM LOCATION")), Value("facb"));
    auto faca =
        openWith(options(dataSource, {}, (s_name + QStringLiteral("_FACA")).toUpper(), password));
    EXPECT_EQ(scalar(*faca, QStringLiteral("SELECT ud1 FROM location")), Value("faca"));
}

TEST_F(PostgresTest, BracketsAndPlaceholdersAreTranslatedOutsideQuotesAndComments)
{
    db->executeScript(
        QStringLiteral("CREATE TABLE Trains (TrainNumber integer, \"group\" varchar(20));"
                       "INSERT INTO trains VALUES (1, 'North'), (2, 'North'), (3, 'South')"));
    const auto rows = query(*db,
                            QStringLiteral("SELECT [Group], TrainNumber FROM [Trains] "
                                           "WHERE [Group] = ? AND TrainNumber > ?"),
                            {Value("North"), Value(std::int32_t(1))});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value("North"));

    auto statement = db->prepare(QStringLiteral(
        "SELECT '?' AS a, E'it\\'s ?' AS b, $$[x]?$$ AS c, '[Group]' AS d, ? AS \"e?\" "
        "/* ? /* nested ? */ ? */ -- ?\n , ? AS f"));
    statement->execute({Value("first"), Value("second")});
    ASSERT_TRUE(statement->fetch());
    EXPECT_EQ(statement->columnValue(0), Value("?"));
    EXPECT_EQ(statement->columnValue(1), Value("it's ?"));
    EXPECT_EQ(statement->columnValue(2), Value("[x]?"));
    EXPECT_EQ(statement->columnValue(3), Value("[Group]"));
    EXPECT_EQ(statement->columnValue(4), Value("first"));
    EXPECT_EQ(statement->columnName(4), QStringLiteral("e?"));
    EXPECT_EQ(statement->columnValue(5), Value("second"));
}

TEST_F(PostgresTest, ValuesComeBackInTheKindOfTheirColumn)
{
    db->executeScript(QStringLiteral(
        "CREATE TABLE kinds (s smallint, i integer, b bigint, r real, d double precision,"
        " n numeric(12,3), f boolean, fi integer, v varchar(10), t timestamp, dt date, z "
        "integer)"));
    auto insert = db->prepare(QStringLiteral("INSERT INTO kinds VALUES (?,?,?,?,?,?,?,?,?,?,?,?)"));
    const DateTime stamp = at(2024, 3, 5, 10, 15, 30, 250);
    const std::vector<Value> values = {Value(std::int16_t(-7)),
                                       Value(std::int32_t(2147483647)),
                                       Value(std::int64_t(9007199254740993)),
                                       Value(0.5),
                                       Value(0.1 + 0.2),
                                       Value(12.345),
                                       Value(true),
                                       Value(true),
                                       Value(QStringLiteral("Zürich")),
                                       Value(stamp),
                                       Value(at(2024, 3, 5, 0, 0, 0, 0)),
                                       Value::null()};
    insert->execute(values);
    EXPECT_EQ(insert->rowsAffected(), 1);
    insert->execute({Value(std::int16_t(0)), Value(), Value(), Value(), Value(1e-300), Value(),
                     Value(false), Value(false), Value(), Value(), Value(), Value()});

    const auto rows = query(*db, QStringLiteral("SELECT * FROM kinds ORDER BY s"));
    ASSERT_EQ(rows.size(), 2u);
    std::vector<Value> expected = values;
    expected[7] = Value(std::int32_t(1)); // a boolean sent into an integer column
    EXPECT_EQ(rows[0], expected);
    EXPECT_EQ(rows[1][4], Value(1e-300));
    EXPECT_EQ(rows[1][6], Value(false));
    EXPECT_EQ(rows[1][7], Value(std::int32_t(0)));
    EXPECT_TRUE(rows[1][1].isNull());

    auto update = db->prepare(QStringLiteral("UPDATE kinds SET z = ?"));
    update->execute({Value(std::int32_t(4))});
    EXPECT_EQ(update->rowsAffected(), 2);
}

TEST_F(PostgresTest, TimeStampsKeepTheirWallClockTimeToTheMillisecond)
{
    ASSERT_EQ(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    db->executeScript(QStringLiteral("CREATE TABLE stamps (t timestamp)"));
    auto insert = db->prepare(QStringLiteral("INSERT INTO stamps VALUES (?)"));
    const std::vector<std::pair<DateTime, QString>> cases = {
        {at(2024, 3, 31, 2, 30, 10, 600),
         QStringLiteral("2024-03-31 02:30:10.600")}, // skipped hour
        {at(2024, 10, 27, 2, 30, 10, 600), QStringLiteral("2024-10-27 02:30:10.600")}, // repeated
        {at(1899, 12, 29, 6, 0, 0, 250), QStringLiteral("1899-12-29 06:00:00.250")},
        {at(9999, 12, 31, 23, 59, 59, 999), QStringLiteral("9999-12-31 23:59:59.999")}};
    for (const auto &[stamp, text] : cases) {
        db->executeScript(QStringLiteral("DELETE FROM stamps"));
        insert->execute({Value(stamp)});
        EXPECT_EQ(scalar(*db, QStringLiteral("SELECT t FROM stamps")), Value(stamp))
            << text.toStdString();
        EXPECT_EQ(scalar(*db, QStringLiteral(
                                  "SELECT to_char(t, 'YYYY-MM-DD HH24:MI:SS.MS') FROM stamps")),
                  Value(text));
    }
    // Microseconds of the server round to the nearest millisecond, carrying into the next day.
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT TIMESTAMP '2024-02-28 10:00:00.123449'")),
              Value(at(2024, 2, 28, 10, 0, 0, 123)));
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT TIMESTAMP '2024-02-29 23:59:59.9996'")),
              Value(at(2024, 3, 1, 0, 0, 0, 0)));
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT DATE '2024-03-31'")),
              Value(at(2024, 3, 31, 0, 0, 0, 0)));
    EXPECT_THROW(scalar(*db, QStringLiteral("SELECT TIMESTAMP 'infinity'")), DatabaseError);

    // The server's clock, as the stored procedures stamp their audit columns, reads the
    // workstation's wall-clock time.
    const double drift = scalar(*db, QStringLiteral("SELECT localtimestamp")).toDateTime().days() -
                         DateTime::now().days();
    EXPECT_LT(std::abs(drift) * 86400, 60) << "seconds apart: " << drift * 86400;
}

TEST_F(PostgresTest, CursorStreamsItsRowsWhileOtherStatementsRun)
{
    db->executeScript(
        QStringLiteral("CREATE TABLE sensors (id integer); INSERT INTO sensors VALUES (1)"));
    auto other = db->prepare(QStringLiteral("SELECT count(*) FROM sensors"));
    auto writer = openWith(superuser());

    db->beginReadSnapshot();
    auto cursor = db->prepareCursor(
        QStringLiteral("SELECT g, 'row ' || g AS label FROM generate_series(1, ?) g"));
    cursor->execute({Value(std::int32_t(100000))});
    ASSERT_EQ(cursor->columnCount(), 2);
    EXPECT_EQ(cursor->columnName(1), QStringLiteral("label"));
    std::int32_t expected = 0;
    QString label;
    while (cursor->fetch()) {
        ++expected;
        ASSERT_EQ(cursor->columnValue(0), Value(expected));
        label = cursor->columnValue(1).toText();
        if (expected % 25000 == 1) {
            // Another statement between batches, and a row that the snapshot must not see.
            writer->executeScript(QStringLiteral("INSERT INTO sensors VALUES (2)"));
            other->execute({});
            ASSERT_TRUE(other->fetch());
            EXPECT_EQ(other->columnValue(0), Value(std::int64_t(1)));
        }
    }
    EXPECT_EQ(expected, 100000);
    EXPECT_EQ(label, QStringLiteral("row 100000"));
    EXPECT_FALSE(cursor->fetch());
    db->commit();
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM sensors")), Value(std::int64_t(5)));
}

TEST_F(PostgresTest, AbandonedCursorsLeaveTheConnectionUsable)
{
    db->executeScript(QStringLiteral("CREATE TABLE marks (n integer)"));
    db->beginReadSnapshot();
    auto cursor = db->prepareCursor(QStringLiteral("SELECT g FROM generate_series(1, 30000) g"));
    cursor->execute({});
    ASSERT_TRUE(cursor->fetch() && cursor->fetch());
    cursor->execute({}); // starts over
    ASSERT_TRUE(cursor->fetch());
    EXPECT_EQ(cursor->columnValue(0), Value(std::int32_t(1)));
    db->commit(); // ends the cursor with the snapshot

    // Dropping the statement inside a later transaction must not disturb that transaction.
    db->beginTransaction();
    query(*db, QStringLiteral("INSERT INTO marks VALUES (1)"));
    cursor.reset();
    EXPECT_NO_THROW(db->commit());
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM marks")), Value(std::int64_t(1)));
}

TEST_F(PostgresTest, FunctionsTakeInputsAndReturnOutputsInDeclaredOrder)
{
    db->executeScript(QStringLiteral(R"(
        CREATE TABLE written (varid integer, value double precision);
        CREATE FUNCTION WriteThing(varid integer, value double precision) RETURNS void AS $$
            INSERT INTO written VALUES (varid, value) $$ LANGUAGE sql;
        CREATE FUNCTION SeekThing(IN varid_in integer, OUT found_out integer, IN stamp_in timestamp,
                                  OUT text_out varchar, OUT stamp_out timestamp, IN mode_in integer)
        RETURNS SETOF record AS $$
        BEGIN
            IF mode_in = 0 THEN RETURN; END IF;
            IF mode_in = 2 THEN
                found_out := varid_in * 2; text_out := 'found ' || varid_in;
                stamp_out := stamp_in + interval '1 millisecond';
            END IF;
            RETURN NEXT;
        END $$ LANGUAGE plpgsql;)"));

    std::vector<Parameter> write = {parameter("varid", adInteger, adParamInput, std::int32_t(7)),
                                    parameter("value", adDouble, adParamInput, 2.5)};
    db->prepareProcedure(QStringLiteral("WRITETHING"), write)->execute(write);
    EXPECT_EQ(query(*db, QStringLiteral("SELECT * FROM written")),
              (std::vector<std::vector<Value>>{{Value(std::int32_t(7)), Value(2.5)}}));

    std::vector<Parameter> seek = {
        parameter("varid_in", adInteger, adParamInput, std::int32_t(21)),
        parameter("found_out", adInteger, adParamOutput),
        parameter("stamp_in", adDate, adParamInput, at(2024, 3, 31, 2, 30, 10, 600)),
        parameter("text_out", adVarWChar, adParamOutput),
        parameter("stamp_out", adDate, adParamOutput),
        parameter("mode_in", adInteger, adParamInput, std::int32_t(2))};
    auto call = db->prepareProcedure(QStringLiteral("SEEKTHING"), seek);
    call->execute(seek);
    EXPECT_EQ(seek[1].value, Value(std::int32_t(42)));
    EXPECT_EQ(seek[3].value, Value("found 21"));
    EXPECT_EQ(seek[4].value, Value(at(2024, 3, 31, 2, 30, 10, 601)));
    EXPECT_EQ(seek[0].value, Value(std::int32_t(21))); // inputs stay as they were

    for (std::int32_t mode : {1, 0}) { // a row of Nulls, then no row at all
        seek[5].value = Value(mode);
        seek[1].value = seek[3].value = Value("stale");
        call->execute(seek);
        EXPECT_TRUE(seek[1].value.isNull() && seek[3].value.isNull() && seek[4].value.isNull())
            << "mode " << mode;
    }
}

TEST_F(PostgresTest, QueuedCallsArePipelinedAndReportTheFirstFailure)
{
    db->executeScript(QStringLiteral("CREATE TABLE piped (n integer PRIMARY KEY);"
                                     "CREATE FUNCTION pipe_put(n_in integer) RETURNS void AS $$"
                                     " INSERT INTO piped VALUES (n_in) $$ LANGUAGE sql"));
    const QString count = QStringLiteral("SELECT count(*) FROM piped");
    std::vector<Parameter> put = {parameter("n_in", adInteger, adParamInput)};
    auto call = db->prepareProcedure(QStringLiteral("PIPE_PUT"), put);
    for (std::int32_t n = 1; n <= 2000; ++n) { // more than one round of results in flight
        put[0].value = Value(n);
        call->queue(put);
    }
    call->flush();
    EXPECT_EQ(scalar(*db, count), Value(std::int64_t(2000)));

    db->beginTransaction();
    for (std::int32_t n : {3001, 3002, 5, 3003}) { // 5 is there already
        put[0].value = Value(n);
        call->queue(put);
    }
    try {
        call->flush();
        ADD_FAILURE() << "a failing call went unreported";
    } catch (const BatchError &error) {
        EXPECT_EQ(error.succeeded(), 2u);
        EXPECT_TRUE(error.description().contains(QStringLiteral("duplicate key"))) << error.what();
    }
    db->rollback();
    put[0].value = Value(std::int32_t(3001));
    call->execute(put);
    EXPECT_EQ(scalar(*db, count), Value(std::int64_t(2001)));
}

TEST_F(PostgresTest, FailedStatementMakesCommitFail)
{
    db->executeScript(QStringLiteral("CREATE TABLE items (n integer PRIMARY KEY)"));
    db->beginTransaction();
    query(*db, QStringLiteral("INSERT INTO items VALUES (1)"));
    EXPECT_THROW(query(*db, QStringLiteral("INSERT INTO items VALUES (1)")), DatabaseError);
    EXPECT_THROW(db->commit(), DatabaseError);
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM items")), Value(std::int64_t(0)));
    EXPECT_THROW(db->executeScript(QStringLiteral("INSERT INTO items VALUES (2); SELECT 1/0")),
                 DatabaseError);
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM items")), Value(std::int64_t(0)));
}

TEST_F(PostgresTest, PrimaryKeyColumnsComeInKeyOrder)
{
    db->executeScript(
        QStringLiteral("CREATE TABLE Keyed (a integer, b integer, c integer, PRIMARY KEY (c, a));"
                       "CREATE TABLE loose (a integer)"));
    EXPECT_EQ(db->primaryKey(QStringLiteral("KEYED")), (QStringList{"c", "a"}));
    EXPECT_TRUE(db->primaryKey(QStringLiteral("loose")).isEmpty());
    EXPECT_EQ(db->quoteIdentifier(QStringLiteral("Say\"Hi")), QStringLiteral("\"say\"\"hi\""));
}

TEST_F(PostgresTest, CommandTimeoutCancelsALongStatement)
{
    ConnectionOptions o = superuser();
    o.commandTimeout = 1;
    auto timed = openWith(o);
    try {
        query(*timed, QStringLiteral("SELECT pg_sleep(5)"));
        ADD_FAILURE() << "the statement outlived its time-out";
    } catch (const DatabaseError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("statement timeout")))
            << error.what();
    }
}

TEST_F(PostgresTest, StatementsOutlivingTheirConnectionFailCleanly)
{
    auto statement = db->prepare(QStringLiteral("SELECT 1"));
    db->close();
    EXPECT_THROW(statement->execute({}), DatabaseError);
    EXPECT_THROW(db->prepare(QStringLiteral("SELECT 1")), DatabaseError);
    statement.reset();
}

} // namespace
} // namespace zarn::dal
