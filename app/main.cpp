#include "app/BatchMode.h"
#include "app/IniFile.h"
#include "app/window/frmMain.h"
#include "platform/Terminal.h"
#include "platform/UserInterface.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char *const NoDisplayText =
    "zarn-vantrel-importer: no display can be opened for the window; run it with --batch "
    "(see --help)\n";

QStringList argumentsAfterProgramName(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int runBatch(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A terminal gets one bar redrawn in place; a file or a pipe gets a line per percent.
    const zarn::ProgressStyle progress =
        zarn::isTerminal(stderr) ? zarn::ProgressStyle::Bar : zarn::ProgressStyle::Lines;
    return zarn::runBatchMode(app.arguments().mid(1), out, err, progress);
}

int refuse(const QString &problem)
{
    QTextStream err(stderr);
    err << "zarn-vantrel-importer: " << problem << '\n' << zarn::batchUsage();
    return zarn::exitStatus::BadArguments;
}

// Qt aborts the program when its window platform cannot start, as where no display can be
// opened, after several lines of its own. While the application object is made, Qt's messages
// are held back: when the platform fails, one line says so and the program ends with the
// status of a wrong call; when it starts, they are passed on.
class PlatformStartWatch
{
public:
    PlatformStartWatch() { s_previous = qInstallMessageHandler(&PlatformStartWatch::hold); }
    ~PlatformStartWatch()
    {
        qInstallMessageHandler(s_previous);
        for (const QString &line : s_held)
            std::fprintf(stderr, "%s\n", qPrintable(line));
        s_held.clear();
    }
    PlatformStartWatch(const PlatformStartWatch &) = delete;
    PlatformStartWatch &operator=(const PlatformStartWatch &) = delete;

private:
    static void hold(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type != QtFatalMsg) {
            s_held << qFormatLogMessage(type, context, message);
            return;
        }
        std::fputs(NoDisplayText, stderr);
        std::fflush(stderr);
        std::_Exit(zarn::exitStatus::BadArguments);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_held;
};

std::unique_ptr<QApplication> startWindowPlatform(int &argc, char **argv)
{
    const PlatformStartWatch watch;
    return std::make_unique<QApplication>(argc, argv);
}

int runWindow(int argc, char **argv)
{
    // Takes Qt's own arguments (-platform ...) off the list.
    const std::unique_ptr<QApplication> app = startWindowPlatform(argc, argv);
    // Every title bar names the product after its own caption ("ZARN Vantrel Import Tool —
    // ZARN Vantrel Importer"); the message boxes, titled with the product name, show it once.
    QGuiApplication::setApplicationDisplayName(zarn::applicationTitle());
    const auto parsed = zarn::parseWindowArguments(app->arguments().mid(1));
    if (const QString *problem = std::get_if<QString>(&parsed))
        return refuse(*problem);
    zarn::frmMain window;
    if (!window.start(zarn::chosenIniFile(std::get<zarn::WindowOptions>(parsed).configPath)))
        return zarn::exitStatus::Failure;
    return app->exec();
}

} // namespace

int main(int argc, char **argv)
{
    const QStringList arguments = argumentsAfterProgramName(argc, argv);
    if (zarn::isBatchCall(arguments))
        return runBatch(argc, argv);
    // The program's own options are refused before Qt would need a display.
    if (const auto problem = zarn::windowArgumentProblem(arguments))
        return refuse(*problem);
    return runWindow(argc, argv);
}
