#include "app/ReportFile.h"

#include "platform/DiskSync.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace zarn {

std::optional<QString> reportPathProblem(const QString &path)
{
    const QFileInfo report(path);
    const QString folder = QDir::toNativeSeparators(report.absolutePath());
    if (report.isDir())
        return QStringLiteral("--report names a folder: %1").arg(QDir::toNativeSeparators(path));
    const QFileInfo folderInfo(report.absolutePath());
    if (!folderInfo.isDir())
        return QStringLiteral("the report's folder %1 does not exist").arg(folder);
    if (!folderInfo.isWritable())
        return QStringLiteral("the report's folder %1 cannot be written").arg(folder);
    return std::nullopt;
}

std::optional<QString> writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    auto failure = [&path](const QString &reason) {
        return QStringLiteral("cannot write the report %1: %2")
            .arg(QDir::toNativeSeparators(path), reason);
    };
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    // The file is discarded, unrenamed, when it goes out of scope uncommitted.
    if (file.write(bytes) != bytes.size() || !file.flush())
        return failure(file.errorString());
    if (const auto unsynced = syncToDisk(file))
        return failure(*unsynced);
    if (!file.commit())
        return failure(file.errorString());
    return std::nullopt;
}

} // namespace zarn
