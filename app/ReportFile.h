#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zarn {

// Why a report could not be written to path, checked before anything runs: its folder is
// missing or cannot be written, or the path is a folder. Nothing when it may be written.
std::optional<QString> reportPathProblem(const QString &path);

} // namespace zarn
