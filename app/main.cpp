#include "app/BatchMode.h"
#include "app/GetIniInfo.h"
#include "app/window/frmMain.h"
#include "platform/Terminal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

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

int runWindow(int argc, char **argv)
{
    QApplication app(argc, argv); // takes Qt's own arguments (-platform ...) off the list
    if (app.arguments().size() > 1) {
        QTextStream err(stderr);
        err << "zarn-vantrel-importer: unknown argument: " << app.arguments().at(1) << '\n'
            << zarn::batchUsage();
        return zarn::exitStatus::BadArguments;
    }
    zarn::frmMain window;
    if (!window.start(zarn::defaultIniPath()))
        return zarn::exitStatus::Failure;
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (zarn::isBatchCall(argumentsAfterProgramName(argc, argv)))
        return runBatch(argc, argv);
    return runWindow(argc, argv);
}
