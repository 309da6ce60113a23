#include "schema/StandIn.h"

#include "platform/Error.h"
#include "platform/dal/Recordset.h"

#include <QFile>
#include <QRegularExpression>

namespace zarn::schema {

namespace {

const QString kRootCatalog = QStringLiteral("TAVROOT");
const QString kProductName = QStringLiteral("ZARN Vantrel Importer");

// The interval codes whose daily-data store every facility gets.
const QStringList kIntervalCodes = {QStringLiteral("1"), QStringLiteral("H")};

} // namespace

StandInServer::~StandInServer() = default;

const QString &StandInServer::zarnUser()
{
    static const QString user = QStringLiteral("TAVDBA");
    return user;
}

const QString &StandInServer::zarnPassword()
{
    static const QString password = QStringLiteral("Vt2Zr");
    return password;
}

QString StandInServer::catalogConnectionString(const QString &catalog) const
{
    return QStringLiteral("Provider=") + zarnProvider() +
           QStringLiteral(";Persist Security Info=False;Data Source=") + zarnDataSource() +
           QStringLiteral(";Initial Catalog=") + catalog.toUpper() + QStringLiteral(";User ID=") +
           zarnUser() + QStringLiteral(";Password=") + zarnPassword() +
           QStringLiteral(";OLE DB Services =-2;Application Name=") + kProductName + u';';
}

void StandInServer::createRootCatalog()
{
    replaceCatalogDatabase(kRootCatalog);
    const auto root = openConnection(catalogConnectionString(kRootCatalog));
    runSchemaScript(*root, QStringLiteral("root"));
}

void StandInServer::addFacilityRow(const Value &fileName, const Value &name)
{
    const auto root = openConnection(catalogConnectionString(kRootCatalog));
    root->Execute(
        QStringLiteral("INSERT INTO FACILITY (filename, name, directory) VALUES (?, ?, ?)"),
        {fileName, name, Value(zarnDataSource())});
}

void StandInServer::createFacility(const QString &fileName, const QString &name)
{
    const QString catalog = fileName.toUpper();
    replaceCatalogDatabase(catalog);
    {
        const auto facility = openConnection(catalogConnectionString(catalog));
        runSchemaScript(*facility, QStringLiteral("facility"));
        for (const QString &code : kIntervalCodes)
            runSchemaScript(*facility, QStringLiteral("dailydata"),
                            {{QStringLiteral("CODE"), code}});
    }
    addFacilityRow(Value(fileName), Value(name));
}

QString StandInServer::createSource(const QString &name)
{
    const QString connectionString = replaceSourceDatabase(name);
    const auto source = openConnection(connectionString);
    createSourceSchema(*source);
    return connectionString;
}

void createSourceSchema(dal::Connection &source)
{
    runSchemaScript(source, QStringLiteral("source"));
}

std::unique_ptr<dal::Connection> openConnection(const QString &connectionString)
{
    auto connection = std::make_unique<dal::Connection>();
    connection->setCursorLocation(dal::adUseClient);
    connection->setConnectionString(connectionString);
    connection->Open();
    return connection;
}

void writeIni(const QString &path, const StandInServer &server,
              const QString &sourceConnectionString)
{
    // Lines end with a carriage return and a line feed, as the reader expects.
    const QString text = QStringLiteral("PELKZARN_CONNECTION_DBTYPE=2\r\n") +
                         QStringLiteral("PELKZARN_CONNECTION_PROVIDER=") + server.zarnProvider() +
                         QStringLiteral("\r\nPELKZARN_CONNECTION_DATASOURCE=") +
                         server.zarnDataSource() + QStringLiteral("\r\nVT_CONN_STRING=") +
                         sourceConnectionString + QStringLiteral("\r\n");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush())
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

QString StandInServer::plainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch())
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("\"%1\" is not a plain database name.").arg(name));
    return name;
}

} // namespace zarn::schema
