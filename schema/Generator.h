#pragma once

#include "platform/DateTime.h"
#include "platform/dal/Connection.h"

#include <QString>
#include <QtGlobal>
#include <vector>

// Generated source databases: sites with trains, sensors and their readings, any size, the same
// rows from the same seed on every platform.
namespace zarn::schema {

// One monitored site.
struct SiteSpec
{
    int systemId = 1;
    QString name;
    bool active = true;
    // The site's train numbers, in their display order. A site without trains has its sensors
    // on train 1, the train that stands for the whole plant.
    std::vector<int> trains;
    int sensorsPerTrain = 4;
    // Rows of the site's data table: the sensors log one reading each per time step, in turn.
    long long readings = 0;
    DateTime firstReading = DateTime::fromParts(2024, 3, 4);
    int secondsBetweenReadings = 60;

    QString sensorsTable() const { return QStringLiteral("SENSORS_%1").arg(systemId); }
    QString dataTable() const { return QStringLiteral("DATA_%1").arg(systemId); }
    int sensorCount() const;
};

struct SourceSpec
{
    quint32 seed = 1;
    std::vector<SiteSpec> sites;
};

// A facility catalog of the demo's ZARN server.
struct FacilitySpec
{
    QString fileName;
    QString name;
};

// Writes the sites into an open source database that has SYSTEMS and TRAINS: their SYSTEMS and
// TRAINS rows, and each site's sensors and data tables with their rows, in one transaction.
// Throws zarn::Error, before anything is written, for a spec that cannot be written (sensor ids
// beyond 16 bits, readings without sensors, a step below one second); DatabaseError.
void generateSource(dal::Connection &source, const SourceSpec &spec);

// Sites of different shapes (one without trains, one with trains 0, 1, 2 and 12, a larger one,
// and a retired one), a few thousand readings over a few days.
SourceSpec demoSpec();
std::vector<FacilitySpec> demoFacilities();

// Sites 1 to sites, each with trains 1 to trains (none when 0), sensors per train and readings
// one minute apart from 1 January 2024: the shape that scripts and benchmarks ask for.
SourceSpec uniformSpec(quint32 seed, int sites, int trains, int sensorsPerTrain,
                       long long readingsPerSite);

} // namespace zarn::schema
