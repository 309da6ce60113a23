#include "schema/Generator.h"

#include "platform/Error.h"
#include "platform/dal/Transaction.h"
#include "schema/Scripts.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>

namespace zarn::schema {

namespace {

// The engine's raw 32-bit outputs are fixed by the standard for every platform; the standard
// distributions are not, so numbers are drawn from the raw outputs with integer arithmetic.
class Random
{
public:
    explicit Random(quint32 seed) : m_engine(seed) {}

    // Uniform in [0, n), 0 < n <= 2^32.
    std::int64_t below(std::int64_t n)
    {
        const std::uint64_t raw = static_cast<std::uint32_t>(m_engine());
        return static_cast<std::int64_t>((raw * static_cast<std::uint64_t>(n)) >> 32);
    }
    // Uniform in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high)
    {
        return low + below(high - low + 1);
    }
    bool oneIn(std::int64_t n) { return below(n) == 0; }

private:
    std::mt19937 m_engine;
};

// What a kind of sensor measures. Amounts are in thousandths of the unit, so that every value
// is computed in integers and becomes a double by one exact division.
struct SensorKind
{
    const char *description;
    const char *units;
    int decimals;   // of the logged values
    bool digital;   // logs 0 or 1
    bool isVirtual; // computed from other sensors
    std::int64_t mean, dailySwing, noise;
    bool hasLimits; // HiHi, Hi, Lo, LoLo; sensors without limits leave them Null
    std::int64_t hiHi, hi, lo, loLo, maxDisplay, minDisplay;
};

// clang-format off
// description, units, decimals, digital, virtual, mean, daily swing, noise, has limits, HiHi, Hi, Lo,
// LoLo, MaxDisplay, MinDisplay
constexpr std::array<SensorKind, 12> kSensorKinds = {{
    {"Influent Flow",     "MGD",    2, false, false, 4500,   1500,  150,   true,  9000,    8000,    1000,   500,    10000,   0},
    {"Dissolved Oxygen",  "mg/L",   2, false, false, 2000,   600,   100,   true,  6000,    4000,    1000,   500,    8000,    0},
    {"pH",                "pH",     2, false, false, 7100,   300,   50,    true,  9000,    8500,    6500,   6000,   14000,   0},
    {"Water Temperature", "degC",   1, false, false, 18000,  3000,  200,   true,  35000,   30000,   5000,   2000,   40000,   0},
    {"Pump Running",      "On/Off", 0, true,  false, 0,      0,     0,     false, 0,       0,       0,      0,      1000,    0},
    {"Turbidity",         "NTU",    2, false, false, 800,    400,   100,   true,  5000,    2000,    100,    0,      10000,   0},
    {"Chlorine Residual", "mg/L",   2, false, false, 1200,   200,   50,    true,  4000,    3000,    500,    200,    5000,    0},
    {"Tank Level",        "ft",     1, false, false, 12000,  4000,  300,   true,  20000,   18000,   4000,   2000,   24000,   0},
    {"Effluent Flow",     "MGD",    2, false, true,  4300,   1400,  100,   true,  9000,    8000,    1000,   500,    10000,   0},
    {"Blower Pressure",   "psi",    1, false, false, 7500,   800,   200,   true,  10000,   9000,    5000,   4000,   12000,   0},
    {"Motor Current",     "A",      1, false, false, 42000,  6000,  1500,  true,  60000,   55000,   10000,  5000,   80000,   0},
    {"Conductivity",      "uS/cm",  0, false, false, 850000, 60000, 10000, true,  1500000, 1200000, 300000, 200000, 2000000, 0},
}};
// clang-format on

constexpr std::int64_t kPhaseTurn = 65536; // a full daily cycle
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kMaxSensorId = std::numeric_limits<std::int16_t>::max();
constexpr int kRowsPerInsert = 100;

// sin(2 pi phase / kPhaseTurn) in thousandths, by Bhaskara's approximation in integers.
std::int64_t sineMilli(std::int64_t phase)
{
    const std::int64_t half = kPhaseTurn / 2;
    const std::int64_t u = phase % half;
    const std::int64_t product = u * (half - u);
    const std::int64_t value = 16000 * product / (5 * half * half - 4 * product);
    return phase % kPhaseTurn < half ? value : -value;
}

std::int64_t powerOfTen(int exponent)
{
    std::int64_t value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

Value limit(const SensorKind &kind, std::int64_t thousandths)
{
    return kind.hasLimits ? Value(static_cast<double>(thousandths) / 1000.0) : Value::null();
}

QString trainName(int number)
{
    return number == 0 ? QStringLiteral("Plant Common") : QStringLiteral("Train %1").arg(number);
}

// One sensor while its readings are generated.
class Sensor
{
public:
    Sensor(const SensorKind &kind, int type, int train, Random &random)
        : m_kind(&kind), m_type(type), m_train(train), m_phase(random.below(kPhaseTurn)),
          m_on(random.oneIn(2))
    {}

    int type() const { return m_type; }
    int train() const { return m_train; }

    // The value logged elapsedSeconds after the first reading: a daily cycle, a wandering
    // drift and noise, kept inside the display range.
    double nextValue(std::int64_t elapsedSeconds, Random &random)
    {
        const SensorKind &kind = *m_kind;
        if (kind.digital) {
            if (random.oneIn(30))
                m_on = !m_on;
            return m_on ? 1.0 : 0.0;
        }
        m_drift += random.between(-kind.noise, kind.noise);
        m_drift -= m_drift / 8;
        const std::int64_t phase =
            (m_phase + elapsedSeconds % kSecondsPerDay * kPhaseTurn / kSecondsPerDay) % kPhaseTurn;
        std::int64_t thousandths = kind.mean + kind.dailySwing * sineMilli(phase) / 1000 + m_drift +
                                   random.between(-kind.noise / 2, kind.noise / 2);
        thousandths = std::clamp(thousandths, kind.minDisplay, kind.maxDisplay);
        const std::int64_t step = powerOfTen(3 - kind.decimals);
        const std::int64_t rounded = (thousandths + step / 2) / step;
        return static_cast<double>(rounded) / static_cast<double>(powerOfTen(kind.decimals));
    }

private:
    const SensorKind *m_kind;
    int m_type;
    int m_train;
    std::int64_t m_phase;
    std::int64_t m_drift = 0;
    bool m_on;
};

// Inserts rows into one table, many rows per statement; the statements are prepared once.
class BatchInsert
{
public:
    BatchInsert(dal::Connection &connection, const QString &table, const QStringList &columns)
        : m_connection(connection),
          m_prefix(QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns.join(u','))),
          m_columns(static_cast<int>(columns.size()))
    {
        m_values.reserve(static_cast<std::size_t>(m_columns * kRowsPerInsert));
    }

    void add(std::initializer_list<Value> row)
    {
        m_values.insert(m_values.end(), row);
        if (m_values.size() == static_cast<std::size_t>(m_columns * kRowsPerInsert)) {
            if (!m_full)
                m_full = prepare(kRowsPerInsert);
            m_full->execute(m_values);
            m_values.clear();
        }
    }

    // Writes the rows that did not fill a whole statement.
    void finish()
    {
        if (m_values.empty())
            return;
        prepare(static_cast<int>(m_values.size()) / m_columns)->execute(m_values);
        m_values.clear();
    }

private:
    std::unique_ptr<dal::Statement> prepare(int rows) const
    {
        const QString row = u'(' + QStringList(m_columns, QStringLiteral("?")).join(u',') + u')';
        return m_connection.provider().prepare(m_prefix + QStringList(rows, row).join(u','));
    }

    dal::Connection &m_connection;
    QString m_prefix;
    int m_columns;
    std::vector<Value> m_values;
    std::unique_ptr<dal::Statement> m_full;
};

// Refuses, before anything is written, a spec whose rows cannot be made.
void check(const SourceSpec &spec)
{
    long long sensors = 0;
    for (const SiteSpec &site : spec.sites) {
        if (site.readings < 0 || site.sensorsPerTrain < 0 || site.secondsBetweenReadings < 1)
            throw Error(errc::InvalidProcedureCall,
                        QStringLiteral("Site %1: negative counts or a step below one second.")
                            .arg(site.systemId));
        if (site.readings > 0 && site.sensorCount() == 0)
            throw Error(errc::InvalidProcedureCall,
                        QStringLiteral("Site %1 has readings but no sensors.").arg(site.systemId));
        sensors += site.sensorCount();
    }
    if (sensors > kMaxSensorId)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("%1 sensors: sensor ids are 16-bit, at most %2.")
                        .arg(sensors)
                        .arg(kMaxSensorId));
}

// The site's trains as its sensors see them: the plant-wide train 1 when it has none.
std::vector<int> sensorTrains(const SiteSpec &site)
{
    return site.trains.empty() ? std::vector<int>{1} : site.trains;
}

void writeSystemsRow(BatchInsert &systems, const SiteSpec &site)
{
    systems.add({Value(static_cast<std::int32_t>(site.systemId)), Value(site.name),
                 Value(site.active ? QStringLiteral("1") : QStringLiteral("0")),
                 Value(site.dataTable()), Value(site.sensorsTable())});
}

void writeTrains(BatchInsert &trains, const SiteSpec &site)
{
    for (std::size_t i = 0; i < site.trains.size(); ++i) {
        const int number = site.trains[i];
        trains.add({Value(static_cast<std::int32_t>(site.systemId)),
                    Value(static_cast<std::int32_t>(number)), Value(trainName(number)),
                    Value(static_cast<std::int32_t>(i + 1)),
                    Value(static_cast<std::int32_t>(number < 10 ? 1 : 2))});
    }
}

// Writes the site's sensors table and returns its sensors, ready to log readings.
std::vector<Sensor> writeSensors(dal::Connection &source, const SiteSpec &site, int kindOffset,
                                 int &lastSensorId, Random &random)
{
    BatchInsert rows(source, site.sensorsTable(),
                     {QStringLiteral("SensorType"), QStringLiteral("TrainNumber"),
                      QStringLiteral("Description"), QStringLiteral("Units"),
                      QStringLiteral("SensorID"), QStringLiteral("HiHi"), QStringLiteral("Hi"),
                      QStringLiteral("Lo"), QStringLiteral("LoLo"), QStringLiteral("MaxDisplay"),
                      QStringLiteral("MinDisplay"), QStringLiteral("DisplayOrder"),
                      QStringLiteral("DataType"), QStringLiteral("Virtual")});
    std::vector<Sensor> sensors;
    sensors.reserve(static_cast<std::size_t>(site.sensorCount()));
    for (const int train : sensorTrains(site)) {
        for (int i = 0; i < site.sensorsPerTrain; ++i) {
            const std::size_t kindIndex =
                static_cast<std::size_t>(i + kindOffset) % kSensorKinds.size();
            const SensorKind &kind = kSensorKinds[kindIndex];
            const int repeat = (i + kindOffset) / static_cast<int>(kSensorKinds.size());
            QString description = QString::fromLatin1(kind.description);
            if (repeat > 0)
                description += QStringLiteral(" #%1").arg(repeat + 1);
            if (!site.trains.empty())
                description = trainName(train) + u' ' + description;
            ++lastSensorId;
            const int type = i + 1;
            rows.add({Value(static_cast<std::int32_t>(type)),
                      Value(static_cast<std::int32_t>(train)), Value(description),
                      Value(QString::fromLatin1(kind.units)),
                      Value(static_cast<std::int32_t>(lastSensorId)), limit(kind, kind.hiHi),
                      limit(kind, kind.hi), limit(kind, kind.lo), limit(kind, kind.loLo),
                      Value(static_cast<double>(kind.maxDisplay) / 1000.0),
                      Value(static_cast<double>(kind.minDisplay) / 1000.0),
                      Value(static_cast<std::int32_t>(type)),
                      Value(kind.digital ? QStringLiteral("Digital") : QStringLiteral("Analog")),
                      Value(kind.isVirtual)});
            sensors.emplace_back(kind, type, train, random);
        }
    }
    rows.finish();
    return sensors;
}

// Milliseconds after the step's own time: half the readings come on the step, the others a
// few whole seconds or milliseconds later, always before the next step.
std::int64_t jitterMs(const SiteSpec &site, Random &random)
{
    const std::int64_t spanSeconds = std::min(site.secondsBetweenReadings, 60);
    const std::int64_t kind = random.below(10);
    if (kind < 5)
        return 0;
    if (kind < 8)
        return random.below(spanSeconds) * 1000;
    return random.below(spanSeconds * 1000);
}

void writeReadings(dal::Connection &source, const SiteSpec &site, std::vector<Sensor> &sensors,
                   Random &random)
{
    BatchInsert rows(source, site.dataTable(),
                     {QStringLiteral("SensorType"), QStringLiteral("TrainNumber"),
                      QStringLiteral("Data"), QStringLiteral("TimeDate")});
    const auto sensorCount = static_cast<long long>(sensors.size());
    for (long long i = 0; i < site.readings; ++i) {
        Sensor &sensor = sensors[static_cast<std::size_t>(i % sensorCount)];
        const std::int64_t elapsedSeconds = i / sensorCount * site.secondsBetweenReadings;
        const double value = sensor.nextValue(elapsedSeconds, random);
        const std::int64_t elapsedMs = elapsedSeconds * 1000 + jitterMs(site, random);
        const DateTime time(site.firstReading.days() +
                            static_cast<double>(elapsedMs) / (kSecondsPerDay * 1000.0));
        rows.add({Value(static_cast<std::int32_t>(sensor.type())),
                  Value(static_cast<std::int32_t>(sensor.train())), Value(value), Value(time)});
    }
    rows.finish();
}

} // namespace

int SiteSpec::sensorCount() const
{
    return static_cast<int>(std::max<std::size_t>(trains.size(), 1)) * sensorsPerTrain;
}

void generateSource(dal::Connection &source, const SourceSpec &spec)
{
    check(spec);
    for (const SiteSpec &site : spec.sites) {
        runSchemaScript(source, QStringLiteral("source_site"),
                        {{QStringLiteral("SENSORS"), site.sensorsTable()},
                         {QStringLiteral("DATA"), site.dataTable()}});
    }
    Random random(spec.seed);
    dal::Transaction transaction(source);
    BatchInsert systems(source, QStringLiteral("SYSTEMS"),
                        {QStringLiteral("SystemID"), QStringLiteral("FacilityName"),
                         QStringLiteral("Status"), QStringLiteral("TableName"),
                         QStringLiteral("SensorsName")});
    BatchInsert trains(source, QStringLiteral("TRAINS"),
                       {QStringLiteral("SiteID"), QStringLiteral("TrainNumber"),
                        QStringLiteral("TrainName"), QStringLiteral("TrainOrder"),
                        QStringLiteral("[Group]")});
    int lastSensorId = 0;
    for (std::size_t i = 0; i < spec.sites.size(); ++i) {
        const SiteSpec &site = spec.sites[i];
        writeSystemsRow(systems, site);
        writeTrains(trains, site);
        std::vector<Sensor> sensors =
            writeSensors(source, site, static_cast<int>(i * 3), lastSensorId, random);
        writeReadings(source, site, sensors, random);
    }
    systems.finish();
    trains.finish();
    transaction.commit();
}

SourceSpec demoSpec()
{
    SourceSpec spec;
    spec.seed = 20240304;
    const DateTime start = DateTime::fromParts(2024, 3, 4);
    auto site = [&](int id, const char *name, bool active, std::vector<int> trains,
                    int sensorsPerTrain, int steps, int secondsBetweenReadings) {
        SiteSpec s;
        s.systemId = id;
        s.name = QString::fromLatin1(name);
        s.active = active;
        s.trains = std::move(trains);
        s.sensorsPerTrain = sensorsPerTrain;
        s.readings = static_cast<long long>(s.sensorCount()) * steps;
        s.firstReading = start;
        s.secondsBetweenReadings = secondsBetweenReadings;
        spec.sites.push_back(s);
    };
    site(101, "Riverside Lagoons", true, {}, 6, 192, 1800);
    site(102, "Hilltop Water Plant", true, {0, 1, 2, 12}, 4, 144, 2400);
    site(103, "Cedar Creek WWTP", true, {1, 2, 3, 4, 5, 6}, 8, 72, 3600);
    site(104, "Old Mill Pump Station (retired)", false, {1}, 3, 24, 3600);
    return spec;
}

std::vector<FacilitySpec> demoFacilities()
{
    return {{QStringLiteral("NORTHPLANT"), QStringLiteral("North Plant")},
            {QStringLiteral("SOUTHPLANT"), QStringLiteral("South Plant")}};
}

SourceSpec uniformSpec(quint32 seed, int sites, int trains, int sensorsPerTrain,
                       long long readingsPerSite)
{
    SourceSpec spec;
    spec.seed = seed;
    for (int id = 1; id <= sites; ++id) {
        SiteSpec site;
        site.systemId = id;
        site.name = QStringLiteral("Site %1").arg(id);
        for (int train = 1; train <= trains; ++train)
            site.trains.push_back(train);
        site.sensorsPerTrain = sensorsPerTrain;
        site.readings = readingsPerSite;
        site.firstReading = DateTime::fromParts(2024, 1, 1);
        site.secondsBetweenReadings = 60;
        spec.sites.push_back(site);
    }
    return spec;
}

} // namespace zarn::schema
