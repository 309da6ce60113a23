// ODBC under faults, on each ODBC server of the suite: a server that stops answering altogether,
// frozen on a server of the test's own; and a server that compares table names by case.
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"
#include "support/OwnMariadbServer.h"
#include "support/ServerContext.h"
#include "support/TestDatabases.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zarn::dal {
namespace {

using test::StoppedProcess;

class OdbcFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        own = test::serverContext().startOwnServer();
        ASSERT_TRUE(own.server->started());
    }

    void open(Connection &connection) const
    {
        connection.setConnectionString(own.connectionString);
        connection.Open();
    }

    // Stops the processes until the guards end; false where one could not be stopped.
    static bool freeze(const std::vector<pid_t> &processes,
                       std::vector<std::unique_ptr<StoppedProcess>> &frozen)
    {
        for (const pid_t process : processes)
            frozen.push_back(std::make_unique<StoppedProcess>(process));
        for (const auto &stopped : frozen) {
            if (!stopped->stopped())
                return false;
        }
        return !frozen.empty();
    }

    test::ServerContext::OwnTestServer own;
};

// A server that takes the connection and never answers it: the open fails within the connection
// time-out and a margin, where the driver would wait for its greeting for ever.
TEST_F(OdbcFaults, AConnectToAFrozenServerEndsWithinTheConnectionTimeOut)
{
    Connection probe;
    open(probe);
    std::vector<std::unique_ptr<StoppedProcess>> frozen;
    ASSERT_TRUE(freeze(test::serverContext().processesServing(probe, *own.server), frozen));
    Connection connection;
    connection.setConnectionTimeout(2);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(open(connection), DatabaseError);
    EXPECT_LT(clock.elapsed(), 15000); // bounded, not timed: it must not hang
    EXPECT_FALSE(connection.isOpen());
}

// An idle connection asks its server nothing when it closes: closing one whose server stopped
// answering does not wait out the command time-out.
TEST_F(OdbcFaults, AnIdleConnectionToAFrozenServerClosesWithoutWaiting)
{
    Connection idle;
    idle.setCommandTimeout(10);
    open(idle);
    idle.Execute(QStringLiteral("SELECT 1"));
    std::vector<std::unique_ptr<StoppedProcess>> frozen;
    ASSERT_TRUE(freeze(test::serverContext().processesServing(idle, *own.server), frozen));
    QElapsedTimer clock;
    clock.start();
    idle.Close();
    EXPECT_LT(clock.elapsed(), 10000); // within the time-out that a rollback would wait out
}

// The program's SQL writes some tables in two cases: on a server that compares table names by
// case, the failure names the table and the setting that a ZARN or Vantrel server needs, which
// the batch mode's detail line then says.
TEST(OdbcTableNames, ATableNotFoundInItsCaseNamesTheSetting)
{
    if (test::serverUnderTest() != QLatin1String("mariadb"))
        GTEST_SKIP() << "table names compared by case: MariaDB's setting";
    test::OwnMariadbServer server(true);
    ASSERT_TRUE(server.started());
    Connection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=ODBC;Data Source=%1;User ID=root").arg(server.dataSource()));
    connection.Open();
    connection.Execute(QStringLiteral("CREATE DATABASE plant"));
    connection.Execute(QStringLiteral("CREATE TABLE plant.Location (id INTEGER)"));
    try {
        connection.Execute(QStringLiteral("SELECT id FROM plant.LOCATION"));
        ADD_FAILURE() << "the table was found in another case";
    } catch (const DatabaseError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("LOCATION")));
        EXPECT_TRUE(error.description().contains(QStringLiteral("lower_case_table_names=1")))
            << error.what();
    }
}

} // namespace
} // namespace zarn::dal
