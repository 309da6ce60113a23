#include "app/BatchMode.h"

#include "app/BatchPreview.h"
#include "app/BatchVerify.h"
#include "app/ImportRun.h"
#include "app/IniFile.h"
#include "app/ReportFile.h"
#include "app/Workspace.h"
#include "platform/MessageLog.h"

#include <QFile>
#include <optional>

namespace zarn {

namespace {

const QString ProgramName = QStringLiteral("zarn-vantrel-importer");

// An option followed by its value, where the options keep it, and what the value is.
struct ValueOption
{
    const char *name;
    QString BatchOptions::*field;
    const char *what;
};

const ValueOption valueOptions[] = {
    {"--config", &BatchOptions::configPath, "the path of a configuration file"},
    {"--site", &BatchOptions::site, "a site identifier"},
    {"--facility", &BatchOptions::facility, "a facility file name"},
    {"--start", &BatchOptions::start, "a date"},
    {"--end", &BatchOptions::end, "a date"},
    {"--format", &BatchOptions::format, "table or json"},
    {"--report", &BatchOptions::reportPath, "the path of the report to write"},
};

const ValueOption *findValueOption(const QString &argument)
{
    for (const ValueOption &option : valueOptions)
        if (argument == QLatin1String(option.name))
            return &option;
    return nullptr;
}

// Takes the value after the option at i, moving i onto it; what is wrong otherwise.
std::optional<QString> takeValue(const ValueOption &option, const QStringList &arguments,
                                 qsizetype &i, BatchOptions &options)
{
    QString &value = options.*option.field;
    if (!value.isEmpty())
        return QStringLiteral("%1 is given twice").arg(QLatin1String(option.name));
    if (i + 1 == arguments.size() || arguments.at(i + 1).isEmpty())
        return QStringLiteral("%1 needs %2")
            .arg(QLatin1String(option.name), QLatin1String(option.what));
    value = arguments.at(++i);
    return std::nullopt;
}

// Whether the option stands among the arguments, not as the value of another option.
bool namesOption(const QStringList &arguments, const char *name)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (findValueOption(arguments.at(i)))
            ++i;
        else if (arguments.at(i) == QLatin1String(name))
            return true;
    }
    return false;
}

// The options of the batch mode that take no value and need --batch.
const char *const importFlags[] = {"--list", "--variables", "--data"};

bool isBatchOption(const QString &argument)
{
    if (findValueOption(argument))
        return true;
    for (const char *flag : importFlags)
        if (argument == QLatin1String(flag))
            return true;
    return false;
}

bool asksForImport(const BatchOptions &options)
{
    return !options.site.isEmpty() || !options.facility.isEmpty() || options.variables ||
           options.data || !options.start.isEmpty() || !options.end.isEmpty();
}

// What is wrong with the combination of the options of a batch call, if anything.
std::optional<QString> checkCombination(const BatchOptions &options)
{
    if (options.list &&
        (asksForImport(options) || options.preview || options.verify || options.importAndVerify ||
         !options.format.isEmpty() || !options.reportPath.isEmpty()))
        return QStringLiteral("--list cannot be combined with an import");
    if (!options.list && !asksForImport(options))
        return QStringLiteral("--batch needs --list, or --site and --facility");
    if (options.list)
        return std::nullopt;
    if (options.site.isEmpty())
        return QStringLiteral("an import needs --site");
    if (options.facility.isEmpty())
        return QStringLiteral("an import needs --facility");
    if (options.data && (options.start.isEmpty() || options.end.isEmpty()))
        return QStringLiteral("--data needs --start and --end");
    if (!options.data && (!options.start.isEmpty() || !options.end.isEmpty()))
        return QStringLiteral("--start and --end belong to --data");
    if (const auto problem = checkVerify(options))
        return problem;
    if (const auto problem = checkPreviewAndReport(options))
        return problem;
    // A report that could not be written would be found out only after the import has
    // written, and a retry would import again.
    if (!options.reportPath.isEmpty())
        return reportPathProblem(options.reportPath);
    return std::nullopt;
}

void refuse(QTextStream &err, const QString &problem)
{
    err << ProgramName << ": " << problem << '\n' << batchUsage();
    err.flush();
}

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
    if (!workspace.Start(chosenIniFile(options.configPath)))
        return exitStatus::Failure;
    printLists(workspace, out);
    workspace.Close();
    return exitStatus::Success;
}

// The first position whose key is the given one, as the window's hidden twin holds it; -1
// when the list has none.
int positionOfKey(const std::vector<ListEntry> &entries, const QString &key)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].key == key)
            return static_cast<int>(i);
    return -1;
}

// The choices the operator would make in the window for the options, or, when the lists do
// not hold the site or the facility, what is wrong.
std::variant<ImportChoices, QString> choicesFor(const Workspace &workspace,
                                                const BatchOptions &options)
{
    const int site = positionOfKey(workspace.sites(), options.site);
    const int facility = positionOfKey(workspace.facilities(), options.facility);
    QStringList unknown;
    if (site < 0)
        unknown << QStringLiteral("no active site has the identifier %1").arg(options.site);
    if (facility < 0)
        unknown << QStringLiteral("no facility has the file name %1").arg(options.facility);
    if (!unknown.isEmpty())
        return unknown.join(QStringLiteral("; ")) + QStringLiteral(" (--list shows them)");

    ImportChoices choices;
    choices.siteName = workspace.sites()[std::size_t(site)].name;
    choices.sitePosition = site;
    choices.facilityName = workspace.facilities()[std::size_t(facility)].name;
    choices.facilityPosition = facility;
    choices.variables = options.variables;
    choices.data = options.data;
    choices.startDate = options.start;
    choices.endDate = options.end;
    return choices;
}

int runImportCall(const BatchOptions &options, QTextStream &out, QTextStream &err,
                  ProgressStyle progress)
{
    BatchUserInterface batchUi(out, err, progress);
    MessageLog ui(&batchUi); // keeps the start-up's messages for a report
    Workspace workspace(ui);
    if (!workspace.Start(chosenIniFile(options.configPath)))
        return reportStartFailure(options, ui, err);
    const auto choices = choicesFor(workspace, options);
    if (const QString *problem = std::get_if<QString>(&choices)) {
        workspace.Close();
        refuse(err, *problem);
        return exitStatus::BadArguments;
    }
    const ImportChoices &chosen = std::get<ImportChoices>(choices);
    int status = exitStatus::Success;
    if (options.preview)
        status = runPreviewCall(options, workspace, ui, chosen, out);
    else if (options.verify)
        status = runVerifyCall(options, workspace, ui, chosen, out, err);
    else if (options.importAndVerify)
        status = runImportAndVerify(options, workspace, ui, chosen, out, err);
    else
        status = runReportedImport(options, workspace, ui, chosen, err);
    workspace.Close();
    return status;
}

// The help as --help prints it and the manual page shows it, from one text compiled in.
QString helpText()
{
    QFile file(QStringLiteral(":/help/usage.txt"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

} // namespace

bool isBatchCall(const QStringList &arguments)
{
    return namesOption(arguments, "--batch") || namesOption(arguments, "--help") ||
           namesOption(arguments, "--version");
}

std::optional<QString> windowArgumentProblem(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--config")) {
            ++i;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--")))
            continue;
        if (isBatchOption(argument))
            return QStringLiteral("%1 needs --batch").arg(argument);
        return QStringLiteral("unknown argument: %1").arg(argument);
    }
    return std::nullopt;
}

std::variant<WindowOptions, QString> parseWindowArguments(const QStringList &arguments)
{
    BatchOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const ValueOption *option = findValueOption(argument);
        if (option == nullptr || option->field != &BatchOptions::configPath)
            return windowArgumentProblem({argument})
                .value_or(QStringLiteral("unknown argument: %1").arg(argument));
        if (const auto problem = takeValue(*option, arguments, i, options))
            return *problem;
    }
    return WindowOptions{options.configPath};
}

std::variant<BatchOptions, QString> parseBatchArguments(const QStringList &arguments)
{
    BatchOptions options;
    bool batch = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (const ValueOption *option = findValueOption(argument)) {
            if (const auto problem = takeValue(*option, arguments, i, options))
                return *problem;
        } else if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else if (argument == QLatin1String("--batch")) {
            batch = true;
        } else if (argument == QLatin1String("--list")) {
            options.list = true;
        } else if (argument == QLatin1String("--variables")) {
            options.variables = true;
        } else if (argument == QLatin1String("--data")) {
            options.data = true;
        } else if (argument == QLatin1String("--preview")) {
            options.preview = true;
        } else if (argument == QLatin1String("--verify")) {
            options.verify = true;
        } else if (argument == QLatin1String("--import-and-verify")) {
            options.importAndVerify = true;
        } else {
            return QStringLiteral("unknown argument: %1").arg(argument);
        }
    }
    if (options.help || options.version)
        return options;
    if (!batch)
        return QStringLiteral("the options need --batch");
    if (const auto problem = checkCombination(options))
        return *problem;
    return options;
}

QString versionText()
{
    return QStringLiteral("%1 (ZARN Vantrel Importer) %2")
        .arg(ProgramName, QStringLiteral(ZARN_VERSION));
}

// The help's first paragraph.
QString batchUsage()
{
    const QString help = helpText();
    return help.left(help.indexOf(QLatin1String("\n\n")) + 1);
}

int runBatchMode(const QStringList &arguments, QTextStream &out, QTextStream &err,
                 ProgressStyle progress)
{
    const auto parsed = parseBatchArguments(arguments);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        refuse(err, *problem);
        return exitStatus::BadArguments;
    }
    const BatchOptions &options = std::get<BatchOptions>(parsed);
    if (options.help) {
        out << helpText();
        out.flush();
        return exitStatus::Success;
    }
    if (options.version) {
        out << versionText() << '\n';
        out.flush();
        return exitStatus::Success;
    }
    if (options.list)
        return runList(options, out, err);
    return runImportCall(options, out, err, progress);
}

} // namespace zarn
