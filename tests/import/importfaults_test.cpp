// Faults of the facility's server in the middle of a data import: the import fails with its
// message, the facility holds exactly the readings before the first one not stored, and the
// same import run again stores the rest with no slot written twice.

#include "facility/DataStoreSupport.h"
#include "import/StandInFixture.h"
#include "support/OwnPostgresServer.h"

#include <functional>
#include <optional>

namespace zarn::test {
namespace {

using namespace std::chrono_literals;

const QString failed = QStringLiteral("Program was unable to import the data into ZARN");
constexpr int readingCount = 12000;
constexpr int faultAfter = 7000; // readings

// Lets a fault strike when the import lets window events run after a given reading.
class FaultingUserInterface : public RecordingUserInterface
{
public:
    // The fault runs after each reading from the given one on, until it returns true.
    void strikeFrom(int reading, std::function<bool()> fault)
    {
        m_from = reading;
        m_fault = std::move(fault);
    }

    void processEvents() override
    {
        RecordingUserInterface::processEvents();
        // The import lets events run once before its first reading and then after each one.
        if (m_fault && eventRuns - 1 >= m_from && m_fault())
            m_fault = nullptr;
    }

private:
    int m_from = 0;
    std::function<bool()> m_fault;
};

// A site whose one sensor has a variable and 12,000 readings, one a minute, each in a slot of
// its own and each value its position less a half.
class ImportFaults : public StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        if (HasFatalFailure())
            return;
        addSite(1);
        SensorRow flow;
        flow.SensorID = std::int32_t{101};
        addSensor(1, flow);
        facility->Execute(QStringLiteral("INSERT INTO VARDESC (VARNUM, name) VALUES (101, 'F')"));
        source->provider().beginTransaction();
        for (int i = 0; i < readingCount; ++i)
            addReading(1, 1, 1, i + 0.5,
                       DateTime::fromParts(2024, 3, 1 + i / 1440, i % 1440 / 60, i % 60));
        source->provider().commit();
    }

    // A facility connection of its own, whose command time-out is short.
    std::unique_ptr<dal::Connection> facilityConnection()
    {
        auto connection = std::make_unique<dal::Connection>();
        connection->setConnectionString(server->catalogConnectionString(QStringLiteral("IMPTEST")));
        connection->setCommandTimeout(1);
        connection->Open();
        return connection;
    }

    bool import(dal::Connection &facilityConn, UserInterface &withUi)
    {
        Importer run(withUi, databaseKind);
        run.setProgressInterval(0ms);
        run.Init(*source, facilityConn, *root, QStringLiteral("IMPTEST"));
        const bool ok =
            run.ImportData(DateTime::fromParts(2024, 2, 1), DateTime::fromParts(2024, 4, 1),
                           QStringLiteral("1"), QString(), QStringLiteral("IMPTEST"));
        lastTally = run.tally().data;
        return ok;
    }

    // The facility holds the first `stored` readings and no other, each once.
    void expectExactPrefix(std::int64_t stored)
    {
        const auto facilityNow = facilityConnection();
        const Rows values = rows(*facilityNow, QStringLiteral("SELECT curvalue FROM DD1_VALUES "
                                                              "ORDER BY slotstarttime"));
        ASSERT_EQ(static_cast<std::int64_t>(values.size()), stored);
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(values[i][0].toDouble(), static_cast<double>(i) + 0.5) << "reading " << i;
        EXPECT_EQ(rows(*facilityNow, QStringLiteral("SELECT COUNT(DISTINCT slotstarttime) FROM "
                                                    "DD1_VALUES"))[0][0]
                      .toDouble(),
                  static_cast<double>(stored));
    }

    // The failed run: its message, what it stored (at most `mostStored`), and the reading it
    // names.
    void expectFailedAfterThePrefix(const FaultingUserInterface &faulted, std::int64_t mostStored)
    {
        EXPECT_EQ(faulted.messages, std::vector<Message>{exclamation(failed)});
        ASSERT_TRUE(lastTally.failure);
        const ReadingFailure &failure = *lastTally.failure;
        EXPECT_LE(failure.stored, mostStored);
        EXPECT_EQ(failure.position, failure.stored + 1);
        EXPECT_FALSE(failure.serverText.isEmpty());
        ASSERT_FALSE(faulted.details.empty());
        EXPECT_TRUE(faulted.details.back().contains(failure.serverText));
        expectExactPrefix(failure.stored);
    }

    void expectTheRerunCompletesIt()
    {
        RecordingUserInterface again;
        const auto facilityNow = facilityConnection();
        EXPECT_TRUE(import(*facilityNow, again));
        EXPECT_EQ(again.messages.back().text,
                  QStringLiteral("Inserted %1 data records into ZARN database.").arg(readingCount));
        expectExactPrefix(readingCount);
    }

    DataTally lastTally;
};

TEST_F(ImportFaults, TheBackendEndedMidImport)
{
    if (serverUnderTest() != QLatin1String("postgresql"))
        GTEST_SKIP() << "a PostgreSQL fault";
    const auto facilityConn = facilityConnection();
    const Value backend = scalar(*facilityConn, QStringLiteral("SELECT pg_backend_pid()"));
    FaultingUserInterface faulted;
    faulted.strikeFrom(faultAfter, [&] {
        root->Execute(QStringLiteral("SELECT pg_terminate_backend(?)"), {backend});
        return true;
    });
    EXPECT_FALSE(import(*facilityConn, faulted));
    expectFailedAfterThePrefix(faulted, faultAfter);
    expectTheRerunCompletesIt();
}

// Another writer takes the facility before the first reading (the import's writer keeps its
// transaction open from commit to commit) and keeps it.
TEST_F(ImportFaults, ASQLiteFacilityLockedByAnotherWriter)
{
    if (serverUnderTest() != QLatin1String("sqlite"))
        GTEST_SKIP() << "a SQLite fault";
    const auto facilityConn = facilityConnection();
    const auto writer = facilityConnection();
    writer->Execute(QStringLiteral("PRAGMA busy_timeout = 0"));
    FaultingUserInterface faulted;
    faulted.strikeFrom(0, [&] {
        try {
            writer->Execute(QStringLiteral("BEGIN IMMEDIATE"));
            return true;
        } catch (const DatabaseError &) {
            return false; // the import holds it: once more after the next reading
        }
    });
    EXPECT_FALSE(import(*facilityConn, faulted));
    writer->Execute(QStringLiteral("ROLLBACK"));
    expectFailedAfterThePrefix(faulted, 0);
    expectTheRerunCompletesIt();
}

// The facility's PostgreSQL server stops at once, as in a crash: a server of the test's own, so
// that the shared one stays up.
class ImportOnItsOwnServer : public ImportFaults
{
protected:
    void SetUp() override
    {
        if (serverUnderTest() != QLatin1String("postgresql"))
            GTEST_SKIP() << "a PostgreSQL fault";
        ownServer.emplace();
        ASSERT_TRUE(ownServer->started());
        sharedHost = qgetenv("ZARN_TEST_PG_HOST");
        sharedPort = qgetenv("ZARN_TEST_PG_PORT");
        qputenv("ZARN_TEST_PG_HOST", ownServer->host().toUtf8());
        qputenv("ZARN_TEST_PG_PORT", ownServer->port().toUtf8());
        ImportFaults::SetUp();
    }

    void TearDown() override
    {
        if (ownServer) {
            qputenv("ZARN_TEST_PG_HOST", sharedHost);
            qputenv("ZARN_TEST_PG_PORT", sharedPort);
        }
    }

    std::optional<OwnPostgresServer> ownServer;
    QByteArray sharedHost;
    QByteArray sharedPort;
};

TEST_F(ImportOnItsOwnServer, TheServerStoppedMidImport)
{
    const auto facilityConn = facilityConnection();
    FaultingUserInterface faulted;
    faulted.strikeFrom(faultAfter, [&] {
        ownServer->run(QStringLiteral("halt"));
        return true;
    });
    EXPECT_FALSE(import(*facilityConn, faulted));
    // The test's own connections went with the server.
    ownServer->run(QStringLiteral("resume"));
    source = schema::openConnection(source->connectionString());
    root = schema::openConnection(server->catalogConnectionString(QStringLiteral("TAVROOT")));
    expectFailedAfterThePrefix(faulted, faultAfter);
    expectTheRerunCompletesIt();
}

} // namespace
} // namespace zarn::test
