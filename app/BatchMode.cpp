#include "app/BatchMode.h"

#include "app/BatchUserInterface.h"
#include "app/GetIniInfo.h"
#include "app/Workspace.h"

namespace zarn {

namespace {

const QString ProgramName = QStringLiteral("zarn-vantrel-importer");

// Lists the facilities, then the sites, in the order of the window's lists.
void printLists(const Workspace &workspace, QTextStream &out)
{
    for (const ListEntry &facility : workspace.facilities())
        out << "facility\t" << facility.key << '\t' << facility.name << '\n';
    for (const ListEntry &site : workspace.sites())
        out << "site\t" << site.key << '\t' << site.name << '\n';
    out.flush();
}

int runList(const BatchOptions &options, QTextStream &out, QTextStream &err)
{
    BatchUserInterface ui(out, err);
    Workspace workspace(ui);
    if (!workspace.Start(options.configPath.isEmpty() ? defaultIniPath() : options.configPath))
        return exitStatus::Failure;
    printLists(workspace, out);
    workspace.Close();
    return exitStatus::Success;
}

} // namespace

bool isBatchCall(const QStringList &arguments)
{
    return !arguments.isEmpty() && (arguments.first() == QLatin1String("--batch") ||
                                    arguments.first() == QLatin1String("--help"));
}

std::variant<BatchOptions, QString> parseBatchArguments(const QStringList &arguments)
{
    BatchOptions options;
    bool batch = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--batch") && i == 0) {
            batch = true;
        } else if (argument == QLatin1String("--config")) {
            if (!options.configPath.isEmpty())
                return QStringLiteral("--config is given twice");
            if (i + 1 == arguments.size() || arguments.at(i + 1).isEmpty())
                return QStringLiteral("--config needs the path of a configuration file");
            options.configPath = arguments.at(++i);
        } else if (argument == QLatin1String("--list")) {
            options.list = true;
        } else {
            return QStringLiteral("unknown argument: %1").arg(argument);
        }
    }
    if (options.help)
        return options;
    if (!batch)
        return QStringLiteral("--batch must come first");
    if (!options.list)
        return QStringLiteral("--batch needs --list");
    return options;
}

QString batchUsage()
{
    return QStringLiteral("usage: %1\n"
                          "       %1 --batch [--config INI] --list\n"
                          "       %1 --help\n")
        .arg(ProgramName);
}

int runBatchMode(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const auto parsed = parseBatchArguments(arguments);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        err << ProgramName << ": " << *problem << '\n' << batchUsage();
        err.flush();
        return exitStatus::BadArguments;
    }
    const BatchOptions &options = std::get<BatchOptions>(parsed);
    if (options.help) {
        out << batchUsage() << '\n'
            << "Without arguments the program opens its window. With --batch it runs the same\n"
               "start-up without a window: --list prints the facilities (facility, file name,\n"
               "name) and the active sites (site, site identifier, name), one per line.\n"
               "--config INI reads INI instead of ZARN_Vantrel_DB_importer.ini beside the\n"
               "program. Messages go to standard output, progress to standard error.\n"
               "Exit status: 0 done, 1 failed, 2 bad arguments.\n";
        out.flush();
        return exitStatus::Success;
    }
    return runList(options, out, err);
}

} // namespace zarn
