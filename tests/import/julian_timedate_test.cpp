#include "import/StandInFixture.h"

namespace zarn::test {
namespace {

using namespace std::chrono_literals;

// A SQLite source whose time stamps are partly SQLite's numeric date-times, Julian day numbers,
// beside ISO texts: the data import reads both.
class JulianTimeDate : public StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        if (HasFatalFailure())
            return;
        addSite(1);
        SensorRow sensor;
        sensor.SensorID = std::int32_t{101};
        addSensor(1, sensor);
        facility->Execute(QStringLiteral("INSERT INTO VARDESC (VARNUM, name) VALUES (101, 'v')"));
        importer->setProgressInterval(0ms);
    }

    void addJulian(double data, const char *at)
    {
        source->Execute(QStringLiteral("INSERT INTO DATA_1 (SensorType, TrainNumber, Data, "
                                       "TimeDate) VALUES (1, 1, ?, julianday(?))"),
                        {Value(data), Value(at)});
    }

    bool import5March()
    {
        return importer->ImportData(DateTime::fromParts(2024, 3, 5),
                                    DateTime::fromParts(2024, 3, 6), QStringLiteral("1"),
                                    QStringLiteral("Site 1"), QStringLiteral("IMPTEST"));
    }
};

TEST_F(JulianTimeDate, ReadingsWithJulianDayNumbersAreImportedAtTheirMinute)
{
    addJulian(1, "2024-03-05 00:00:00"); // on the bounds: left out
    addJulian(2, "2024-03-05 06:30:00");
    addReading(1, 1, 1, 3, DateTime::fromParts(2024, 3, 5, 6, 31));
    addJulian(4, "2024-03-05 23:59:00");
    addJulian(5, "2024-03-06 00:00:00");
    addJulian(6, "2024-03-04 23:59:00");
    ASSERT_TRUE(import5March());
    EXPECT_EQ(messageTexts().back(), QStringLiteral("Inserted 3 data records into ZARN database."));
    const Rows stored = rows(*facility, QStringLiteral("SELECT curvalue, CAST(datestamp AS TEXT) "
                                                       "FROM DD1_VALUES ORDER BY datestamp"));
    EXPECT_EQ(stored, (Rows{{2.0, Value("2024-03-05 06:30:00")},
                            {3.0, Value("2024-03-05 06:31:00")},
                            {4.0, Value("2024-03-05 23:59:00")}}));
}

TEST_F(JulianTimeDate, UnixSecondsFailTheImportInsteadOfBeingPassedOver)
{
    addReading(1, 1, 1, 3, DateTime::fromParts(2024, 3, 5, 6, 31));
    source->Execute(QStringLiteral("INSERT INTO DATA_1 (SensorType, TrainNumber, Data, TimeDate) "
                                   "VALUES (1, 1, 7, 1709620260)"));
    EXPECT_FALSE(import5March());
    EXPECT_EQ(count(QStringLiteral("DD1_VALUES")), 0);
    EXPECT_NE(messageTexts().back(), QStringLiteral("Inserted 1 data records into ZARN database."));
}

} // namespace
} // namespace zarn::test
