#include "app/Workspace.h"

#include "app/GetIniInfo.h"
#include "platform/Error.h"
#include "platform/dal/Recordset.h"

#include <exception>

namespace zarn {

namespace {

const QString FacilitiesQuery = QStringLiteral("select filename,name from FACILITY order by NAME");
const QString SitesQuery = QStringLiteral(
    "SELECT SystemID,FacilityName FROM SYSTEMS WHERE Status='1' ORDER By FacilityName");

const QString NoFacilitiesText =
    QStringLiteral("ZARN Vantrel DB Importer cannot find any active facilities on the server "
                   "database.\r\n\r\nAt least 1 facility must be active before you can login.");
const QString FacilitiesFailedText = QStringLiteral("Program was unable to load ZARN Facilities");
const QString NoSitesText =
    QStringLiteral("ZARN Vantrel DB Importer cannot find any active Vantrel sites.");
const QString SitesFailedText = QStringLiteral("Program was unabled to load Vantrel Sites");

bool isEmpty(const dal::Recordset &rs)
{
    return rs.Bof() && rs.Eof();
}

const QString ZarnSettings =
    QStringLiteral("the ZARN server's settings PELKZARN_CONNECTION_DBTYPE, "
                   "PELKZARN_CONNECTION_PROVIDER and PELKZARN_CONNECTION_DATASOURCE");
const QString SourceSettings = QStringLiteral("the source database's setting VT_CONN_STRING");

} // namespace

Workspace::Workspace(UserInterface &ui) : m_ui(ui) {}

Workspace::~Workspace()
{
    Close();
}

bool Workspace::Start(const IniFile &ini)
{
    m_cnnManager = std::make_unique<ConnectionManager>();
    if (!GetIniInfo(*m_cnnManager, m_ui, ini))
        return false;
    m_cnnRoot = std::make_unique<dal::Connection>();
    m_cnnSource = std::make_unique<dal::Connection>();
    return openConnection(*m_cnnRoot, &ConnectionManager::ConfigCnn4TAVROOT, ZarnSettings, ini) &&
           LoadFacilities() &&
           openConnection(*m_cnnSource, &ConnectionManager::ConfigCnn4VT, SourceSettings, ini) &&
           LoadSites();
}

bool Workspace::openConnection(dal::Connection &connection,
                               void (ConnectionManager::*configure)(dal::Connection &),
                               const QString &settingsToCheck, const IniFile &ini)
{
    try {
        (m_cnnManager.get()->*configure)(connection);
        connection.Open();
        return true;
    } catch (const Error &e) {
        tell(QStringLiteral("Error %1: %2\r\n\r\nCheck %3 in %4.")
                 .arg(e.number())
                 .arg(e.description(), settingsToCheck, shownPath(ini.path)),
             MessageIcon::None);
        return false;
    }
}

void Workspace::Close()
{
    for (dal::Connection *connection : {m_cnnSource.get(), m_cnnRoot.get()}) {
        if (connection == nullptr)
            continue;
        try {
            connection->Close();
        } catch (const std::exception &) {
            // The program is ending: a connection that will not close cleanly is let go.
        }
    }
}

// The row count is taken as a 32-bit number: a 16-bit count would end the program on a
// catalog of 32767 or more rows.
bool Workspace::LoadFacilities()
{
    try {
        dal::Recordset rs;
        rs.Open(FacilitiesQuery, *m_cnnRoot, dal::adOpenStatic, dal::adLockReadOnly,
                dal::adCmdText);
        if (isEmpty(rs)) {
            tell(NoFacilitiesText, MessageIcon::Information);
            return false;
        }
        rs.MoveLast();
        const long count = rs.RecordCount();
        m_ui.processEvents();
        rs.MoveFirst();
        for (long row = 0; row < count; ++row) {
            const Value &fileName = rs.Fields(QStringLiteral("FileName")).Value();
            if (!fileName.isNull()) {
                const Value &name = rs.Fields(QStringLiteral("Name")).Value();
                m_facilities.push_back(
                    {name.isNull() ? QStringLiteral("Null") : name.toText(), fileName.toText()});
            }
            rs.MoveNext();
        }
        rs.Close();
        return true;
    } catch (const std::exception &) {
        tell(FacilitiesFailedText, MessageIcon::Exclamation);
        return false;
    }
}

// A Null site name or identifier cannot be listed and fails the load.
bool Workspace::LoadSites()
{
    try {
        dal::Recordset rs;
        rs.Open(SitesQuery, *m_cnnSource, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText);
        if (isEmpty(rs)) {
            tell(NoSitesText, MessageIcon::Information);
            return false;
        }
        rs.MoveLast();
        const long count = rs.RecordCount();
        rs.MoveFirst();
        for (long row = 0; row < count; ++row) {
            m_sites.push_back({rs.Fields(QStringLiteral("FacilityName")).Value().toText(),
                               rs.Fields(QStringLiteral("SystemID")).Value().toText()});
            rs.MoveNext();
        }
        rs.Close();
        return true;
    } catch (const std::exception &) {
        tell(SitesFailedText, MessageIcon::Exclamation);
        return false;
    }
}

void Workspace::tell(const QString &text, MessageIcon icon)
{
    Message message;
    message.text = text;
    message.icon = icon;
    m_ui.showMessage(message);
}

} // namespace zarn
