#pragma once

#include "platform/Value.h"
#include "platform/dal/Connection.h"
#include "schema/Scripts.h"

#include <QString>
#include <memory>

namespace zarn::schema {

// How a PostgreSQL stand-in names its databases and roles on the server.
struct PostgresSetUp
{
    // Quoted, as written (upper case, as createdb TAVROOT and createuser TAVDBA make them);
    // otherwise unquoted, as CREATE DATABASE TAVROOT makes them: folded to lower case.
    bool namesAsWritten = false;
    // A login role of each catalog's name, with the fixed password and the rights of the
    // owning account, for database type 1 (each catalog is a user).
    bool catalogRoles = false;
    // Where given, the connection strings reach the databases through this ODBC data source
    // (which names the same server) instead of the PostgreSQL provider. Its driver hands names to
    // the server unfolded, so they go with namesAsWritten.
    QString odbcDataSource;
};

// One ZARN server (the root catalog TAVROOT and the facility catalogs) and the source databases
// beside it, on one kind of database server, built from the schema scripts. It stands in for
// the external databases in the demo, the tests and the benchmarks.
class StandInServer
{
public:
    // Catalogs are the files <catalogFolder>/<CATALOG>.db; source databases are the files
    // <sourceFolder>/<name>.db, sourceFolder defaulting to catalogFolder. Both folders are
    // created when missing.
    static std::unique_ptr<StandInServer> sqlite(const QString &catalogFolder,
                                                 const QString &sourceFolder = QString());
    // Databases on the server at host:port, made by the superuser "postgres" (who logs on from
    // this machine without a password) and owned by the account that the connection strings
    // name, which is created when missing.
    // With a set-up other than the default, what it creates on the server is dropped with it.
    static std::unique_ptr<StandInServer> postgresql(const QString &host, int port,
                                                     const PostgresSetUp &setUp = {});
    // Databases on the MariaDB server that the ODBC data source reaches, made by the account
    // root (who logs on from this machine without a password) and reached as the account that
    // the connection strings name, which is created when missing. The server must compare table
    // names without regard to case (lower_case_table_names=1), and the data source must let a
    // text hold several statements, as the schema scripts do.
    static std::unique_ptr<StandInServer> mariadb(const QString &odbcDataSource);

    virtual ~StandInServer();

    // PELKZARN_CONNECTION_PROVIDER and PELKZARN_CONNECTION_DATASOURCE of the configuration file
    // (database type 2).
    virtual QString zarnProvider() const = 0;
    virtual QString zarnDataSource() const = 0;

    // The connection string of a catalog as the connection manager builds it for database
    // type 2 and no customization.
    QString catalogConnectionString(const QString &catalog) const;

    // Replaces TAVROOT with a root catalog whose FACILITY table is empty.
    void createRootCatalog();
    // Adds one FACILITY row; either value may be Null.
    void addFacilityRow(const Value &fileName, const Value &name);
    // Replaces the catalog fileName (upper-cased) with an empty facility: its tables, nine UDCaps
    // rows and the daily-data procedures of the intervals "1" and "H". Adds its FACILITY row, so
    // the root catalog must exist.
    void createFacility(const QString &fileName, const QString &name);
    // Replaces the source database NAME with an empty one (SYSTEMS and TRAINS without rows) and
    // returns its connection string.
    QString createSource(const QString &name);

protected:
    StandInServer() = default;

    // The account that the catalogs' connection strings name, and its fixed password.
    static const QString &zarnUser();
    static const QString &zarnPassword();
    // The names that a stand-in creates on its server: plain ones only; throws zarn::Error.
    static QString plainName(const QString &name);

    // Replaces the database of a catalog (its upper-case name) with an empty one.
    virtual void replaceCatalogDatabase(const QString &catalog) = 0;
    // Replaces the source database NAME with an empty one and returns its connection string.
    virtual QString replaceSourceDatabase(const QString &name) = 0;
};

// Creates SYSTEMS and TRAINS, without rows, in the open source database.
void createSourceSchema(dal::Connection &source);

// Opens a connection on a connection string; throws DatabaseError.
std::unique_ptr<dal::Connection> openConnection(const QString &connectionString);

// Writes a configuration file that reaches the server's catalogs with database type 2 and the
// source database with its connection string.
void writeIni(const QString &path, const StandInServer &server,
              const QString &sourceConnectionString);

} // namespace zarn::schema
