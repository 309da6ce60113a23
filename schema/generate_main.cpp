// zarn-vantrel-generate: makes the demo databases, or fills a source database with generated
// sites for scripts and benchmarks.
//
//   zarn-vantrel-generate --demo DIR
//   zarn-vantrel-generate --source "CONNECTION STRING" [--seed N] [--sites N] [--trains N]
//                         [--sensors N] [--readings N]

#include "platform/Error.h"
#include "platform/dal/Recordset.h"
#include "schema/Generator.h"
#include "schema/StandIn.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <optional>

namespace {

using namespace zarn;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void makeDemo(const QString &folder)
{
    const QDir dir(QDir(folder).absolutePath());
    const auto server =
        schema::StandInServer::sqlite(dir.filePath(QStringLiteral("zarn")), dir.absolutePath());
    server->createRootCatalog();
    for (const schema::FacilitySpec &facility : schema::demoFacilities()) {
        server->createFacility(facility.fileName, facility.name);
        out() << "facility " << facility.fileName << " \"" << facility.name
              << "\": " << server->zarnDataSource() << '/' << facility.fileName << ".db\n";
    }
    const QString sourceConnection = server->createSource(QStringLiteral("vantrel"));
    const auto source = schema::openConnection(sourceConnection);
    const schema::SourceSpec spec = schema::demoSpec();
    schema::generateSource(*source, spec);
    for (const schema::SiteSpec &site : spec.sites)
        out() << "site " << site.systemId << " \"" << site.name << "\""
              << (site.active ? "" : " (inactive)") << ": " << site.trains.size() << " trains, "
              << site.sensorCount() << " sensors, " << site.readings << " readings\n";
    out() << "source: " << sourceConnection << '\n';
    const QString ini = dir.filePath(QStringLiteral("ZARN_Vantrel_DB_importer.ini"));
    schema::writeIni(ini, *server, sourceConnection);
    out() << "configuration: " << ini << '\n';
}

// The source database needs SYSTEMS and TRAINS; an empty database gets them first.
bool hasSourceTables(dal::Connection &source)
{
    try {
        source.Execute(QStringLiteral("SELECT SystemID FROM SYSTEMS WHERE SystemID = -1"));
        return true;
    } catch (const DatabaseError &) {
        return false;
    }
}

void fillSource(const QString &connectionString, const schema::SourceSpec &spec)
{
    const auto source = schema::openConnection(connectionString);
    if (!hasSourceTables(*source))
        schema::createSourceSchema(*source);
    QElapsedTimer timer;
    timer.start();
    schema::generateSource(*source, spec);
    long long readings = 0;
    for (const schema::SiteSpec &site : spec.sites)
        readings += site.readings;
    out() << spec.sites.size() << " sites, " << readings << " readings written in "
          << timer.elapsed() / 1000.0 << " s\n";
}

std::optional<long long> number(const QCommandLineParser &parser, const QString &name,
                                long long fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const long long value = parser.value(name).toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes the demo databases, or fills a source database with generated "
                       "sites (--readings per site)."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("demo"), QStringLiteral("Make the demo databases in DIR."),
         QStringLiteral("DIR")},
        {QStringLiteral("source"), QStringLiteral("Fill the source database."),
         QStringLiteral("CONNECTION STRING")},
        {QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("N")},
        {QStringLiteral("sites"), QStringLiteral("Sites."), QStringLiteral("N")},
        {QStringLiteral("trains"), QStringLiteral("Trains per site (0: none)."),
         QStringLiteral("N")},
        {QStringLiteral("sensors"), QStringLiteral("Sensors per train."), QStringLiteral("N")},
        {QStringLiteral("readings"), QStringLiteral("Readings per site."), QStringLiteral("N")},
    });
    parser.process(app);

    const bool demo = parser.isSet(QStringLiteral("demo"));
    const bool source = parser.isSet(QStringLiteral("source"));
    const auto seed = number(parser, QStringLiteral("seed"), 1);
    const auto sites = number(parser, QStringLiteral("sites"), 1);
    const auto trains = number(parser, QStringLiteral("trains"), 2);
    const auto sensors = number(parser, QStringLiteral("sensors"), 10);
    const auto readings = number(parser, QStringLiteral("readings"), 10000);
    if (demo == source || !seed || !sites || !trains || !sensors || !readings ||
        *seed > 0xFFFFFFFFLL || *sites > 10000 || *trains > 10000 || *sensors > 32767) {
        QTextStream(stderr) << "usage: zarn-vantrel-generate --demo DIR\n"
                               "       zarn-vantrel-generate --source \"CONNECTION STRING\" "
                               "[--seed N] [--sites N] [--trains N] [--sensors N] "
                               "[--readings N]\n";
        return 2;
    }
    try {
        if (demo)
            makeDemo(parser.value(QStringLiteral("demo")));
        else
            fillSource(parser.value(QStringLiteral("source")),
                       schema::uniformSpec(static_cast<quint32>(*seed), static_cast<int>(*sites),
                                           static_cast<int>(*trains), static_cast<int>(*sensors),
                                           *readings));
    } catch (const Error &error) {
        QTextStream(stderr) << "zarn-vantrel-generate: " << error.description() << '\n';
        return 1;
    }
    return 0;
}
