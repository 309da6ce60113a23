#pragma once

#include <QString>
#include <QStringList>
#include <utility>

namespace zarn {

// The configuration file that start-up reads.
struct IniFile
{
    // A file named by the caller (--config): read as named, looked for nowhere else.
    IniFile(QString namedPath) : path(std::move(namedPath)) {}

    QString path;
    // When it was looked for and no folder held it: every folder looked in, in order.
    QStringList foldersLookedIn;
};

// Where the configuration file is looked for, in order: beside the executable, the user's
// configuration folder ($XDG_CONFIG_HOME/zarn-vantrel-importer, by default
// ~/.config/zarn-vantrel-importer), and the system's (/etc/zarn-vantrel-importer on Unix).
QStringList iniFolders();

// The file in the first of the folders that holds one. When none does: the file beside the
// executable, whose reading fails, with every folder looked in.
IniFile firstIniFile(const QStringList &folders);

// The file named by --config, or, when none is named, the one found in iniFolders().
IniFile chosenIniFile(const QString &configPath);

// The configuration file beside the executable.
QString defaultIniPath();

// A path as the operator would look for it: absolute, in the platform's own form.
QString shownPath(const QString &path);

} // namespace zarn
