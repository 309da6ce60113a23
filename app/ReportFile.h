#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zarn {

// Why a report could not be written to path, checked before anything runs: its folder is
// missing or cannot be written, or the path is a folder. Nothing when it may be written.
std::optional<QString> reportPathProblem(const QString &path);

// Writes the bytes to path whole or not at all: into a temporary file in the same folder, each
// write checked, flushed and synced to the disk, then renamed into place. When anything fails,
// the temporary file is removed, an earlier file at path stays as it was, and the result names
// the file and the reason.
std::optional<QString> writeWholeFile(const QString &path, const QByteArray &bytes);

} // namespace zarn
