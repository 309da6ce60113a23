// Faults of the facility's server in the middle of a data import: the import fails with its
// message, the facility holds exactly the readings before the first one not stored, and the
// same import run again stores the rest with no slot written twice.

#include "facility/DataStoreSupport.h"
#include "import/StandInFixture.h"
#include "platform/dal/Transaction.h"
#include "support/OwnPostgresServer.h"
#include "support/ServerContext.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <thread>
#include <utility>

namespace zarn::test {
namespace {

using namespace std::chrono_literals;

const QString failed = QStringLiteral("Program was unable to import the data into ZARN");
constexpr int readingCount = 12000;
constexpr int faultAfter = 7000; // readings
// The import commits the readings up to this one, as the source stalls before it.
constexpr int committedFirst = 5001;

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

    // The source stalls after the reading before `committedFirst` for longer than the import
    // keeps a group of readings open (a second), so that the group is committed with the next
    // reading; then the fault strikes, after each reading until it returns true.
    static void afterTheFirstCommit(FaultingUserInterface &faulted, std::function<bool()> fault)
    {
        faulted.strikeFrom(committedFirst - 1, [stalled = false, fault]() mutable {
            if (!std::exchange(stalled, true)) {
                std::this_thread::sleep_for(1100ms);
                return false;
            }
            return fault();
        });
    }

    // The failure stored exactly the readings of the commits before it, at least those of
    // the first, and the detail line names the first reading not stored and that count.
    void expectTheCommitsBeforeItCounted(const FaultingUserInterface &faulted)
    {
        expectFailedAfterThePrefix(faulted, readingCount - 1);
        ASSERT_TRUE(lastTally.failure);
        const ReadingFailure &failure = *lastTally.failure;
        EXPECT_GE(failure.stored, committedFirst);
        EXPECT_TRUE(faulted.details.back().startsWith(
            QStringLiteral("The data import stopped at reading %1 of %2 ")
                .arg(failure.position)
                .arg(readingCount)))
            << faulted.details.back().toStdString();
        EXPECT_TRUE(faulted.details.back().endsWith(
            QStringLiteral(" %1 readings before it were stored.").arg(failure.stored)));
    }

    // The time stamp of the reading at a position, as SetUp gave it.
    static DateTime stampOf(int position)
    {
        const int i = position - 1;
        return DateTime::fromParts(2024, 3, 1 + i / 1440, i % 1440 / 60, i % 60);
    }

    // PostgreSQL, directly or through ODBC: a trigger may run at the commit.
    static bool hasDeferredTriggers()
    {
        return serverUnderTest() == QLatin1String("postgresql") ||
               serverUnderTest() == QLatin1String("odbc");
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

// Another writer takes the facility before the first reading (the import's writer holds it from
// the first write of a group to the group's commit) and keeps it.
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

// The server refuses to commit a group of readings, as a deferred constraint that a slot breaks
// makes it: the readings of the commits before it stay stored and counted, none of the group's
// is, and the failure names the group's first reading, also when it is the import's last
// commit.
TEST_F(ImportFaults, ACommitTheServerRefuses)
{
    if (!hasDeferredTriggers())
        GTEST_SKIP() << "a deferred constraint of PostgreSQL";
    constexpr int refused = 9000;
    facility->provider().executeScript(
        QStringLiteral("CREATE FUNCTION refuse_slot() RETURNS trigger LANGUAGE plpgsql AS $$"
                       " BEGIN RAISE EXCEPTION 'the slot % is refused', NEW.slotstarttime; END $$;"
                       "CREATE CONSTRAINT TRIGGER refuse_slot AFTER INSERT OR UPDATE ON DD1_VALUES"
                       " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW"
                       " WHEN (NEW.slotstarttime = '%1') EXECUTE FUNCTION refuse_slot()")
            .arg(stampOf(refused).toIsoText()));
    const auto facilityConn = facilityConnection();
    FaultingUserInterface faulted;
    afterTheFirstCommit(faulted, [] { return true; });
    EXPECT_FALSE(import(*facilityConn, faulted));
    expectTheCommitsBeforeItCounted(faulted);
    EXPECT_LT(lastTally.failure->stored, refused);
    EXPECT_TRUE(lastTally.failure->serverText.contains(QStringLiteral("is refused")));
    facility->provider().executeScript(QStringLiteral("DROP TRIGGER refuse_slot ON DD1_VALUES"));
    expectTheRerunCompletesIt();
}

// The connection is lost while the server commits a group of readings, so that its answer never
// comes (the backend ends itself at the commit): the failure names the commit in doubt and
// counts as stored only the readings of the commits before it, and a re-run completes them.
TEST_F(ImportFaults, ACommitWhoseAnswerNeverCame)
{
    if (!hasDeferredTriggers())
        GTEST_SKIP() << "a deferred trigger of PostgreSQL";
    constexpr int lost = 9000;
    facility->provider().executeScript(
        QStringLiteral(
            "CREATE FUNCTION end_at_commit() RETURNS trigger LANGUAGE plpgsql AS $$"
            " BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NULL; END $$;"
            "CREATE CONSTRAINT TRIGGER end_at_commit AFTER INSERT OR UPDATE ON DD1_VALUES"
            " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW"
            " WHEN (NEW.slotstarttime = '%1') EXECUTE FUNCTION end_at_commit()")
            .arg(stampOf(lost).toIsoText()));
    const auto facilityConn = facilityConnection();
    FaultingUserInterface faulted;
    afterTheFirstCommit(faulted, [] { return true; });
    EXPECT_FALSE(import(*facilityConn, faulted));
    expectTheCommitsBeforeItCounted(faulted);
    const ReadingFailure &failure = *lastTally.failure;
    EXPECT_LT(failure.stored, lost);
    EXPECT_GE(failure.stored + failure.inDoubt, lost);
    EXPECT_TRUE(failure.readingKey.isEmpty()); // no reading is known to have failed
    EXPECT_TRUE(failure.reason.contains(QStringLiteral("is in doubt")))
        << failure.reason.toStdString();
    EXPECT_TRUE(faulted.details.back().contains(failure.reason));
    facility->provider().executeScript(QStringLiteral("DROP TRIGGER end_at_commit ON DD1_VALUES"));
    expectTheRerunCompletesIt();
}

// Another connection holds the slot of one reading, so that its write waits past the command
// time-out inside a batch of calls: the failure names that reading, and the readings before it
// are stored, the batch's earlier calls included.
TEST_F(ImportFaults, AWriteThatWaitsForALockInsideABatch)
{
    if (serverUnderTest() == QLatin1String("sqlite"))
        GTEST_SKIP() << "SQLite locks the whole database";
    if (serverUnderTest() == QLatin1String("mariadb"))
        GTEST_SKIP() << "open on MariaDB: after a lock wait inside an array the calls sent again "
                        "wait as well, so the failure names the array's first reading";
    constexpr int held = 750;
    const auto holder = facilityConnection();
    const Value varId =
        scalar(*holder, QStringLiteral("SELECT VARID FROM VARDESC WHERE VARNUM = 101"));
    std::optional<dal::Transaction> hold(std::in_place, *holder);
    holder->Execute(QStringLiteral("INSERT INTO DD1_VALUES (varid, slotstarttime, curvalue) VALUES "
                                   "(?, ?, -1)"),
                    {varId, Value(stampOf(held))});
    const auto facilityConn = facilityConnection();
    FaultingUserInterface faulted;
    EXPECT_FALSE(import(*facilityConn, faulted));
    ASSERT_TRUE(lastTally.failure);
    EXPECT_EQ(lastTally.failure->position, held) << faulted.details.back().toStdString();
    EXPECT_FALSE(lastTally.failure->readingKey.isEmpty());
    EXPECT_EQ(lastTally.failure->inDoubt, 0);
    hold.reset();
    expectFailedAfterThePrefix(faulted, held - 1);
    EXPECT_EQ(lastTally.failure->stored, held - 1);
    expectTheRerunCompletesIt();
}

// Right after a commit the next group of readings cannot begin: on SQLite another writer has
// taken the facility, on a server the connection is gone. The commit's readings stay counted.
TEST_F(ImportFaults, ABeginAfterACommitFails)
{
    const auto facilityConn = facilityConnection();
    const auto writer = facilityConnection();
    std::function<bool()> fault;
    if (serverUnderTest() == QLatin1String("sqlite")) {
        writer->Execute(QStringLiteral("PRAGMA busy_timeout = 0"));
        fault = [&] {
            try {
                writer->Execute(QStringLiteral("BEGIN IMMEDIATE"));
                return true;
            } catch (const DatabaseError &) {
                return false; // the import holds it: once more after the next reading
            }
        };
    } else {
        fault = [&] {
            serverContext().endConnection(*facilityConn, *root);
            return true;
        };
    }
    FaultingUserInterface faulted;
    afterTheFirstCommit(faulted, fault);
    EXPECT_FALSE(import(*facilityConn, faulted));
    if (serverUnderTest() == QLatin1String("sqlite"))
        writer->Execute(QStringLiteral("ROLLBACK"));
    expectTheCommitsBeforeItCounted(faulted);
    EXPECT_EQ(lastTally.failure->stored, committedFirst);
    expectTheRerunCompletesIt();
}

// A SQLite facility on a small filesystem that fills up, so that a commit cannot write its
// pages (mounted where the test may mount one).
class ImportOnAFullDisk : public ImportFaults
{
protected:
    void SetUp() override
    {
        if (serverUnderTest() != QLatin1String("sqlite"))
            GTEST_SKIP() << "a SQLite fault";
        ASSERT_TRUE(folder.isValid());
        if (::mount("tmpfs", QFile::encodeName(folder.path()).constData(), "tmpfs", 0,
                    "size=64m") != 0)
            GTEST_SKIP() << "no small filesystem can be mounted here: " << std::strerror(errno);
        m_mounted = true;
        ImportFaults::SetUp();
    }

    ~ImportOnAFullDisk() override
    {
        // Detached at once; the connections still open on it close with the fixture.
        if (m_mounted)
            ::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH);
    }

    bool fillTheDisk()
    {
        QFile filler(fillerPath());
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        for (qint64 block = 1 << 20; block > 0; block /= 16) {
            const QByteArray bytes(block, '\0');
            while (filler.write(bytes) == block) {
            }
        }
        return true;
    }
    QString fillerPath() const { return folder.filePath(QStringLiteral("filler")); }

    bool m_mounted = false;
};

TEST_F(ImportOnAFullDisk, ACommitMeetsAFullDisk)
{
    const auto facilityConn = facilityConnection();
    FaultingUserInterface faulted;
    afterTheFirstCommit(faulted, [&] { return fillTheDisk(); });
    EXPECT_FALSE(import(*facilityConn, faulted));
    ASSERT_TRUE(QFile::remove(fillerPath()));
    expectTheCommitsBeforeItCounted(faulted);
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
