// The program's command line as a Unix tool's: the version, arguments it does not know, and a
// window call where no display can be opened. No database is reached.

#include "app/BatchMode.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarn;

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

// The environment of a machine without a display: no X or Wayland display, and the window
// platform left to Qt's default unless one is given.
QProcessEnvironment withoutDisplay(const QString &platform = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return environment;
}

Result runProgram(const QStringList &arguments,
                  const QProcessEnvironment &environment = withoutDisplay())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ZARN_IMPORTER_PROGRAM), arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    // A crash or Qt's abort is not a way to end.
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(CommandLine, VersionPrintsTheNameAndVersion)
{
    const Result result = runProgram({"--version"});
    EXPECT_EQ(result.status, exitStatus::Success);
    EXPECT_EQ(result.out, versionText() + "\n");
    EXPECT_TRUE(result.out.startsWith("zarn-vantrel-importer "));
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

// Refused before any display is needed, with the usage.
TEST(CommandLine, AnUnknownArgumentWithoutBatchIsRefused)
{
    for (const QStringList &arguments :
         {QStringList{"--lsit"}, QStringList{"--list"}, QStringList{"--site", "102"}}) {
        const Result result = runProgram(arguments);
        EXPECT_EQ(result.status, exitStatus::BadArguments) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(arguments.first())) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(batchUsage()));
        EXPECT_TRUE(result.out.isEmpty());
    }
    // Where the window could open, a word that Qt does not take is refused as well.
    const Result offscreen = runProgram({"import"}, withoutDisplay("offscreen"));
    EXPECT_EQ(offscreen.status, exitStatus::BadArguments);
    EXPECT_TRUE(offscreen.err.contains("unknown argument: import"));
    EXPECT_TRUE(offscreen.err.contains(batchUsage()));
}

// Without a display the window call says so in one line that points to --batch, instead of
// Qt's abort and its lines about platform plugins.
TEST(CommandLine, NoDisplayIsOneLineAndStatusTwo)
{
    QProcessEnvironment unreachable = withoutDisplay();
    unreachable.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    for (const QProcessEnvironment &environment :
         {withoutDisplay(), withoutDisplay("xcb"), unreachable}) {
        const Result result = runProgram({}, environment);
        EXPECT_EQ(result.status, exitStatus::BadArguments);
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.endsWith('\n'));
        EXPECT_TRUE(result.err.contains("display"));
        EXPECT_TRUE(result.err.contains("--batch"));
        EXPECT_TRUE(result.out.isEmpty());
    }
}

// --batch after other options still means the batch mode: no window is tried.
TEST(CommandLine, BatchAnywhereNeedsNoDisplay)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.ini");
    for (const QStringList &arguments :
         {QStringList{"--list", "--config", missing, "--batch"},
          QStringList{"--site", "102", "--config", missing, "--batch", "--facility", "NORTH",
                      "--variables"}}) {
        const Result result = runProgram(arguments);
        EXPECT_EQ(result.status, exitStatus::Failure) << result.err.toStdString();
        EXPECT_EQ(result.out,
                  "[exclamation]\nProgram was unable to load or parse " + missing + "\n");
    }
}

// A device or a named pipe in place of the configuration file ends the call at once.
TEST(CommandLine, ConfigurationThatIsNoRegularFile)
{
#ifdef Q_OS_UNIX
    const Result result = runProgram({"--batch", "--config", "/dev/zero", "--list"});
    EXPECT_EQ(result.status, exitStatus::Failure);
    EXPECT_EQ(result.out, "[exclamation]\nProgram was unable to load or parse /dev/zero\n");
    EXPECT_EQ(result.err, "/dev/zero: it is not a regular file\n");
#else
    GTEST_SKIP() << "devices are Unix files";
#endif
}

} // namespace
