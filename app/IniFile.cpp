#include "app/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zarn {

namespace {

const QString iniFileName = QStringLiteral("ZARN_Vantrel_DB_importer.ini");
const QString folderName = QStringLiteral("zarn-vantrel-importer");

// The system-wide folder: on Unix /etc, where packages keep their configuration (the Debian
// package installs its sample there); elsewhere the shared configuration folder that Qt gives
// after the user's own (ProgramData on Windows).
QString systemFolder()
{
#ifdef Q_OS_UNIX
    return QStringLiteral("/etc/") + folderName;
#else
    const QStringList shared =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    return shared.size() > 1 ? shared.at(1) + QLatin1Char('/') + folderName : QString();
#endif
}

QString fileIn(const QString &folder)
{
    return folder + QLatin1Char('/') + iniFileName;
}

} // namespace

QStringList iniFolders()
{
    QStringList folders{QCoreApplication::applicationDirPath()};
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!user.isEmpty())
        folders << user + QLatin1Char('/') + folderName;
    if (const QString system = systemFolder(); !system.isEmpty())
        folders << system;
    folders.removeDuplicates();
    return folders;
}

IniFile firstIniFile(const QStringList &folders)
{
    for (const QString &folder : folders) {
        // Whatever stands under the name is taken, so that a file that cannot be read is
        // reported as such rather than passed over for another.
        if (QFileInfo::exists(fileIn(folder)))
            return IniFile(fileIn(folder));
    }
    IniFile none(defaultIniPath());
    none.foldersLookedIn = folders;
    return none;
}

IniFile chosenIniFile(const QString &configPath)
{
    return configPath.isEmpty() ? firstIniFile(iniFolders()) : IniFile(configPath);
}

QString defaultIniPath()
{
    return QCoreApplication::applicationDirPath() + QDir::separator() + iniFileName;
}

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

} // namespace zarn
