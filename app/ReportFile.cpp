#include "app/ReportFile.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace zarn
