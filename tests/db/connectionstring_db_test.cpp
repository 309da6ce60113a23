// Values of the root catalog and of the configuration file on the server under test: none can
// redirect a connection, change its user or send the password elsewhere. A listener on a
// loopback port stands where a hostile value would send the connection, and records whether
// anything connects.

#include "app/BatchMode.h"
#include "app/ImportDatabases.h"
#include "db/ConnectionManager.h"
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"
#include "support/TestDatabases.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace zarn;

namespace {

const QString zarnPassword = QStringLiteral("Vt2Zr");

// Accepts connections on a free loopback port, on a thread of its own, and counts them.
class LoopbackListener
{
public:
    LoopbackListener()
    {
        std::promise<quint16> port;
        m_thread = std::thread([this, &port] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            port.set_value(server.serverPort());
            while (!m_stop) {
                if (!server.waitForNewConnection(20))
                    continue;
                while (QTcpSocket *socket = server.nextPendingConnection()) {
                    ++m_connections;
                    socket->abort();
                    delete socket;
                }
            }
        });
        m_port = port.get_future().get();
    }
    ~LoopbackListener()
    {
        m_stop = true;
        m_thread.join();
    }
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    // host:port of the listener.
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    int connections() const { return m_connections; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    quint16 m_port = 0;
};

// Values that try to take a connection elsewhere; "@" stands for the listener's address.
const QStringList hostileTemplates = {
    QStringLiteral("NORTHPLANT;Data Source=@"),
    QStringLiteral("NORTHPLANT;Provider=PostgreSQL;Data Source=@;User ID=TAVDBA"),
    QStringLiteral("SOUTHPLANT;Initial Catalog=NORTHPLANT"),
    QStringLiteral("SOUTHPLANT;User ID=postgres"),
    QStringLiteral("NORTHPLANT;Password=guess"),
    QStringLiteral("NORTHPLANT\";Data Source=@;x=\""),
    QStringLiteral("NORTHPLANT';Data Source=@;x='"),
    QStringLiteral("\"NORTHPLANT\""),
    QStringLiteral("'NORTHPLANT'"),
    QStringLiteral("NORTHPLANT;;Data Source = @ ;"),
    QStringLiteral("\"NORTHPLANT;Data Source=@"),
};

QStringList hostileValues(const LoopbackListener &listener)
{
    QStringList values;
    for (QString value : hostileTemplates)
        values << value.replace(QLatin1Char('@'), listener.address());
    return values;
}

QString openingError(dal::Connection &connection)
{
    try {
        connection.Open();
    } catch (const DatabaseError &error) {
        connection.Close();
        return error.description();
    }
    connection.Close();
    return QString();
}

// A stand-in ZARN server with the facilities NORTHPLANT and SOUTHPLANT, and a connection
// manager set up as the configuration file of the stand-in sets it up.
class HostileValues : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server->createRootCatalog();
        server->createFacility(QStringLiteral("NORTHPLANT"), QStringLiteral("North"));
        server->createFacility(QStringLiteral("SOUTHPLANT"), QStringLiteral("South"));
        root = schema::openConnection(server->catalogConnectionString(QStringLiteral("TAVROOT")));
    }

    void init(std::int16_t type)
    {
        ASSERT_TRUE(manager.Init(type, server->zarnProvider(), server->zarnDataSource(), QString(),
                                 QString(), false, 5, 5));
    }

    // The facility file names as the window's list takes them from the root catalog.
    QStringList fileNamesInRoot()
    {
        QStringList names;
        dal::Recordset rs =
            root->Execute(QStringLiteral("select filename,name from FACILITY order by NAME"));
        for (; !rs.Eof(); rs.MoveNext())
            names << rs.Fields(QStringLiteral("FileName")).Value().toText();
        return names;
    }

    // What the connection string of the configured connection names as its provider, data
    // source, user and password.
    static QStringList identityOf(const dal::Connection &connection)
    {
        const auto keywords = dal::parseConnectionString(connection.connectionString());
        return {keywords.value("provider"), keywords.value("data source"),
                keywords.value("user id"), keywords.value("password")};
    }

    QStringList configuredIdentity(const QString &dataSource, const QString &user) const
    {
        return {server->zarnProvider(), dataSource, user, zarnPassword};
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server = test::makeStandIn(folder.path());
    std::unique_ptr<dal::Connection> root;
    ConnectionManager manager;
    LoopbackListener listener;
};

} // namespace

// A file name from the root catalog reaches the server as one (missing) catalog name: the
// opening fails with a message that names it, and nothing reaches the listener. The ordinary
// names still open.
TEST_F(HostileValues, FacilityFileNamesStayCatalogNames)
{
    const QStringList hostile = hostileValues(listener);
    for (const QString &name : hostile)
        server->addFacilityRow(Value(name), Value(QStringLiteral("Trap")));
    const QStringList listed = fileNamesInRoot();
    ASSERT_EQ(listed.size(), hostile.size() + 2);

    for (const std::int16_t type : {1, 2}) {
        init(type);
        for (const QString &name : listed) {
            dal::Connection facility;
            manager.ConfigCnn4FACILITY(facility, name);
            const QString catalog = name.trimmed().toUpper();
            EXPECT_EQ(identityOf(facility),
                      configuredIdentity(server->zarnDataSource(),
                                         type == 2 ? QStringLiteral("TAVDBA") : catalog))
                << name.toStdString();
            const QString error = openingError(facility);
            EXPECT_FALSE(error.contains(zarnPassword, Qt::CaseInsensitive)) << error.toStdString();
            if (!hostile.contains(name)) {
                // Type 1 needs a login per catalog, which a stand-in server may lack.
                if (type == 2 || test::serverContext().reachesCatalogsAsUsers()) {
                    EXPECT_EQ(error, QString()) << name.toStdString();
                }
                continue;
            }
            EXPECT_FALSE(error.isEmpty()) << "type " << type << " opened " << name.toStdString();
            // The server names the catalog it lacks; PostgreSQL cuts names at 63 bytes.
            if (!catalog.contains(QStringLiteral("PASSWORD")) && type == 2 && catalog.size() < 60) {
                EXPECT_TRUE(error.contains(catalog, Qt::CaseInsensitive))
                    << name.toStdString() << ": " << error.toStdString();
            }
        }
    }
    EXPECT_EQ(listener.connections(), 0);
}

// With the data source taken from the facility table, the directory is the data source and
// nothing else.
TEST_F(HostileValues, DirectoriesStayDataSources)
{
    init(2);
    manager.setDataSourceReplace(true);
    QStringList directories;
    for (const QString &value : hostileValues(listener))
        directories << server->zarnDataSource() + QLatin1Char(';') + value;
    directories << listener.address() + QStringLiteral("\";Data Source=") +
                       server->zarnDataSource();
    for (const QString &directory : directories) {
        root->Execute(QStringLiteral("UPDATE FACILITY SET directory = ? WHERE filename = ?"),
                      {Value(directory), Value(QStringLiteral("NORTHPLANT"))});
        ASSERT_TRUE(manager.RefreshDsHASH(*root));
        dal::Connection facility;
        manager.ConfigCnn4FACILITY(facility, QStringLiteral("NORTHPLANT"));
        EXPECT_EQ(identityOf(facility), configuredIdentity(directory.trimmed(), "TAVDBA"));
        const QString error = openingError(facility);
        EXPECT_FALSE(error.isEmpty()) << directory.toStdString();
        EXPECT_FALSE(error.contains(zarnPassword, Qt::CaseInsensitive)) << error.toStdString();
    }
    EXPECT_EQ(listener.connections(), 0);
}

// The provider and the data source of the configuration file are values of their keywords.
TEST_F(HostileValues, SettingsStayValues)
{
    const QString address = listener.address();
    const QString provider = server->zarnProvider();
    const QString dataSource = server->zarnDataSource();
    const QStringList providers = {provider + ";Data Source=" + address,
                                   "PostgreSQL;Data Source=" + address,
                                   "\"" + provider + "\";Data Source=" + address, "\"" + provider};
    const QStringList dataSources = {dataSource + ";Data Source=" + address,
                                     dataSource + ";Provider=PostgreSQL;Data Source=" + address,
                                     address + "\";Data Source=" + dataSource + ";x=\""};
    for (const QString &hostileProvider : providers) {
        ASSERT_TRUE(manager.Init(2, hostileProvider, dataSource, QString()));
        dal::Connection connection;
        manager.ConfigCnn4TAVROOT(connection);
        EXPECT_EQ(dal::parseConnectionString(connection.connectionString()).value("provider"),
                  hostileProvider);
        const QString error = openingError(connection);
        EXPECT_TRUE(error.contains("is unknown")) << error.toStdString();
        EXPECT_FALSE(error.contains(zarnPassword, Qt::CaseInsensitive)) << error.toStdString();
    }
    for (const QString &hostileDataSource : dataSources) {
        ASSERT_TRUE(manager.Init(2, provider, hostileDataSource, QString()));
        dal::Connection connection;
        manager.ConfigCnn4TAVROOT(connection);
        EXPECT_EQ(identityOf(connection), configuredIdentity(hostileDataSource, "TAVDBA"));
        const QString error = openingError(connection);
        EXPECT_FALSE(error.isEmpty()) << hostileDataSource.toStdString();
        EXPECT_FALSE(error.contains(zarnPassword, Qt::CaseInsensitive)) << error.toStdString();
    }
    EXPECT_EQ(listener.connections(), 0);
}

// A refused opening does not repeat the password, not even where the server names the user
// that holds the same text.
TEST_F(HostileValues, ARefusedOpeningDoesNotShowThePassword)
{
    for (const QString &password : {QStringLiteral("Sec9ret"), QStringLiteral("Sec;9=\"ret")}) {
        for (const QString &user : {QStringLiteral("TAVDBA"), password}) {
            dal::Connection connection;
            connection.setConnectionString(
                "Provider=" + server->zarnProvider() +
                ";Data Source=" + dal::connectionStringValue(server->zarnDataSource()) +
                ";Initial Catalog=NOSUCH;User ID=" + dal::connectionStringValue(user) +
                ";Password=" + dal::connectionStringValue(password));
            const QString error = openingError(connection);
            EXPECT_FALSE(error.isEmpty());
            EXPECT_FALSE(error.contains(password, Qt::CaseInsensitive)) << error.toStdString();
            EXPECT_FALSE(error.contains("Sec9ret", Qt::CaseInsensitive)) << error.toStdString();
        }
    }
}

// A whole import run chosen by such a file name writes nothing into the facility it names.
TEST(HostileImport, AFileNameCannotImportIntoAnotherFacility)
{
    test::ImportDatabases db;
    LoopbackListener listener;
    for (const QString &name : {QStringLiteral("SOUTH;Initial Catalog=NORTH"),
                                "NORTH;Data Source=" + listener.address()}) {
        db.addFacilityWithoutCatalog(name, "Trap " + name);
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        EXPECT_EQ(runBatchMode({"--batch", "--config", db.iniPath(), "--site", "17", "--facility",
                                name, "--variables"},
                               out, err),
                  exitStatus::Failure)
            << outText.toStdString() << errText.toStdString();
        EXPECT_TRUE(outText.contains("Program was unable to import the data into ZARN"))
            << outText.toStdString();
        EXPECT_TRUE(errText.contains("The facility connection cannot be opened: "))
            << errText.toStdString();
        EXPECT_FALSE((outText + errText).contains(zarnPassword, Qt::CaseInsensitive));
    }
    EXPECT_EQ(db.variables(), 0);
    EXPECT_EQ(db.locations(), 0);
    EXPECT_EQ(listener.connections(), 0);
}
