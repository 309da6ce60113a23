// Import runs through the batch mode on the server under test: its entry, and the program
// itself for the exit status and the progress on a pipe.

#include "ImportDatabases.h"
#include "app/BatchMode.h"
#include "support/TestDatabases.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;

namespace {

const QString created = QStringLiteral("[message]\nCreated 3 ZARN Variables.\r\n\n");

QString inserted(int count)
{
    return QStringLiteral("[message]\nInserted %1 data records into ZARN database.\n").arg(count);
}

struct BatchImport : ::testing::Test
{
    // Runs the batch mode on the stand-in's configuration with the arguments after it.
    int run(const QStringList &arguments)
    {
        outText.clear();
        errText.clear();
        QTextStream out(&outText);
        QTextStream err(&errText);
        return runBatchMode(QStringList{"--batch", "--config", db.iniPath()} + arguments, out, err);
    }

    test::ImportDatabases db;
    QString outText;
    QString errText;
};

TEST_F(BatchImport, VariablesOnly)
{
    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--variables"}), exitStatus::Success);
    EXPECT_EQ(outText, created);
    EXPECT_TRUE(errText.isEmpty());
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.storedReadings(), 0);
}

TEST_F(BatchImport, DataOnlyAfterTheVariablesShowsProgress)
{
    run({"--site", "17", "--facility", "NORTH", "--variables"});
    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--data", "--start", "2024-03-05",
                   "--end", "2024-03-06"}),
              exitStatus::Success);
    EXPECT_EQ(outText, inserted(3));
    EXPECT_TRUE(errText.startsWith("0%\n")) << errText.toStdString();
    EXPECT_EQ(db.storedReadings(), 3);
}

// A refused date range fails the call, after the variables have been imported.
TEST_F(BatchImport, ARefusedStepFailsTheCall)
{
    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--variables", "--data", "--start",
                   "2024-03-05 10:00", "--end", "2024-03-05 10:59"}),
              exitStatus::Failure);
    EXPECT_EQ(outText, created + "[message]\nThe end date must come after the start date!\n");
    EXPECT_EQ(db.variables(), 3);

    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH"}), exitStatus::Failure);
    EXPECT_EQ(outText, "[message]\nYou didn't select any data to import\n");

    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--data", "--start", "yesterday", "--end",
                   "2024-03-06"}),
              exitStatus::Failure);
    EXPECT_EQ(outText, "[message]\nInvalid Dates\n");
}

// A step that reports an error without returning one fails the call too: here the captions.
TEST_F(BatchImport, AFailedStepThatReturnsNothingFailsTheCall)
{
    db.executeOnFacility(QStringLiteral("DROP TABLE UDCaps"));
    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--variables"}), exitStatus::Failure);
    EXPECT_EQ(outText,
              created + "[exclamation]\nProgram was unable to update User Defined Captions\n");
    EXPECT_EQ(db.variables(), 3);
}

TEST_F(BatchImport, AFacilityThatCannotBeOpenedFailsTheCall)
{
    db.addFacilityWithoutCatalog(QStringLiteral("GHOST"), QStringLiteral("Ghost Plant"));
    EXPECT_EQ(run({"--site", "17", "--facility", "GHOST", "--variables"}), exitStatus::Failure);
    EXPECT_EQ(outText, "[exclamation]\nProgram was unable to import the data into ZARN\n");
}

// The lists must hold the site and the facility; what they do not hold is named, and nothing
// is imported.
TEST_F(BatchImport, ASiteOrFacilityTheListsDoNotHoldIsRefused)
{
    db.executeOnSource(QStringLiteral("UPDATE SYSTEMS SET Status = '0' WHERE SystemID = 5"));
    EXPECT_EQ(run({"--site", "5", "--facility", "NORTH", "--variables"}), exitStatus::BadArguments);
    EXPECT_TRUE(errText.contains("no active site has the identifier 5")) << errText.toStdString();
    EXPECT_TRUE(errText.contains(batchUsage()));

    EXPECT_EQ(run({"--site", "17", "--facility", "north", "--variables"}),
              exitStatus::BadArguments);
    EXPECT_TRUE(errText.contains("no facility has the file name north"));
    EXPECT_TRUE(outText.isEmpty());
    EXPECT_EQ(db.variables(), 0);
}

// A reading that stops the data import fails the call; standard error names the reading and
// how many were stored before it.
TEST_F(BatchImport, AReadingThatStopsTheImportIsNamedOnStandardError)
{
    run({"--site", "17", "--facility", "NORTH", "--variables"});
    db.executeOnSource(QStringLiteral("INSERT INTO DATA_17 (SensorType, TrainNumber, Data, "
                                      "TimeDate) VALUES (1, 1, NULL, '2024-03-05 13:00:00')"));
    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--data", "--start", "2024-03-05",
                   "--end", "2024-03-06"}),
              exitStatus::Failure);
    EXPECT_EQ(outText, "[exclamation]\nProgram was unable to import the data into ZARN\n"
                       "[stop]\nFailed to Import the Vantrel Site into ZARN\n");
    EXPECT_TRUE(errText.contains("reading 5 of 5 (sensor 1_1, time stamp 2024-03-05 13:00:00, "
                                 "value Null)"))
        << errText.toStdString();
    EXPECT_TRUE(errText.contains("3 readings before it were stored"));
    EXPECT_EQ(db.storedReadings(), 3);
}

// The server ends the facility's connection in the middle of the data import: the call fails
// with the server's own text on standard error and exactly the readings before the first one
// not stored; the same call again stores them all, each slot once.
TEST_F(BatchImport, TheServerEndingTheConnectionFailsTheCallWithItsText)
{
    if (test::serverUnderTest() != QLatin1String("postgresql"))
        GTEST_SKIP() << "a PostgreSQL fault";
    run({"--site", "17", "--facility", "NORTH", "--variables"});
    db.executeOnSource(QStringLiteral("INSERT INTO DATA_17 (SensorType, TrainNumber, Data, "
                                      "TimeDate) VALUES (1, 1, 666, '2024-03-05 13:00:00')"));
    db.executeOnFacility(QStringLiteral(
        "CREATE FUNCTION end_own_backend() RETURNS trigger LANGUAGE plpgsql AS "
        "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$"));
    db.executeOnFacility(
        QStringLiteral("CREATE TRIGGER end_own_backend BEFORE INSERT ON DD1_VALUES FOR EACH ROW "
                       "WHEN (NEW.curvalue = 666) EXECUTE FUNCTION end_own_backend()"));
    const QStringList data{"--site",  "17",         "--facility", "NORTH",     "--data",
                           "--start", "2024-03-05", "--end",      "2024-03-06"};
    EXPECT_EQ(run(data), exitStatus::Failure);
    EXPECT_EQ(outText, "[exclamation]\nProgram was unable to import the data into ZARN\n"
                       "[stop]\nFailed to Import the Vantrel Site into ZARN\n");
    // The database layer's own text for the lost connection, beside the reading it names.
    EXPECT_TRUE(errText.contains(QStringLiteral("connection"))) << errText.toStdString();
    const long long stored = db.storedReadings();
    EXPECT_LT(stored, 4);
    EXPECT_TRUE(errText.contains(QStringLiteral("%1 readings before it were stored").arg(stored)));

    db.executeOnFacility(QStringLiteral("DROP TRIGGER end_own_backend ON DD1_VALUES"));
    EXPECT_EQ(run(data), exitStatus::Success);
    EXPECT_EQ(outText, inserted(4));
    EXPECT_EQ(db.storedReadings(), 4);
    EXPECT_EQ(db.countInFacility(QStringLiteral("SELECT COUNT(DISTINCT slotstarttime) FROM "
                                                "DD1_VALUES")),
              4);
}

// The program itself, its progress going to a pipe.
TEST_F(BatchImport, TheProgramImportsAndReportsPercentLines)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ZARN_IMPORTER_PROGRAM),
                  {"--batch", "--config", db.iniPath(), "--site", "17", "--facility", "NORTH",
                   "--variables", "--data", "--start", "2024-03-04", "--end", "2024-03-06"});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), exitStatus::Success);
    EXPECT_EQ(QString::fromUtf8(program.readAllStandardOutput()), created + inserted(3));
    const QString progress = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(progress.startsWith("0%\n")) << progress.toStdString();
    EXPECT_FALSE(progress.contains('\r'));
    EXPECT_EQ(db.storedReadings(), 3);
}

} // namespace
