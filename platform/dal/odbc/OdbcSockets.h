#pragma once

#include <cstdint>
#include <vector>

// The sockets by which an ODBC driver talks to its server. A driver does not hand them out, so
// they are found as the connected stream sockets that appeared in the process while it
// connected.
namespace zarn::dal::odbc {

// A connected stream socket (TCP or local) of the process: its descriptor and what tells it
// from a later socket under the same number.
struct OpenSocket
{
    std::intptr_t descriptor;
    unsigned long long identity;

    bool operator==(const OpenSocket &) const = default;
};

// The process's connected stream sockets now.
std::vector<OpenSocket> connectedStreamSockets();

// Duplicates of the sockets that a driver opened, by which another thread can shut them down.
// A duplicate of our own keeps the socket from being closed and its number reused by another
// connection while it is held, so the shutdown can never reach a stranger's socket.
class DriverSockets
{
public:
    DriverSockets() = default;
    // The sockets in `after` that are not in `before`.
    DriverSockets(const std::vector<OpenSocket> &before, const std::vector<OpenSocket> &after);
    ~DriverSockets();
    DriverSockets(DriverSockets &&other) noexcept;
    DriverSockets &operator=(DriverSockets &&other) noexcept;

    bool empty() const { return m_duplicates.empty(); }
    // Shuts every socket down both ways: what the driver waits for on it ends at once, as when
    // the server goes away. Any thread may call it.
    void shutDown() const;

private:
    void closeAll();

    std::vector<std::intptr_t> m_duplicates;
};

} // namespace zarn::dal::odbc
