#include "platform/Error.h"
#include "schema/StandIn.h"

#include <QDir>
#include <QFile>

namespace zarn::schema {

namespace {

// A database file is never created by opening it: an empty file is an empty database.
void replaceWithEmptyFile(const QString &path)
{
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        if (QFile::exists(path + suffix) && !QFile::remove(path + suffix))
            throw Error(errc::InvalidProcedureCall,
                        QStringLiteral("Cannot remove %1.").arg(path + suffix));
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
}

QString madeFolder(const QString &folder)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        throw Error(errc::InvalidProcedureCall, QStringLiteral("Cannot create %1.").arg(folder));
    return dir.absolutePath();
}

class SqliteStandIn : public StandInServer
{
public:
    SqliteStandIn(const QString &catalogFolder, const QString &sourceFolder)
        : m_catalogFolder(madeFolder(catalogFolder)), m_sourceFolder(madeFolder(sourceFolder))
    {
        // The connection manager writes the data source into its strings as it stands.
        if (m_catalogFolder.contains(u';'))
            throw Error(
                errc::InvalidProcedureCall,
                QStringLiteral("A catalog folder cannot hold \";\": %1").arg(m_catalogFolder));
    }

    QString zarnProvider() const override { return QStringLiteral("SQLite"); }
    QString zarnDataSource() const override { return m_catalogFolder; }

protected:
    void replaceCatalogDatabase(const QString &catalog) override
    {
        replaceWithEmptyFile(m_catalogFolder + u'/' + catalog + QStringLiteral(".db"));
    }

    QString replaceSourceDatabase(const QString &name) override
    {
        const QString path = m_sourceFolder + u'/' + name + QStringLiteral(".db");
        replaceWithEmptyFile(path);
        return QStringLiteral("Provider=SQLite;Data Source=") + connectionStringValue(path);
    }

private:
    QString m_catalogFolder;
    QString m_sourceFolder;
};

} // namespace

std::unique_ptr<StandInServer> StandInServer::sqlite(const QString &catalogFolder,
                                                     const QString &sourceFolder)
{
    return std::make_unique<SqliteStandIn>(catalogFolder,
                                           sourceFolder.isEmpty() ? catalogFolder : sourceFolder);
}

} // namespace zarn::schema
