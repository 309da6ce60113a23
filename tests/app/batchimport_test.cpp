// Import runs through the batch mode on the server under test: its entry, and the program
// itself for the exit status and the progress on a pipe.

#include "ImportDatabases.h"
#include "app/BatchMode.h"

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
