// The batch listing on the server under test, through the batch entry and through the program
// itself, and start-up on lists longer than a 16-bit count.

#include "StartupDatabases.h"
#include "app/BatchMode.h"
#include "app/Workspace.h"
#include "support/RecordingUserInterface.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace zarn;
using test::StartupDatabases;

namespace {

const QString Listing = QStringLiteral("facility\tF3\tAlpha\n"
                                       "facility\tF1\tBravo\n"
                                       "site\t5\tEast\n"
                                       "site\t17\tNorth\n");

struct BatchList : ::testing::Test
{
    void SetUp() override
    {
        db.addFacility("F1", "Bravo");
        db.addFacility(Value::null(), "Aardvark");
        db.addFacility("F3", "Alpha");
        db.addSite(17, "North");
        db.addSite(8, "Harbour", QStringLiteral("0"));
        db.addSite(5, "East");
    }

    int run(const QStringList &arguments)
    {
        QTextStream out(&outText);
        QTextStream err(&errText);
        return runBatchMode(arguments, out, err);
    }

    StartupDatabases db;
    QString outText;
    QString errText;
};

TEST_F(BatchList, PrintsFacilitiesThenActiveSitesInTheWindowsOrder)
{
    EXPECT_EQ(run({"--batch", "--config", db.writeIni(), "--list"}), exitStatus::Success);
    EXPECT_EQ(outText, Listing);
    EXPECT_TRUE(errText.isEmpty());
}

TEST_F(BatchList, StartUpFailureShowsTheWindowsMessageAndListsNothing)
{
    db.executeOnSource(QStringLiteral("UPDATE SYSTEMS SET Status = '0'"));
    EXPECT_EQ(run({"--batch", "--config", db.writeIni(), "--list"}), exitStatus::Failure);
    EXPECT_EQ(outText, "[information]\nZARN Vantrel DB Importer cannot find any active Vantrel "
                       "sites.\n");
}

// The program itself: the same listing and exit statuses from its command line.
struct Program : BatchList
{
    struct Result
    {
        int status = -1;
        QString out;
        QString err;
    };

    static Result runProgram(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ZARN_IMPORTER_PROGRAM), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
};

TEST_F(Program, ListsInBatchMode)
{
    const Result result = runProgram({"--batch", "--config", db.writeIni(), "--list"});
    EXPECT_EQ(result.status, exitStatus::Success);
    EXPECT_EQ(result.out, Listing);
}

TEST_F(Program, BadArgumentsEndWithStatusTwoInBothModes)
{
    const Result batch = runProgram({"--batch", "--lsit"});
    EXPECT_EQ(batch.status, exitStatus::BadArguments);
    EXPECT_TRUE(batch.err.contains(batchUsage()));

    const Result window = runProgram({"--lsit"});
    EXPECT_EQ(window.status, exitStatus::BadArguments);
    EXPECT_TRUE(window.err.contains("--lsit"));
}

// A 16-bit row count would end start-up at 32767 rows; the lists must load them all.
TEST(LongLists, MoreRowsThanA16BitCountLoad)
{
    constexpr int rows = 32800;
    StartupDatabases db;
    const QString numbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + "
                                           "1 FROM n WHERE i < %1) ")
                                .arg(rows);
    db.executeOnRoot(numbers + QStringLiteral("INSERT INTO FACILITY (filename, name) "
                                              "SELECT 'F' || i, 'Facility ' || i FROM n"));
    db.executeOnSource(numbers + QStringLiteral("INSERT INTO SYSTEMS (SystemID, FacilityName, "
                                                "Status) SELECT i, 'Site ' || i, '1' FROM n"));

    test::RecordingUserInterface ui;
    Workspace workspace(ui);
    ASSERT_TRUE(workspace.Start(db.writeIni())) << ui.messages.front().text.toStdString();
    EXPECT_EQ(workspace.facilities().size(), std::size_t(rows));
    EXPECT_EQ(workspace.sites().size(), std::size_t(rows));
    // Facility rows let window events run once, site rows not at all.
    EXPECT_EQ(ui.eventRuns, 1);
}

} // namespace
