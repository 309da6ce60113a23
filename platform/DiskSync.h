#pragma once

#include <QString>
#include <optional>

class QFileDevice;

namespace zarn {

// Asks the operating system to put what has been written to the open file on the disk, as far
// as it can tell: a disk that turns out full, or a device error, shows here rather than after
// the file has been renamed into place. Returns the system's reason when it fails.
std::optional<QString> syncToDisk(QFileDevice &file);

} // namespace zarn
