// The batch mode's arguments and its user interface, without a database.

#include "app/BatchMode.h"
#include "app/BatchUserInterface.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarn;

namespace {

BatchOptions parsed(const QStringList &arguments)
{
    const auto result = parseBatchArguments(arguments);
    if (const QString *problem = std::get_if<QString>(&result)) {
        ADD_FAILURE() << problem->toStdString();
        return {};
    }
    return std::get<BatchOptions>(result);
}

QString refused(const QStringList &arguments)
{
    const auto result = parseBatchArguments(arguments);
    if (!std::holds_alternative<QString>(result)) {
        ADD_FAILURE() << "accepted: " << arguments.join(' ').toStdString();
        return {};
    }
    return std::get<QString>(result);
}

TEST(BatchArguments, ListWithAndWithoutConfig)
{
    const BatchOptions plain = parsed({"--batch", "--list"});
    EXPECT_TRUE(plain.list);
    EXPECT_FALSE(plain.help);
    EXPECT_TRUE(plain.configPath.isEmpty());

    EXPECT_EQ(parsed({"--batch", "--config", "/srv/a.ini", "--list"}).configPath, "/srv/a.ini");
    EXPECT_EQ(parsed({"--batch", "--list", "--config", "b.ini"}).configPath, "b.ini");
}

TEST(BatchArguments, ImportTakesItsValuesAsGiven)
{
    const BatchOptions both =
        parsed({"--batch", "--data", "--site", "17", "--end", "2024-03-06 10:00", "--facility",
                "NORTH", "--start", "5/3/24", "--variables"});
    EXPECT_FALSE(both.list);
    EXPECT_EQ(both.site, "17");
    EXPECT_EQ(both.facility, "NORTH");
    EXPECT_TRUE(both.variables);
    EXPECT_TRUE(both.data);
    EXPECT_EQ(both.start, "5/3/24");
    EXPECT_EQ(both.end, "2024-03-06 10:00");

    // Nothing ticked is the import run's own check, not an argument error.
    const BatchOptions neither = parsed({"--batch", "--site", "17", "--facility", "NORTH"});
    EXPECT_FALSE(neither.variables || neither.data);
}

TEST(BatchArguments, RefusesAnIncompleteOrMixedImport)
{
    EXPECT_TRUE(refused({"--batch", "--list", "--site", "17"}).contains("--list"));
    EXPECT_TRUE(refused({"--batch", "--variables"}).contains("--site"));
    EXPECT_TRUE(refused({"--batch", "--site", "17", "--variables"}).contains("--facility"));
    EXPECT_TRUE(refused({"--batch", "--site", "1", "--facility", "F", "--data", "--start", "x"})
                    .contains("--end"));
    EXPECT_TRUE(refused({"--batch", "--site", "1", "--facility", "F", "--variables", "--start",
                         "2024-03-05", "--end", "2024-03-06"})
                    .contains("--data"));
    EXPECT_TRUE(
        refused({"--batch", "--site", "1", "--site", "2", "--facility", "F"}).contains("twice"));
    EXPECT_TRUE(refused({"--batch", "--site", "", "--facility", "F"}).contains("--site"));
}

// A report that could not be written is refused before anything runs.
TEST(BatchArguments, RefusesAReportThatCouldNotBeWritten)
{
    const QTemporaryDir folder;
    const QStringList import{"--batch", "--site",      "1",       "--facility",
                             "F",       "--variables", "--report"};
    EXPECT_EQ(refused(import + QStringList{folder.filePath("none/run.json")}),
              "the report's folder " + QDir::toNativeSeparators(folder.filePath("none")) +
                  " does not exist");
    EXPECT_TRUE(refused(import + QStringList{folder.path()}).startsWith("--report names a folder"));
    EXPECT_EQ(parsed(import + QStringList{folder.filePath("run.json")}).reportPath,
              folder.filePath("run.json"));
}

TEST(BatchArguments, HelpAndVersionWinWhereverTheyStand)
{
    EXPECT_TRUE(parsed({"--help"}).help);
    EXPECT_TRUE(parsed({"--batch", "--help"}).help);
    EXPECT_TRUE(parsed({"--batch", "--list", "--help"}).help);
    EXPECT_TRUE(parsed({"--version"}).version);
    EXPECT_TRUE(parsed({"--site", "17", "--version"}).version);
    EXPECT_FALSE(parsed({"--version"}).help);
}

TEST(BatchArguments, BatchMayStandAnywhere)
{
    EXPECT_TRUE(parsed({"--list", "--batch"}).list);
    const BatchOptions import = parsed({"--site", "102", "--batch", "--facility", "NORTH"});
    EXPECT_EQ(import.site, "102");
    EXPECT_EQ(import.facility, "NORTH");
    EXPECT_EQ(parsed({"--config", "a.ini", "--list", "--batch"}).configPath, "a.ini");
    // The value of an option is not the option.
    EXPECT_TRUE(refused({"--config", "--batch", "--list"}).contains("--batch"));
}

TEST(BatchArguments, RefusesWhatItCannotDo)
{
    EXPECT_TRUE(refused({"--batch"}).contains("--list"));
    EXPECT_TRUE(refused({"--list"}).contains("--batch"));
    EXPECT_TRUE(refused({"--batch", "--list", "--verbose"}).contains("--verbose"));
    EXPECT_TRUE(refused({"--batch", "--list", "--config"}).contains("--config"));
    EXPECT_TRUE(refused({"--batch", "--list", "--config", ""}).contains("--config"));
    EXPECT_TRUE(refused({"--batch", "--config", "a", "--config", "b", "--list"}).contains("twice"));
    // A value that looks like the next option is still the file name it was given as.
    EXPECT_EQ(parsed({"--batch", "--config", "--list", "--list"}).configPath, "--list");
}

TEST(BatchArguments, BatchHelpAndVersionLeaveTheWindowAsideWhereverTheyStand)
{
    EXPECT_TRUE(isBatchCall({"--batch", "--list"}));
    EXPECT_TRUE(isBatchCall({"--list", "--batch"}));
    EXPECT_TRUE(isBatchCall({"--site", "102", "--batch"}));
    EXPECT_TRUE(isBatchCall({"--help"}));
    EXPECT_TRUE(isBatchCall({"-platform", "offscreen", "--version"}));
    EXPECT_FALSE(isBatchCall({}));
    EXPECT_FALSE(isBatchCall({"-platform", "offscreen"}));
    EXPECT_FALSE(isBatchCall({"--config", "--batch"}));
    EXPECT_FALSE(isBatchCall({"--site", "--help", "--list"}));
}

// Of the program's options the window takes --config only; Qt's own have a single dash.
TEST(WindowArguments, TheProgramsOwnOptionsNeedBatch)
{
    EXPECT_FALSE(windowArgumentProblem({}));
    EXPECT_FALSE(windowArgumentProblem({"-platform", "offscreen", "--config", "--list"}));
    EXPECT_FALSE(windowArgumentProblem({"-platform", "offscreen", "-style", "fusion"}));
    EXPECT_EQ(windowArgumentProblem({"--list"}), "--list needs --batch");
    EXPECT_EQ(windowArgumentProblem({"-platform", "xcb", "--site", "17"}), "--site needs --batch");
    EXPECT_EQ(windowArgumentProblem({"--lsit"}), "unknown argument: --lsit");
    EXPECT_EQ(windowArgumentProblem({"--"}), "unknown argument: --");
}

// What Qt leaves of a window call: --config and its value, nothing else.
TEST(WindowArguments, OnlyTheConfigurationRemainsAfterQt)
{
    const struct
    {
        QStringList arguments;
        QString configOrProblem;
    } cases[] = {
        {{}, ""},
        {{"--config", "my.ini"}, "my.ini"},
        {{"--config"}, "--config needs the path of a configuration file"},
        {{"--config", "a.ini", "--config", "b.ini"}, "--config is given twice"},
        {{"--config", "a.ini", "--list"}, "--list needs --batch"},
        {{"import"}, "unknown argument: import"},
    };
    for (const auto &c : cases) {
        const auto parsed = parseWindowArguments(c.arguments);
        const auto *options = std::get_if<WindowOptions>(&parsed);
        EXPECT_EQ(options ? options->configPath : std::get<QString>(parsed), c.configOrProblem)
            << c.arguments.join(' ').toStdString();
    }
}

struct BatchRun : ::testing::Test
{
    int run(const QStringList &arguments)
    {
        QTextStream out(&outText);
        QTextStream err(&errText);
        return runBatchMode(arguments, out, err);
    }
    QString outText;
    QString errText;
};

TEST_F(BatchRun, BadArgumentsGiveTheUsageAndStatusTwo)
{
    EXPECT_EQ(run({"--batch", "--list", "--lsit"}), exitStatus::BadArguments);
    EXPECT_TRUE(outText.isEmpty());
    EXPECT_TRUE(errText.contains("unknown argument: --lsit"));
    EXPECT_TRUE(errText.contains(batchUsage()));
}

TEST_F(BatchRun, HelpGoesToStandardOutput)
{
    EXPECT_EQ(run({"--help"}), exitStatus::Success);
    EXPECT_TRUE(outText.startsWith(batchUsage()));
    EXPECT_TRUE(errText.isEmpty());
}

TEST_F(BatchRun, VersionNamesTheProgram)
{
    EXPECT_EQ(run({"--version"}), exitStatus::Success);
    EXPECT_EQ(outText, "zarn-vantrel-importer (ZARN Vantrel Importer) " ZARN_TEST_VERSION "\n");
    EXPECT_TRUE(errText.isEmpty());
}

TEST_F(BatchRun, MissingConfigurationEndsWithItsMessageAndStatusOne)
{
    QTemporaryDir empty;
    const QString path = empty.filePath("none.ini");
    EXPECT_EQ(run({"--list", "--config", path, "--batch"}), exitStatus::Failure);
    EXPECT_EQ(outText, "[exclamation]\nProgram was unable to load or parse " + path + "\n");
    EXPECT_TRUE(errText.startsWith(path + ": ")) << errText.toStdString();
}

struct BatchInterface : ::testing::Test
{
    QString outText;
    QString errText;
    QTextStream out{&outText};
    QTextStream err{&errText};
    BatchUserInterface ui{out, err};

    void show(const QString &text, MessageIcon icon)
    {
        Message message;
        message.text = text;
        message.icon = icon;
        ui.showMessage(message);
    }
};

TEST_F(BatchInterface, EachMessageIsABlockNamedByItsKind)
{
    show("Counted 3", MessageIcon::None);
    show("No sites", MessageIcon::Information);
    show("Cannot load", MessageIcon::Exclamation);
    show("Failed\r\n\r\nbadly", MessageIcon::Stop);
    EXPECT_EQ(outText, "[message]\nCounted 3\n"
                       "[information]\nNo sites\n"
                       "[exclamation]\nCannot load\n"
                       "[stop]\nFailed\r\n\r\nbadly\n");
    EXPECT_TRUE(errText.isEmpty());
}

TEST_F(BatchInterface, ProgressPrintsEachWholePercentOnceWhileVisible)
{
    ui.setProgressMax(200);
    ui.setProgressValue(100); // not shown yet
    ui.setProgressVisible(true);
    for (int value : {100, 101, 102, 150, 400})
        ui.setProgressValue(value);
    ui.setProgressVisible(false);
    ui.setProgressValue(10);
    EXPECT_EQ(errText, "50%\n51%\n75%\n100%\n");
    EXPECT_TRUE(outText.isEmpty());
}

TEST_F(BatchInterface, ProgressSurvivesAZeroMaximumAndLargeValues)
{
    ui.setProgressVisible(true);
    ui.setProgressMax(0);
    ui.setProgressValue(5);
    ui.setProgressMax(2'000'000'000);
    ui.setProgressValue(1'999'999'999);
    EXPECT_EQ(errText, "0%\n99%\n");
}

} // namespace
