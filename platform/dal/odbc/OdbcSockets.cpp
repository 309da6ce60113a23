#include "platform/dal/odbc/OdbcSockets.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32

// Windows has no list of a process's sockets to take the driver's from, so none is found there:
// a call past its time-out is cancelled, and it ends only where the driver honours the cancel.
namespace zarn::dal::odbc {

std::vector<OpenSocket> connectedStreamSockets()
{
    return {};
}

DriverSockets::DriverSockets(const std::vector<OpenSocket> &, const std::vector<OpenSocket> &) {}

void DriverSockets::shutDown() const {}

void DriverSockets::closeAll()
{
    m_duplicates.clear();
}

} // namespace zarn::dal::odbc

#else

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::dal::odbc {
namespace {

// Where /dev/fd cannot be listed, the descriptors below this are looked at one by one.
constexpr int descriptorsLookedAt = 1024;

// The socket's identity (its inode) where the descriptor is a stream socket connected to a
// peer by TCP or locally; nothing otherwise.
bool connectedStreamSocket(int descriptor, unsigned long long &identity)
{
    struct stat status = {};
    if (fstat(descriptor, &status) != 0 || !S_ISSOCK(status.st_mode))
        return false;
    int type = 0;
    socklen_t typeLength = sizeof type;
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage peer = {};
    socklen_t peerLength = sizeof peer;
    if (getpeername(descriptor, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
        return false;
    if (peer.ss_family != AF_INET && peer.ss_family != AF_INET6 && peer.ss_family != AF_UNIX)
        return false;
    identity = static_cast<unsigned long long>(status.st_ino);
    return true;
}

void addIfSocket(int descriptor, std::vector<OpenSocket> &sockets)
{
    unsigned long long identity = 0;
    if (connectedStreamSocket(descriptor, identity))
        sockets.push_back({descriptor, identity});
}

} // namespace

std::vector<OpenSocket> connectedStreamSockets()
{
    std::vector<OpenSocket> sockets;
    DIR *folder = opendir("/dev/fd");
    if (!folder) {
        for (int descriptor = 0; descriptor < descriptorsLookedAt; ++descriptor)
            addIfSocket(descriptor, sockets);
        return sockets;
    }
    const int listing = dirfd(folder);
    while (const dirent *entry = readdir(folder)) {
        char *end = nullptr;
        errno = 0;
        const long descriptor = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || errno != 0 || descriptor < 0 ||
            descriptor > INT_MAX || descriptor == listing)
            continue;
        addIfSocket(static_cast<int>(descriptor), sockets);
    }
    closedir(folder);
    return sockets;
}

DriverSockets::DriverSockets(const std::vector<OpenSocket> &before,
                             const std::vector<OpenSocket> &after)
{
    for (const OpenSocket &socket : after) {
        if (std::find(before.begin(), before.end(), socket) != before.end())
            continue;
        const int duplicate = fcntl(static_cast<int>(socket.descriptor), F_DUPFD_CLOEXEC, 0);
        if (duplicate >= 0)
            m_duplicates.push_back(duplicate);
    }
}

void DriverSockets::shutDown() const
{
    for (const std::intptr_t duplicate : m_duplicates)
        ::shutdown(static_cast<int>(duplicate), SHUT_RDWR);
}

void DriverSockets::closeAll()
{
    for (const std::intptr_t duplicate : m_duplicates)
        ::close(static_cast<int>(duplicate));
    m_duplicates.clear();
}

} // namespace zarn::dal::odbc

#endif

namespace zarn::dal::odbc {

DriverSockets::~DriverSockets()
{
    closeAll();
}

DriverSockets::DriverSockets(DriverSockets &&other) noexcept
    : m_duplicates(std::exchange(other.m_duplicates, {}))
{}

DriverSockets &DriverSockets::operator=(DriverSockets &&other) noexcept
{
    if (this != &other) {
        closeAll();
        m_duplicates = std::exchange(other.m_duplicates, {});
    }
    return *this;
}

} // namespace zarn::dal::odbc
