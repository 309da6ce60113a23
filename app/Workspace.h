#pragma once

#include "app/IniFile.h"
#include "db/ConnectionManager.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"

#include <QString>
#include <memory>
#include <vector>

namespace zarn {

// One entry of a pick list: the text the operator reads and, at the same position in the hidden
// twin list, the key the import uses.
struct ListEntry
{
    QString name;
    QString key;

    friend bool operator==(const ListEntry &, const ListEntry &) = default;
};

// The program's start-up and long-lived state, shared by the window and the batch mode: the
// connection manager, the root catalog and source connections, and the two pick lists.
class Workspace
{
public:
    explicit Workspace(UserInterface &ui);
    ~Workspace();
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    // Reads the configuration file, opens the root and source connections and loads the
    // facilities and the active sites. On any failure the operator has been told and the
    // result is false: the program must end.
    bool Start(const IniFile &ini);

    // Closes the source, then the root connection, ignoring errors of either.
    void Close();

    // Facilities in query order: name = FACILITY.name, key = FACILITY.filename.
    const std::vector<ListEntry> &facilities() const { return m_facilities; }
    // Active sites in query order: name = SYSTEMS.FacilityName, key = SYSTEMS.SystemID.
    const std::vector<ListEntry> &sites() const { return m_sites; }

    UserInterface &ui() const { return m_ui; }
    // Valid after a successful Start.
    ConnectionManager &cnnManager() const { return *m_cnnManager; }
    dal::Connection &cnnRoot() const { return *m_cnnRoot; }
    dal::Connection &cnnSource() const { return *m_cnnSource; }

private:
    // Configures and opens one of the long-lived connections. When it cannot be opened, the
    // error's number and description are shown with the settings of the file read that made
    // the connection, and the result is false.
    bool openConnection(dal::Connection &connection,
                        void (ConnectionManager::*configure)(dal::Connection &),
                        const QString &settingsToCheck, const IniFile &ini);
    bool LoadFacilities();
    bool LoadSites();
    void tell(const QString &text, MessageIcon icon);

    UserInterface &m_ui;
    std::unique_ptr<ConnectionManager> m_cnnManager;
    std::unique_ptr<dal::Connection> m_cnnRoot;
    std::unique_ptr<dal::Connection> m_cnnSource;
    std::vector<ListEntry> m_facilities;
    std::vector<ListEntry> m_sites;
};

} // namespace zarn
