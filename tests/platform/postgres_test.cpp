// What exists only on the PostgreSQL server: how connections fail, the translation of query
// texts, the exactness of time stamps, streamed cursors, functions with output parameters and
// catalogs that are roles. The run sets TZ=Europe/Berlin and a foreign client date style, which
// the provider must not let through.
#include "platform/Error.h"
#include "platform/dal/postgresql/PostgresProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>
#include <sys/types.h>

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

TEST_F(PostgresTest, DatabaseAndRoleNamesAsWrittenThenInLowerCase)
{
    // As createdb and createuser make them (quoted, upper case) and as unquoted SQL makes them.
    const QString upper = s_name.toUpper() + QStringLiteral("_UP");
    const QString lower = s_name + QStringLiteral("_low");
    s_roles << u'"' + upper + u'"' << lower;
    db->executeScript(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD '%3';"
                                     "CREATE ROLE %2 LOGIN PASSWORD '%3'")
                          .arg(upper, lower, password));
    db->executeScript(QStringLiteral("CREATE DATABASE \"%1\" OWNER \"%1\"").arg(upper));
    db->executeScript(QStringLiteral("CREATE DATABASE %1 OWNER %1").arg(lower));
    const QString whoAmI = QStringLiteral("SELECT current_user || '@' || current_database()");

    auto asWritten = openWith(options(serverAddress(), upper, upper, password));
    EXPECT_EQ(scalar(*asWritten, whoAmI), Value(upper + u'@' + upper));
    const QString lowerWritten = lower.toUpper();
    auto folded = openWith(options(serverAddress(), lowerWritten, lowerWritten, password));
    EXPECT_EQ(scalar(*folded, whoAmI), Value(lower + u'@' + lower));
    // Type 1: no database, the role's own.
    auto ownDatabase = openWith(options(serverAddress(), {}, lowerWritten, password));
    EXPECT_EQ(scalar(*ownDatabase, whoAmI), Value(lower + u'@' + lower));

    const QString noDatabase =
        openFailure(options(serverAddress(), QStringLiteral("ZARN_NO_SUCH_DB"), upper, password));
    EXPECT_TRUE(noDatabase.contains(QStringLiteral("\"ZARN_NO_SUCH_DB\"")) &&
                noDatabase.contains(QStringLiteral("\"zarn_no_such_db\"")) &&
                noDatabase.contains(QStringLiteral("does not exist")))
        << noDatabase.toStdString();
    const QString noRole =
        openFailure(options(serverAddress(), upper, QStringLiteral("ZARN_NO_SUCH_ROLE"), password));
    EXPECT_TRUE(noRole.contains(QStringLiteral("\"ZARN_NO_SUCH_ROLE\"")) &&
                noRole.contains(QStringLiteral("\"zarn_no_such_role\"")))
        << noRole.toStdString();
    for (const QString &message : {noDatabase, noRole}) {
        EXPECT_FALSE(message.contains(password)) << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("LOCATION"))) << message.toStdString();
    }
    // A lower-case name that does not exist is tried once.
    const QString plainMissing =
        openFailure(options(serverAddress(), QStringLiteral("zarn_absent"), lower, password));
    EXPECT_TRUE(plainMissing.contains(QStringLiteral("\"zarn_absent\" does not exist")) &&
                !plainMissing.contains(QStringLiteral("tried")))
        << plainMissing.toStdString();

    asWritten.reset();
    folded.reset();
    ownDatabase.reset();
    db->executeScript(QStringLiteral("DROP DATABASE \"%1\" WITH (FORCE)").arg(upper));
    db->executeScript(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(lower));
}

// The queued calls of one transaction go in batches of one statement over parameter arrays.
class PostgresBatchTest : public PostgresTest
{
protected:
    void SetUp() override
    {
        PostgresTest::SetUp();
        db->executeScript(QStringLiteral(R"(
            DROP TABLE IF EXISTS batch_log, batch_slot;
            CREATE TABLE batch_log (seq bigserial, n integer, stamp timestamp, label varchar,
                                    query text);
            CREATE TABLE batch_slot (slot integer PRIMARY KEY, n integer);
            CREATE OR REPLACE FUNCTION batch_put(n_in integer, slot_in integer,
                                                 stamp_in timestamp, label_in varchar)
            RETURNS void LANGUAGE plpgsql AS $$
            BEGIN
                INSERT INTO batch_log (n, stamp, label, query)
                VALUES (n_in, stamp_in, label_in, current_query());
                INSERT INTO batch_slot VALUES (slot_in, n_in)
                ON CONFLICT (slot) DO UPDATE SET n = excluded.n;
            END $$;)"));
        call = db->prepareProcedure(QStringLiteral("BATCH_PUT"), put);
    }

    void queue(const Value &n, std::int32_t slot, DateTime stamp, const QString &label)
    {
        put[0].value = n;
        put[1].value = Value(slot);
        put[2].value = Value(stamp);
        put[3].value = Value(label);
        call->queue(put);
    }

    std::vector<Parameter> put = {parameter("n_in", adInteger, adParamInput),
                                  parameter("slot_in", adInteger, adParamInput),
                                  parameter("stamp_in", adDate, adParamInput),
                                  parameter("label_in", adVarWChar, adParamInput)};
    std::unique_ptr<ProcedureCall> call;
};

TEST_F(PostgresBatchTest, CallsRunInQueueOrderAndTheLaterWriteOfASlotStays)
{
    ASSERT_EQ(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    const std::vector<DateTime> stamps = {at(2024, 3, 31, 2, 30, 10, 601),  // skipped hour
                                          at(2024, 10, 27, 2, 30, 10, 999), // repeated hour
                                          at(1899, 12, 30, 0, 0, 0, 1),
                                          at(2024, 2, 29, 23, 59, 59, 999)};
    const QString label = QStringLiteral("{\"a\",b}\\ 'x', Zürich NULL");
    constexpr std::int32_t calls = 10001; // more than two batches
    db->beginTransaction();
    for (std::int32_t n = 1; n <= calls; ++n)
        queue(Value(n), n / 2, stamps[n % stamps.size()], label + QString::number(n));
    call->flush();
    db->commit();

    const auto log =
        query(*db, QStringLiteral("SELECT n, to_char(stamp, 'YYYY-MM-DD HH24:MI:SS.MS'),"
                                  " label, query LIKE '%unnest%' FROM batch_log"
                                  " ORDER BY seq"));
    ASSERT_EQ(log.size(), static_cast<std::size_t>(calls));
    const QStringList stampTexts = {"2024-03-31 02:30:10.601", "2024-10-27 02:30:10.999",
                                    "1899-12-30 00:00:00.001", "2024-02-29 23:59:59.999"};
    for (std::int32_t n = 1; n <= calls; ++n) {
        const auto &row = log[static_cast<std::size_t>(n - 1)];
        ASSERT_EQ(row[0], Value(n));
        ASSERT_EQ(row[1], Value(stampTexts[n % stampTexts.size()])) << n;
        ASSERT_EQ(row[2], Value(label + QString::number(n)));
        ASSERT_EQ(row[3], Value(true)) << "call " << n << " did not go in a batch";
    }
    // Two calls of a slot in one batch (and across a batch's end): the later one's stays.
    EXPECT_EQ(scalar(*db,
                     QStringLiteral("SELECT count(*) FROM batch_slot WHERE n <> "
                                    "CASE WHEN slot = 0 THEN 1 ELSE LEAST(2 * slot + 1, ?) END"),
                     {Value(calls)}),
              Value(std::int64_t(0)));
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM batch_slot")),
              Value(std::int64_t(calls / 2 + 1)));
}

TEST_F(PostgresBatchTest, AFailingCallStoresExactlyTheCallsBeforeIt)
{
    // The failing call first in a batch, in the middle of one and the very first one.
    for (std::int32_t failing : {5001, 7500, 1}) {
        db->executeScript(QStringLiteral("TRUNCATE batch_log, batch_slot;"
                                         "ALTER TABLE batch_log ADD CONSTRAINT no_dup EXCLUDE "
                                         "(n WITH =)"));
        query(*db, QStringLiteral("INSERT INTO batch_log (n) VALUES (?)"), {Value(failing)});
        db->beginTransaction();
        for (std::int32_t n = 1; n <= 10000; ++n)
            queue(Value(n), n, at(2024, 3, 5, 10, 0, 0, 0), QStringLiteral("x"));
        try {
            call->flush();
            ADD_FAILURE() << "a failing call went unreported";
        } catch (const BatchError &error) {
            EXPECT_EQ(error.succeeded(), static_cast<std::size_t>(failing - 1));
            EXPECT_TRUE(error.description().contains(QStringLiteral("no_dup"))) << error.what();
        }
        // The calls before the failing one are in the transaction; the caller rolls back.
        db->rollback();
        db->executeScript(QStringLiteral("ALTER TABLE batch_log DROP CONSTRAINT no_dup"));
    }
    // The same command and connection go on as before.
    db->beginTransaction();
    queue(Value(std::int32_t(7)), 7, at(2024, 3, 5, 10, 0, 0, 0), QStringLiteral("after"));
    call->flush();
    db->commit();
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM batch_slot")),
              Value(std::int64_t(1)));
}

TEST_F(PostgresBatchTest, AValueTheBinaryFormCannotCarryGoesInACallOfItsOwnInOrder)
{
    db->beginTransaction();
    for (std::int32_t n = 1; n <= 10; ++n)
        queue(n == 5 ? Value(QStringLiteral(" 5")) : Value(n), n, at(2024, 3, 5, 0, 0, 0, 0),
              QStringLiteral("t"));
    call->flush();
    db->commit();
    const auto log = query(*db, QStringLiteral("SELECT n, query LIKE '%unnest%' FROM batch_log "
                                               "ORDER BY seq"));
    ASSERT_EQ(log.size(), 10u);
    for (std::int32_t n = 1; n <= 10; ++n) {
        EXPECT_EQ(log[static_cast<std::size_t>(n - 1)][0], Value(n));
        EXPECT_EQ(log[static_cast<std::size_t>(n - 1)][1], Value(n != 5)) << n;
    }
}

TEST_F(PostgresBatchTest, AFunctionABatchCannotCallKeepsToThePipeline)
{
    db->executeScript(
        QStringLiteral("CREATE FUNCTION numeric_put(n_in numeric) RETURNS void LANGUAGE sql AS $$"
                       " INSERT INTO batch_log (n, query) VALUES (n_in, current_query()) $$"));
    std::vector<Parameter> numeric = {parameter("n_in", adDouble, adParamInput)};
    auto numericCall = db->prepareProcedure(QStringLiteral("numeric_put"), numeric);
    db->beginTransaction();
    for (std::int32_t n = 1; n <= 300; ++n) {
        numeric[0].value = Value(static_cast<double>(n));
        numericCall->queue(numeric);
    }
    numericCall->flush();
    db->commit();
    EXPECT_EQ(scalar(*db, QStringLiteral("SELECT count(*) FROM batch_log WHERE query NOT LIKE "
                                         "'%unnest%'")),
              Value(std::int64_t(300)));
}

TEST_F(PostgresBatchTest, TheCommitGoesWithTheLastBatch)
{
    db->beginTransaction();
    for (std::int32_t n = 1; n <= 7500; ++n)
        queue(Value(n), n, at(2024, 3, 5, 0, 0, 0, 0), QStringLiteral("c"));
    call->flushAndCommit(*db);
    db->beginTransaction();
    auto other = openWith(superuser());
    EXPECT_EQ(scalar(*other, QStringLiteral("SELECT count(*) FROM batch_slot")),
              Value(std::int64_t(7500)));
    queue(Value(std::int32_t(9999)), 9999, at(2024, 3, 5, 0, 0, 0, 0), QStringLiteral("c"));
    call->flush();
    db->rollback(); // the next transaction, which begins on its own
    EXPECT_EQ(scalar(*other, QStringLiteral("SELECT count(*) FROM batch_slot")),
              Value(std::int64_t(7500)));

    // A failure in the group: nothing of it is committed.
    db->beginTransaction();
    queue(Value(std::int32_t(1)), 1, at(2024, 3, 5, 0, 0, 0, 0), QStringLiteral("c"));
    queue(Value(QStringLiteral("not a number")), 2, at(2024, 3, 5, 0, 0, 0, 0),
          QStringLiteral("c"));
    EXPECT_THROW(call->flushAndCommit(*db), BatchError);
    db->rollback();
    EXPECT_EQ(scalar(*other, QStringLiteral("SELECT count(*) FROM batch_slot")),
              Value(std::int64_t(7500)));
}

// The server process of a connection, stopped until the guard ends.
class StoppedBackend
{
public:
    explicit StoppedBackend(Provider &connection)
        : m_pid(static_cast<pid_t>(
              scalar(connection, QStringLiteral("SELECT pg_backend_pid()")).toInt32()))
    {
        m_stopped = ::kill(m_pid, SIGSTOP) == 0;
    }
    ~StoppedBackend()
    {
        if (m_stopped)
            ::kill(m_pid, SIGCONT);
    }
    bool stopped() const { return m_stopped; }

private:
    pid_t m_pid;
    bool m_stopped = false;
};

TEST_F(PostgresTest, ACommandTimeOutHoldsOnTheClientWhenTheServerIsFrozen)
{
    ConnectionOptions o = superuser();
    o.commandTimeout = 1;
    for (bool queued : {false, true}) {
        auto timed = openWith(o);
        timed->executeScript(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS frozen (n integer);"
            "CREATE OR REPLACE FUNCTION frozen_put(n_in integer) RETURNS void LANGUAGE sql AS"
            " $$ INSERT INTO frozen VALUES (n_in) $$"));
        std::vector<Parameter> put = {parameter("n_in", adInteger, adParamInput, std::int32_t(1))};
        auto call = timed->prepareProcedure(QStringLiteral("frozen_put"), put);
        if (queued) {
            timed->beginTransaction();
            for (int i = 0; i < 10; ++i)
                call->queue(put); // a batch that is not full waits for the flush
        }
        const StoppedBackend stopped(*timed);
        ASSERT_TRUE(stopped.stopped()) << "cannot stop the server process";
        QElapsedTimer clock;
        clock.start();
        try {
            if (queued) {
                call->flush();
                ADD_FAILURE() << "the calls outlived their time-out";
            } else {
                query(*timed, QStringLiteral("SELECT count(*) FROM frozen"));
                ADD_FAILURE() << "the statement outlived its time-out";
            }
        } catch (const DatabaseError &error) {
            EXPECT_TRUE(error.description().contains(QStringLiteral("did not answer")))
                << error.what();
        }
        // The time-out (1 s), the margin before the cancel (1 s) and after it (1 s).
        EXPECT_LT(clock.elapsed(), 10000); // bounded, not timed: it must not hang
        EXPECT_GE(clock.elapsed(), 1900);
        EXPECT_THROW(timed->prepare(QStringLiteral("SELECT 1")), DatabaseError);
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
