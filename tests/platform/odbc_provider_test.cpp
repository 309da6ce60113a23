// What only the ODBC provider does, through the PostgreSQL driver to the test server: the
// connection string it hands the driver, its failure messages, how it quotes names, binds and
// reads values, isolates snapshots and reads procedure outputs.
#include "platform/Error.h"
#include "platform/dal/Command.h"
#include "platform/dal/Connection.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"
#include "platform/dal/odbc/OdbcDialect.h"
#include "support/OwnPostgresServer.h"
#include "support/ScratchDatabase.h"
#include "support/TestDatabases.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <sys/types.h>

namespace zarn {
void PrintTo(const Value &value, std::ostream *out)
{
    *out << static_cast<int>(value.kind()) << ':' << value.toTextOrEmpty().toStdString();
}
} // namespace zarn

namespace zarn::dal {
namespace {

using test::ScratchDatabase;
using test::StoppedProcess;

// The message of the DatabaseError that opening the provider itself throws, without the
// masking that Connection adds.
QString providerOpenFailure(const ConnectionOptions &options)
{
    try {
        createProvider(options.value(QStringLiteral("Provider")))->open(options);
    } catch (const DatabaseError &error) {
        return error.description();
    }
    return QStringLiteral("(opened)");
}

Value scalar(Connection &connection, const QString &sql, const std::vector<Value> &params = {})
{
    Recordset rows = connection.Execute(sql, params);
    if (rows.Eof())
        throw std::runtime_error("the query gave no row");
    return rows.Fields(0).Value();
}

class OdbcTest : public ::testing::Test
{
protected:
    void SetUp() override { db.open(conn); }

    // The scratch database's options with other keywords set.
    ConnectionOptions optionsWith(const QMap<QString, QString> &changes) const
    {
        ConnectionOptions options;
        options.keywords = parseConnectionString(db.connectionString());
        for (auto it = changes.begin(); it != changes.end(); ++it)
            options.keywords.insert(it.key().toLower(), it.value());
        return options;
    }

    void run(const QString &sql) { conn.provider().executeScript(sql); }

    ScratchDatabase db;
    Connection conn;
};

// ---------------------------------------------------------------------------------------------
// Connecting

// A role and a database whose names hold braces, and a password that needs braces of its own
// in the driver's connection string; dropped at the end. (psqlODBC removes the braces around a
// password only, so names that would need them are left out.)
class OddLogin : public OdbcTest
{
protected:
    void SetUp() override
    {
        OdbcTest::SetUp();
        const QString suffix = QString::number(QCoreApplication::applicationPid());
        role = QStringLiteral("zarn_odbc}role{") + suffix;
        database = QStringLiteral("zarn_odbc{db}=") + suffix;
        run(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD '%2'").arg(role, password));
        run(QStringLiteral("CREATE DATABASE \"%1\" OWNER \"%2\"").arg(database, role));
    }
    void TearDown() override
    {
        run(QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(database));
        run(QStringLiteral("DROP ROLE IF EXISTS \"%1\"").arg(role));
    }

    ConnectionOptions login(const QString &pass) const
    {
        return optionsWith({{QStringLiteral("Initial Catalog"), database},
                            {QStringLiteral("User ID"), role},
                            {QStringLiteral("Password"), pass}});
    }

    const QString password = QStringLiteral(" {p;w{d=x ");
    QString role, database;
};

TEST_F(OddLogin, NamesAndPasswordReachTheServerWhole)
{
    Connection odd;
    odd.setConnectionString(
        QStringLiteral("Provider=MSDASQL;Data Source=%1;Initial Catalog=\"%2\";User ID=\"%3\";"
                       "Password=\"%4\"")
            .arg(login(password).value(QStringLiteral("Data Source")), database, role, password));
    odd.Open();
    EXPECT_EQ(scalar(odd, QStringLiteral("SELECT current_database()")), Value(database));
    EXPECT_EQ(scalar(odd, QStringLiteral("SELECT current_user")), Value(role));
}

TEST_F(OddLogin, RefusedLoginNeverShowsThePassword)
{
    const QString wrong = QStringLiteral("Wr0ng;pw}");
    const QString message = providerOpenFailure(login(wrong));
    EXPECT_TRUE(message.contains(QStringLiteral("password authentication failed")))
        << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("Wr0ng"))) << message.toStdString();
}

TEST_F(OdbcTest, MissingDataSourceIsNamedWithTheProvider)
{
    const QString message = providerOpenFailure(
        optionsWith({{QStringLiteral("Provider"), QStringLiteral("ODBC")},
                     {QStringLiteral("Data Source"), QStringLiteral("zarn_nix")},
                     {QStringLiteral("Password"), QStringLiteral("Sec9ret")}}));
    EXPECT_TRUE(message.contains(QStringLiteral("\"zarn_nix\""))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("ODBC"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("Sec9ret"))) << message.toStdString();

    EXPECT_TRUE(providerOpenFailure(optionsWith({{QStringLiteral("Data Source"), QString()}}))
                    .contains(QStringLiteral("no Data Source")));
}

// The server giving up waiting, for a command past its time-out or for a lock past the lock
// time-out, comes through as a time-out; other failures do not.
TEST_F(OdbcTest, TheServerGivingUpWaitingIsATimeOut)
{
    Connection timed;
    timed.setCommandTimeout(1);
    db.open(timed);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(timed.Execute(QStringLiteral("SELECT pg_sleep(5)")), TimeoutError);
    EXPECT_LT(clock.elapsed(), 4000);

    run(QStringLiteral("CREATE TABLE held (n INTEGER)"));
    Connection holder;
    db.open(holder);
    Transaction holding(holder);
    holder.Execute(QStringLiteral("LOCK TABLE held IN EXCLUSIVE MODE"));
    EXPECT_THROW(timed.Execute(QStringLiteral("INSERT INTO held VALUES (1)")), TimeoutError);
    timed.Execute(QStringLiteral("SET lock_timeout = '100ms'"));
    try {
        timed.Execute(QStringLiteral("INSERT INTO held VALUES (2)"));
        ADD_FAILURE() << "the insert went past the lock";
    } catch (const TimeoutError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("lock timeout"))) << error.what();
    }

    try {
        timed.Execute(QStringLiteral("SELECT 1/0"));
        ADD_FAILURE() << "the division went unreported";
    } catch (const DatabaseError &error) {
        EXPECT_EQ(dynamic_cast<const TimeoutError *>(&error), nullptr) << error.what();
    }
}

// ---------------------------------------------------------------------------------------------
// A frozen server

// Each kind of call that waits for the server, its server process stopped just before it: the
// call fails within a bound with a message that says what happened, the connection is gone,
// and a new one works. Without the bound on the client each of them would wait for ever.
TEST_F(OdbcTest, ACommandTimeOutHoldsOnTheClientWhenTheServerIsFrozen)
{
    run(QStringLiteral("CREATE TABLE frozen (n INTEGER);"
                       "INSERT INTO frozen SELECT generate_series(1, 250);"
                       "CREATE FUNCTION frozen_put(n_in integer) RETURNS void LANGUAGE sql AS"
                       " $$ INSERT INTO frozen VALUES (n_in) $$"));
    const std::vector<Parameter> put = {
        {QStringLiteral("n_in"), adInteger, adParamInput, 0, Value(std::int32_t(1))}};
    // Each call is given what it needs before the freeze, and made after it.
    struct FrozenCall
    {
        const char *name;
        std::function<std::function<void()>(Provider &)> prepare;
    };
    const std::vector<FrozenCall> calls = {
        {"a query",
         [](Provider &p) {
             return [statement = std::shared_ptr(p.prepare(QStringLiteral("SELECT count(*) FROM "
                                                                          "frozen")))] {
                 statement->execute({});
             };
         }},
        {"a row of a cursor's later batch",
         [](Provider &p) {
             auto rows = std::shared_ptr(p.prepareCursor(QStringLiteral("SELECT n FROM frozen")));
             rows->execute({});
             for (int i = 0; i < 100; ++i)
                 rows->fetch();
             return [rows] {
                 while (rows->fetch()) {
                 }
             };
         }},
        {"a procedure call",
         [&](Provider &p) {
             return [call = std::shared_ptr(p.prepareProcedure(QStringLiteral("frozen_put"), put)),
                     parameters = put]() mutable { call->execute(parameters); };
         }},
        {"queued calls",
         [&](Provider &p) {
             p.beginTransaction();
             auto call = std::shared_ptr(p.prepareProcedure(QStringLiteral("frozen_put"), put));
             for (int i = 0; i < 10; ++i)
                 call->queue(put); // fewer than fill an array: they wait for the flush
             return [call] { call->flush(); };
         }},
        {"a commit",
         [](Provider &p) {
             p.beginTransaction();
             p.executeScript(QStringLiteral("INSERT INTO frozen VALUES (0)"));
             return [&p] { p.commit(); };
         }},
    };
    for (const FrozenCall &kind : calls) {
        SCOPED_TRACE(kind.name);
        Connection timed;
        timed.setCommandTimeout(1);
        db.open(timed);
        const auto pid =
            static_cast<pid_t>(scalar(timed, QStringLiteral("SELECT pg_backend_pid()")).toInt32());
        const std::function<void()> call = kind.prepare(timed.provider());
        QElapsedTimer clock;
        {
            const StoppedProcess stopped(pid);
            ASSERT_TRUE(stopped.stopped()) << "cannot stop the server process";
            clock.start();
            try {
                call();
                ADD_FAILURE() << "the call outlived its time-out";
            } catch (const DatabaseError &error) {
                EXPECT_TRUE(error.description().contains(QStringLiteral("did not answer within "
                                                                        "the command time-out")))
                    << error.what();
                EXPECT_TRUE(error.description().contains(QStringLiteral("connection was dropped")))
                    << error.what();
            }
            EXPECT_LT(clock.elapsed(), 15000); // bounded, not timed: it must not hang
            EXPECT_THROW(timed.provider().prepare(QStringLiteral("SELECT 1")), DatabaseError);
        }
        // A commit sent before the freeze may yet be done by the server; whether it was is not
        // known when no answer came.
        Connection next;
        db.open(next);
        EXPECT_EQ(scalar(next, QStringLiteral("SELECT count(*) FROM frozen WHERE n > 0")),
                  Value(std::int64_t(250)));
    }
}

// The whole server stopped, its postmaster too, so that not even a cancel request is answered:
// a server of the test's own, so that the shared one stays up.
class OdbcOnItsOwnServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.started());
        // A data source for it beside the test's own, in the file the driver manager reads.
        test::odbcTestDataSource();
        QFile dataSources(QFile::decodeName(qgetenv("ODBCINI")));
        ASSERT_TRUE(dataSources.open(QIODevice::Append));
        dataSources.write(QStringLiteral("[%1]\nDriver=ZARN PostgreSQL\nServername=%2\n"
                                         "Port=%3\nUseDeclareFetch=1\n")
                              .arg(dataSource, server.host(), server.port())
                              .toUtf8());
    }

    void open(Connection &connection) const
    {
        connection.setConnectionString(
            QStringLiteral("Provider=ODBC;Data Source=%1;User ID=postgres").arg(dataSource));
        connection.Open();
    }

    const QString dataSource =
        QStringLiteral("zarn_own_%1").arg(QCoreApplication::applicationPid());
    test::OwnPostgresServer server;
};

TEST_F(OdbcOnItsOwnServer, ACallFailsWithinABoundWhenTheWholeServerIsFrozen)
{
    Connection timed;
    timed.setCommandTimeout(1);
    open(timed);
    const auto backend =
        static_cast<pid_t>(scalar(timed, QStringLiteral("SELECT pg_backend_pid()")).toInt32());
    {
        const StoppedProcess postmaster(server.postmaster());
        const StoppedProcess stopped(backend);
        ASSERT_TRUE(postmaster.stopped() && stopped.stopped()) << "cannot stop the server";
        QElapsedTimer clock;
        clock.start();
        try {
            timed.Execute(QStringLiteral("SELECT 1"));
            ADD_FAILURE() << "the statement outlived its time-out";
        } catch (const DatabaseError &error) {
            EXPECT_TRUE(error.description().contains(QStringLiteral("connection was dropped")))
                << error.what();
        }
        EXPECT_LT(clock.elapsed(), 15000); // bounded, not timed: it must not hang
        EXPECT_THROW(timed.Execute(QStringLiteral("SELECT 1")), DatabaseError);
    }
    timed.Close();
    Connection next;
    open(next);
    EXPECT_EQ(scalar(next, QStringLiteral("SELECT 1")), Value(std::int32_t(1)));
}

// ---------------------------------------------------------------------------------------------
// SQL texts and values

// SQL Server's dialect, which no server of the tests speaks: the record set's row writes give
// the stored row through OUTPUT INSERTED.*. Only the texts are tested, never against a server.
TEST(OdbcDialect, SqlServerStatementsGiveTheWrittenRowThroughOutputInserted)
{
    const odbc::Dialect dialect(
        {QStringLiteral("Microsoft SQL Server"), QStringLiteral("16.00.1000"), "\"", 3});
    const RowWriteStatement insert = dialect.insertRow("\"t\"", {"\"a\"", "\"b\""});
    EXPECT_EQ(insert.sql, QStringLiteral("INSERT INTO \"t\" (\"a\", \"b\") OUTPUT INSERTED.* "
                                         "VALUES (?, ?)"));
    EXPECT_EQ(dialect.insertRow("\"t\"", {}).sql,
              QStringLiteral("INSERT INTO \"t\" OUTPUT INSERTED.* DEFAULT VALUES"));
    const RowWriteStatement update = dialect.updateRow("\"t\"", {"\"a\""}, "\"k\" = ?");
    EXPECT_EQ(update.sql,
              QStringLiteral("UPDATE \"t\" SET \"a\" = ? OUTPUT INSERTED.* WHERE \"k\" = ?"));
    EXPECT_TRUE(insert.returnsRow && update.returnsRow);
}

TEST_F(OdbcTest, BracketedNamesFoldAsTheDriverSaysOutsideLiteralsAndComments)
{
    run(QStringLiteral("CREATE TABLE Groups (\"group\" INTEGER PRIMARY KEY, n INTEGER)"));
    conn.Execute(QStringLiteral("INSERT INTO [GROUPS] ([Group], n) VALUES (?, ?)"),
                 {Value(std::int32_t(7)), Value(std::int32_t(1))});
    EXPECT_EQ(scalar(conn,
                     QStringLiteral("SELECT [Group] || '[x]' || '''[y]' FROM [Groups] "
                                    "WHERE \"group\" = ? -- [z] ends here"),
                     {Value(std::int32_t(7))}),
              Value("7[x]'[y]"));
    EXPECT_EQ(conn.quoteIdentifier(QStringLiteral("Say\"Hi")), QStringLiteral("\"say\"\"hi\""));
    EXPECT_EQ(conn.provider().primaryKey(QStringLiteral("GROUPS")), QStringList{"group"});
    EXPECT_EQ(conn.provider().primaryKey(QStringLiteral("public.groups")), QStringList{"group"});
}

TEST_F(OdbcTest, ValuesKeepTheirKindsBothWays)
{
    run(QStringLiteral("CREATE TABLE kinds (s SMALLINT, i INTEGER, b BIGINT, d DOUBLE PRECISION, "
                       "f BOOLEAN, t VARCHAR(40), at TIMESTAMP, n NUMERIC(10, 3), day DATE)"));
    const DateTime at = DateTime::fromParts(2024, 2, 29, 23, 59, 59, 999);
    const std::vector<Value> values = {Value(std::int16_t(-32768)),
                                       Value(std::int32_t(2147483647)),
                                       Value(std::int64_t(-9007199254740993)),
                                       Value(0.1),
                                       Value(true),
                                       Value(QStringLiteral("Grüße ✓ \"'")),
                                       Value(at)};
    conn.Execute(QStringLiteral("INSERT INTO kinds VALUES (?, ?, ?, ?, ?, ?, ?, 12.5, "
                                "'2024-03-31')"),
                 values);
    Recordset rows = conn.Execute(QStringLiteral("SELECT * FROM kinds"));
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(rows.Fields(static_cast<int>(i)).Value(), values[i]) << "column " << i;
    EXPECT_EQ(rows.Fields(QStringLiteral("n")).Value(), Value(12.5));
    EXPECT_EQ(rows.Fields(QStringLiteral("day")).Value(), Value(DateTime::fromParts(2024, 3, 31)));
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT count(*) FROM kinds WHERE f = ? AND at = ?"),
                     {Value(true), Value(at)}),
              Value(std::int64_t(1)));
}

TEST_F(OdbcTest, LongTextsTravelWhole)
{
    run(QStringLiteral("CREATE TABLE notes (body TEXT)"));
    QString body;
    for (int i = 0; body.size() < 10000; ++i)
        body += QStringLiteral("%1ä;").arg(i);
    conn.Execute(QStringLiteral("INSERT INTO notes VALUES (?)"), {Value(body)});
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT body FROM notes")), Value(body));
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT length(body) FROM notes")),
              Value(std::int32_t(body.size())));
}

TEST_F(OdbcTest, ScriptReportsAFailingStatementAndRunsNoneAfterIt)
{
    try {
        run(QStringLiteral("CREATE TABLE first (n INTEGER); SELECT 1/0;\n"
                           "CREATE TABLE third (n INTEGER)"));
        ADD_FAILURE() << "the failing statement went unreported";
    } catch (const DatabaseError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("division by zero")))
            << error.what();
    }
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT to_regclass('third') IS NULL")), Value(true));
}

// ---------------------------------------------------------------------------------------------
// Transactions

TEST_F(OdbcTest, ReadSnapshotHoldsItsStateAndLaterTransactionsReadCommittedRows)
{
    run(QStringLiteral("CREATE TABLE seen (n INTEGER)"));
    Connection other;
    db.open(other);
    const QString count = QStringLiteral("SELECT count(*) FROM seen");

    conn.provider().beginReadSnapshot();
    EXPECT_EQ(scalar(conn, count), Value(std::int64_t(0)));
    other.Execute(QStringLiteral("INSERT INTO seen VALUES (1)"));
    EXPECT_EQ(scalar(conn, count), Value(std::int64_t(0)));
    EXPECT_THROW(conn.provider().beginTransaction(), DatabaseError);
    conn.provider().commit();

    // An ordinary transaction afterwards sees what others commit between its statements.
    Transaction transaction(conn);
    EXPECT_EQ(scalar(conn, count), Value(std::int64_t(1)));
    other.Execute(QStringLiteral("INSERT INTO seen VALUES (2)"));
    EXPECT_EQ(scalar(conn, count), Value(std::int64_t(2)));
}

TEST_F(OdbcTest, ClosingInsideATransactionUndoesItAndReopens)
{
    run(QStringLiteral("CREATE TABLE kept (n INTEGER)"));
    conn.provider().beginTransaction();
    conn.Execute(QStringLiteral("INSERT INTO kept VALUES (1)"));
    conn.Close();
    db.open(conn);
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT count(*) FROM kept")), Value(std::int64_t(0)));
    conn.Execute(QStringLiteral("INSERT INTO kept VALUES (2)"));
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT count(*) FROM kept")), Value(std::int64_t(1)));
}

// ---------------------------------------------------------------------------------------------
// Stored procedures

class OdbcProcedures : public OdbcTest
{
protected:
    // zarn_seek(key_in IN, found OUT, label OUT): a row for keys above 0 (its outputs Null for
    // key 1), none otherwise.
    void SetUp() override
    {
        OdbcTest::SetUp();
        run(QStringLiteral(
            "CREATE FUNCTION zarn_seek(key_in integer, OUT found integer, OUT label text) "
            "RETURNS SETOF record AS $$ SELECT CASE WHEN key_in > 1 THEN key_in * 10 END, "
            "CASE WHEN key_in > 1 THEN repeat('x', key_in) END WHERE key_in > 0 $$ "
            "LANGUAGE sql"));
        seek.setActiveConnection(conn);
        seek.setCommandType(adCmdStoredProc);
        seek.setCommandText(QStringLiteral("zarn_seek"));
        seek.AppendParameter(
            Command::CreateParameter(QStringLiteral("key_in"), adInteger, adParamInput));
        seek.AppendParameter(
            Command::CreateParameter(QStringLiteral("found"), adInteger, adParamOutput));
        seek.AppendParameter(
            Command::CreateParameter(QStringLiteral("label"), adVarWChar, adParamOutput, 5));
    }

    void call(std::int32_t key)
    {
        seek.Parameters(0).value = Value(key);
        seek.Parameters(1).value = seek.Parameters(2).value = Value("stale");
        seek.Execute();
    }

    Command seek;
};

TEST_F(OdbcProcedures, NullColumnsGiveNullOutputs)
{
    call(3);
    EXPECT_EQ(seek.Parameters(1).value, Value(std::int32_t(30)));
    EXPECT_EQ(seek.Parameters(2).value, Value("xxx"));
    call(1);
    EXPECT_TRUE(seek.Parameters(1).value.isNull());
    EXPECT_TRUE(seek.Parameters(2).value.isNull());
    call(3);
    EXPECT_EQ(seek.Parameters(1).value, Value(std::int32_t(30)));
}

// psqlODBC fails a call whose function returns no row ("SC_fetch to get a Procedure return
// failed.") instead of giving Null outputs: the failure must come through as one, never as a
// success with the outputs of an earlier call.
TEST_F(OdbcProcedures, CallReturningNoRowIsReportedAsTheDriverFailsIt)
{
    call(3);
    EXPECT_THROW(call(0), DatabaseError);
    EXPECT_EQ(seek.Parameters(1).value, Value("stale"));
    call(4);
    EXPECT_EQ(seek.Parameters(1).value, Value(std::int32_t(40)));
}

TEST_F(OdbcProcedures, OutputLongerThanDeclaredFailsInsteadOfBeingCut)
{
    call(5);
    EXPECT_EQ(seek.Parameters(2).value, Value("xxxxx"));
    EXPECT_THROW(call(6), DatabaseError);
}

TEST_F(OdbcProcedures, QueuedCallsReportTheFirstFailureAndHowManyWentBefore)
{
    run(QStringLiteral("CREATE TABLE put (n INTEGER PRIMARY KEY);"
                       "CREATE FUNCTION zarn_put(n_in integer) RETURNS void AS $$ "
                       "INSERT INTO put VALUES (n_in) $$ LANGUAGE sql"));
    Command put;
    put.setActiveConnection(conn);
    put.setCommandType(adCmdStoredProc);
    put.setCommandText(QStringLiteral("zarn_put"));
    put.AppendParameter(Command::CreateParameter(QStringLiteral("n_in"), adInteger, adParamInput));
    Transaction transaction(conn);
    for (std::int32_t n : {1, 2, 1, 3}) {
        put.Parameters(0).value = Value(n);
        put.Queue();
    }
    try {
        put.Flush();
        ADD_FAILURE() << "a failing call went unreported";
    } catch (const BatchError &error) {
        EXPECT_EQ(error.succeeded(), 2u) << error.what();
    }
    EXPECT_EQ(scalar(conn, QStringLiteral("SELECT string_agg(n::text, ',' ORDER BY n) FROM put")),
              Value("1,2"));
}

} // namespace
} // namespace zarn::dal
