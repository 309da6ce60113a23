// ODBC under faults, on each ODBC server of the suite: a server that stops answering altogether,
// frozen on a server of the test's own.
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"
#include "support/ServerContext.h"

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

} // namespace
} // namespace zarn::dal
