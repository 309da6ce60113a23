#pragma once

#include "app/BatchUserInterface.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>
#include <variant>

namespace zarn {

namespace exitStatus {
constexpr int Success = 0;
constexpr int Failure = 1; // a step or the start-up failed
constexpr int BadArguments = 2;
constexpr int Differences = 3; // a verification found slots that are missing or differ
} // namespace exitStatus

// What a batch call asks for: the help, the version, the listing, or an import.
struct BatchOptions
{
    bool help = false;
    bool version = false;
    QString configPath; // empty: the configuration file beside the executable
    bool list = false;
    QString site;     // SYSTEMS.SystemID of the site to import
    QString facility; // FACILITY.filename of the facility to import into
    bool variables = false;
    bool data = false;
    QString start; // the date texts, as they would be typed into the window
    QString end;
    bool preview = false;         // show what the import would do instead of running it
    bool verify = false;          // read back what the data import writes instead of running it
    bool importAndVerify = false; // run the import, then its verification
    QString format;     // of the preview or the verification: "table" (the default) or "json"
    QString reportPath; // where to write the run's report; empty: none
};

// True when the arguments after the program's name ask for the batch mode, the help or the
// version rather than the window: --batch, --help or --version wherever it stands, other than
// as the value of an option.
bool isBatchCall(const QStringList &arguments);

// What is wrong with the arguments of a window call, before Qt takes its own: of the program's
// options ("--" words; Qt's own have a single dash) the window takes --config INI only.
std::optional<QString> windowArgumentProblem(const QStringList &arguments);

// What a window call asks for.
struct WindowOptions
{
    QString configPath; // empty: the configuration file is looked for (iniFolders)
};

// Reads the arguments of a window call that Qt has left after taking its own: the options, or
// what is wrong with them.
std::variant<WindowOptions, QString> parseWindowArguments(const QStringList &arguments);

// Reads the arguments after the program's name: the options, or what is wrong with them.
std::variant<BatchOptions, QString> parseBatchArguments(const QStringList &arguments);

QString batchUsage();
// The program's name and version, as --version prints them.
QString versionText();

// Runs a batch call (or the help) on the arguments after the program's name; messages and
// lists go to out, progress and argument errors to err. Returns the exit status.
int runBatchMode(const QStringList &arguments, QTextStream &out, QTextStream &err,
                 ProgressStyle progress = ProgressStyle::Lines);

} // namespace zarn
