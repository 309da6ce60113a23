#include "platform/DiskSync.h"

#include <QFileDevice>
#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zarn {

std::optional<QString> syncToDisk(QFileDevice &file)
{
    const int handle = file.handle();
    if (handle < 0)
        return QStringLiteral("the file is not open");
#ifdef _WIN32
    const bool synced = _commit(handle) == 0;
#else
    const bool synced = fsync(handle) == 0;
#endif
    if (synced)
        return std::nullopt;
    return qt_error_string(errno);
}

} // namespace zarn
