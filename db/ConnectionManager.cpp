#include "db/ConnectionManager.h"

#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"

#include <QStringList>
#include <array>
#include <exception>

namespace zarn {

namespace {

const QString productName = QStringLiteral("ZARN Vantrel Importer");
const QString rootCatalog = QStringLiteral("TAVROOT");

// The password of the server account that every built connection string names. It is put
// together from its characters so that it never stands whole in the program's text.
QString assemblePassword()
{
    const std::array<QString, 5> characters = {QStringLiteral("V"), QStringLiteral("t"),
                                               QStringLiteral("2"), QStringLiteral("Z"),
                                               QStringLiteral("r")};
    return QStringList(characters.begin(), characters.end()).join(QString());
}

} // namespace

ConnectionManager::ConnectionManager() : m_password(assemblePassword()) {}

bool ConnectionManager::Init(std::int16_t aDB_TYPE, const QString &aDB_PROVIDER,
                             const QString &aDB_DATASOURCE, const QString &VantrelConnString,
                             const QString &aDB_CUSTOMIZATION, bool aPersistSecurityInfo,
                             std::int32_t CnnTimeout_Sec, std::int32_t CommandTimeout_Sec)
{
    if (aDB_TYPE != 1 && aDB_TYPE != 2)
        return false;
    const QString provider = trimSpaces(aDB_PROVIDER);
    if (provider.isEmpty())
        return false;
    const QString dataSource = trimSpaces(aDB_DATASOURCE);
    if (dataSource.isEmpty())
        return false;

    m_dbType = aDB_TYPE;
    m_dataSource = dataSource;
    m_provider = provider;
    m_customization = trimSpaces(aDB_CUSTOMIZATION);
    m_connectionTimeout = CnnTimeout_Sec;
    m_commandTimeout = CommandTimeout_Sec;
    m_persistSecurityInfo = aPersistSecurityInfo;
    m_sourceConnString = VantrelConnString;
    return true;
}

QString ConnectionManager::password() const
{
    return m_password;
}

bool ConnectionManager::RefreshDsHASH(dal::Connection &LiveCnnToTAVROOT)
{
    if (!m_dataSourceReplace)
        return true;
    try {
        dal::Recordset rs;
        rs.Open(QStringLiteral("select filename, directory from facility order by lower(filename)"),
                LiveCnnToTAVROOT, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText);
        m_dsHash = HashTable();
        if (rs.Eof()) {
            rs.Close();
            return true;
        }
        m_dsHash.SetSize(static_cast<std::int32_t>(2 * rs.RecordCount()));
        while (!rs.Eof()) {
            const QString key = rs.Fields(0).Value().toText().toUpper();
            const QString dataSource = trimSpaces(rs.Fields(1).Value().toTextOrEmpty());
            m_dsHash.Add(key, dataSource);
            rs.MoveNext();
        }
        rs.Close();
        return true;
    } catch (const std::exception &) {
        // The record set closes as it goes out of scope; the entries added so far stay.
        return false;
    }
}

void ConnectionManager::ConfigCnn4TAVROOT(dal::Connection &objCnn2Configure)
{
    configure(objCnn2Configure, BuildConnectionString(rootCatalog));
}

void ConnectionManager::ConfigCnn4VT(dal::Connection &objConn)
{
    configure(objConn, m_sourceConnString);
}

void ConnectionManager::ConfigCnn4FACILITY(dal::Connection &objCnn2Configure,
                                           const QString &FacilityID)
{
    configure(objCnn2Configure, BuildConnectionString(trimSpaces(FacilityID)));
}

QString ConnectionManager::BuildConnectionString(const QString &userString)
{
    const QString catalog = userString.toUpper();
    const QString ds = (catalog != rootCatalog && m_dataSourceReplace)
                           ? GetFacilityDataSource(catalog)
                           : m_dataSource;
    const QString psi = m_persistSecurityInfo ? QStringLiteral("Persist Security Info=True")
                                              : QStringLiteral("Persist Security Info=False");
    // Values from the settings or the root catalog are written so that none can add a keyword;
    // the customization is the operator's own text of keywords.
    const QString providerPart =
        QStringLiteral("Provider=") + dal::connectionStringValue(m_provider) + QLatin1Char(';');
    const QString dataSourcePart =
        QStringLiteral("Data Source=") + dal::connectionStringValue(ds) + QLatin1Char(';');
    const QString catalogValue = dal::connectionStringValue(catalog);
    const QString psiPart = psi + QLatin1Char(';');
    const QString tail = QStringLiteral("OLE DB Services =-2;Application Name=") + productName +
                         QLatin1Char(';') + m_customization;

    switch (m_dbType) {
    case 1:
        // Each catalog is a database user that logs on with the shared password.
        m_templateCnnString = providerPart + dataSourcePart + psiPart +
                              QStringLiteral("User ID=@@@;Password=###;") + tail;
        return providerPart + psiPart + dataSourcePart + QStringLiteral("User ID=") + catalogValue +
               QStringLiteral(";Password=") + m_password + QLatin1Char(';') + tail;
    case 2:
        // Each catalog is a database on the server, reached by one fixed user.
        m_templateCnnString = providerPart + dataSourcePart + psiPart +
                              QStringLiteral("Initial Catalog=@@@;User ID=TAVDBA;Password=###;") +
                              tail;
        return providerPart + psiPart + dataSourcePart + QStringLiteral("Initial Catalog=") +
               catalogValue + QStringLiteral(";User ID=TAVDBA;Password=") + m_password +
               QLatin1Char(';') + tail;
    default:
        return QString();
    }
}

QString ConnectionManager::GetFacilityDataSource(const QString &catalog)
{
    try {
        return m_dsHash.Exists(catalog) ? m_dsHash.item(catalog).toText() : QString();
    } catch (const std::exception &) {
        return QString();
    }
}

void ConnectionManager::configure(dal::Connection &connection,
                                  const QString &connectionString) const
{
    connection.setCursorLocation(dal::adUseClient);
    connection.setConnectionString(connectionString);
    connection.setCommandTimeout(m_commandTimeout);
    connection.setConnectionTimeout(m_connectionTimeout);
}

} // namespace zarn
