#include "DemoDatabases.h"

#include "app/BatchMode.h"
#include "platform/dal/Recordset.h"
#include "schema/Generator.h"
#include "support/TestDatabases.h"

#include <QTextStream>

namespace zarn::test {

namespace {

const QString facilityFile = QStringLiteral("NORTHPLANT");

const QStringList facilityTables = {QStringLiteral("LOCATION"),
                                    QStringLiteral("VARDESC"),
                                    QStringLiteral("UDCaps"),
                                    QStringLiteral("action_history_trans"),
                                    QStringLiteral("action_history_detail"),
                                    QStringLiteral("DD1_VALUES"),
                                    QStringLiteral("DD1_COMMENTS"),
                                    QStringLiteral("DDH_VALUES"),
                                    QStringLiteral("DDH_COMMENTS")};

QString rowText(dal::Recordset &rs)
{
    QStringList cells;
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const Value &v = rs.Fields(i).Value();
        cells << (v.isNull() ? QStringLiteral("<null>") : v.toText());
    }
    return cells.join(QLatin1Char('|'));
}

} // namespace

DemoDatabases::DemoDatabases() : m_server(makeStandIn(m_folder.path()))
{
    m_server->createRootCatalog();
    for (const schema::FacilitySpec &facility : schema::demoFacilities())
        m_server->createFacility(facility.fileName, facility.name);
    const QString source = m_server->createSource(QStringLiteral("vtdemo"));
    m_source = schema::openConnection(source);
    schema::generateSource(*m_source, schema::demoSpec());
    m_iniPath = m_folder.filePath(QStringLiteral("ZARN_Vantrel_DB_importer.ini"));
    schema::writeIni(m_iniPath, *m_server, source);
}

std::unique_ptr<dal::Connection> DemoDatabases::facility() const
{
    return schema::openConnection(m_server->catalogConnectionString(facilityFile));
}

QStringList DemoDatabases::facilityRows() const
{
    const auto conn = facility();
    QStringList all;
    for (const QString &table : facilityTables) {
        dal::Recordset rs = conn->Execute(QStringLiteral("SELECT * FROM ") + table);
        QStringList rows;
        for (; !rs.Eof(); rs.MoveNext())
            rows << table + QLatin1Char(':') + rowText(rs);
        rows.sort();
        all << rows;
    }
    return all;
}

QByteArray DemoDatabases::facilityFileBytes() const
{
    return serverContext().catalogFileBytes(*m_server, facilityFile);
}

long long DemoDatabases::countInFacility(const QString &sql) const
{
    dal::Recordset rs = facility()->Execute(sql);
    return static_cast<long long>(rs.Fields(0).Value().toDouble());
}

long long DemoDatabases::countInSource(const QString &sql)
{
    dal::Recordset rs = m_source->Execute(sql);
    return static_cast<long long>(rs.Fields(0).Value().toDouble());
}

int DemoDatabases::runBatch(const QStringList &arguments, QString *out, QString *err)
{
    QString outText;
    QString errText;
    QTextStream outStream(&outText);
    QTextStream errStream(&errText);
    const int status = runBatchMode(
        QStringList{QStringLiteral("--batch"), QStringLiteral("--config"), m_iniPath} + arguments,
        outStream, errStream);
    if (out)
        *out = outText;
    if (err)
        *err = errText;
    return status;
}

} // namespace zarn::test
