#include "facility/clsAction_History.h"
#include "import/Importer.h"
#include "platform/dal/Transaction.h"

#include <QStringList>

namespace zarn {

namespace {

const QString auditUser = QStringLiteral("VT2ZARN");

// The fields of a location that this import leaves empty, in the order in which they are set.
const QStringList emptyFieldsBeforePeople = {
    QStringLiteral("Description"),  QStringLiteral("SiteAddress"), QStringLiteral("SiteState"),
    QStringLiteral("SiteCity"),     QStringLiteral("SiteZip"),     QStringLiteral("SitePhone"),
    QStringLiteral("SiteContact"),  QStringLiteral("SiteEMail"),   QStringLiteral("MailAddress"),
    QStringLiteral("MailState"),    QStringLiteral("MailCity"),    QStringLiteral("MailZip"),
    QStringLiteral("MailPhone"),    QStringLiteral("MailContact"), QStringLiteral("MailEMail"),
    QStringLiteral("PermitNumber"), QStringLiteral("NAICS_SIC1"),  QStringLiteral("NAICS_SIC2"),
    QStringLiteral("UD3"),          QStringLiteral("UD4"),         QStringLiteral("UD5"),
    QStringLiteral("UD6"),          QStringLiteral("UD7"),         QStringLiteral("UD8"),
    QStringLiteral("UD9"),          QStringLiteral("Owner"),       QStringLiteral("Notes")};
const QStringList emptyFieldsAfterAcres = {
    QStringLiteral("Crop"),       QStringLiteral("APPSEASONFROM"), QStringLiteral("APPSEASONTO"),
    QStringLiteral("SOILSERIES"), QStringLiteral("SOILTEXTURE"),   QStringLiteral("SOILDRAINAGE"),
    QStringLiteral("WATERTABLE"), QStringLiteral("LEGALDESC")};

} // namespace

bool Importer::CreateLocations(const QString &VantrelID)
{
    LocationTally &tally = m_tally.locations;
    tally = LocationTally{};
    tally.ran = true;
    try {
        replaceLocations(readTrains(VantrelID));
        tally.succeeded = true;
        return true;
    } catch (...) {
        // The transaction has been rolled back: the earlier locations are still in place.
        tally.failure = describedError(std::current_exception());
        tell(QStringLiteral("Program was unable to create locations"), MessageIcon::Exclamation);
        reportFailure(QStringLiteral("The locations could not be written"), tally.failure);
        return false;
    }
}

LocationPlan Importer::PlanLocations(const QString &VantrelID)
{
    const std::vector<Train> trains = readTrains(VantrelID);
    dal::Recordset locations;
    locations.Open(QStringLiteral("Location"), *m_pelkConn, dal::adOpenStatic, dal::adLockReadOnly,
                   dal::adCmdTable);
    return planLocations(readLocations(locations), trains);
}

std::vector<Train> Importer::readTrains(const QString &VantrelID)
{
    dal::Recordset rs;
    rs.Open(QStringLiteral("select TrainNumber, TrainName, TrainOrder,[Group] from TRAINS WHERE "
                           "CAST(SiteID AS VARCHAR(255))=?"),
            *m_vtConn, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText, {Value(VantrelID)});
    std::vector<Train> trains;
    for (; !rs.Eof(); rs.MoveNext()) {
        Train train;
        train.name = rs.Fields(QStringLiteral("TrainName")).Value().toText();
        train.number = rs.Fields(QStringLiteral("TrainNumber")).Value().toInt16();
        train.order = rs.Fields(QStringLiteral("TrainOrder")).Value().toInt16();
        train.group = rs.Fields(QStringLiteral("Group")).Value().toInt16();
        trains.push_back(train);
    }
    if (trains.empty())
        trains.push_back(plantWideTrain());
    return trains;
}

// The rows of the location record set, which is left on its first row.
std::vector<LocationEntry> Importer::readLocations(dal::Recordset &locations)
{
    std::vector<LocationEntry> rows;
    for (; !locations.Eof(); locations.MoveNext())
        rows.push_back({locations.Fields(QStringLiteral("UD1")).Value().toTextOrEmpty(),
                        locations.Fields(QStringLiteral("Location")).Value().toTextOrEmpty(),
                        locations.Fields(QStringLiteral("LocID")).Value().toInt32()});
    if (!rows.empty())
        locations.MoveFirst();
    return rows;
}

// Leaves LOCATION with one row per train, as planLocations says: a kept row is rewritten in
// place, so that the variables filed under it stay attached; the other rows go, and the trains
// without a row get a new one. All of it is one transaction: a failure leaves the locations as
// they were, and the tally is filled only once it is committed.
void Importer::replaceLocations(const std::vector<Train> &trains)
{
    dal::Transaction transaction(*m_pelkConn);
    dal::Recordset locations;
    locations.Open(QStringLiteral("Location"), *m_pelkConn, dal::adOpenStatic,
                   dal::adLockOptimistic, dal::adCmdTable);
    LocationPlan plan = planLocations(readLocations(locations), trains);

    auto trainKeeping = [&](std::int32_t locId) -> const Train * {
        for (std::size_t i = 0; i < trains.size(); ++i)
            if (plan.keptByTrain[i] == locId)
                return &trains[i];
        return nullptr;
    };
    for (; !locations.Eof(); locations.MoveNext()) {
        const std::int32_t locId = locations.Fields(QStringLiteral("LocID")).Value().toInt32();
        if (const Train *train = trainKeeping(locId))
            writeLocation(locations, *train, 2);
        else
            locations.Delete(dal::adAffectCurrent);
    }
    auto added = plan.added.begin();
    for (std::size_t i = 0; i < trains.size(); ++i) {
        if (!plan.keptByTrain[i]) {
            locations.AddNew();
            (added++)->locId = writeLocation(locations, trains[i], 1);
        }
    }
    locations.Close();
    transaction.commit();

    LocationTally &tally = m_tally.locations;
    tally.kept = std::move(plan.kept);
    tally.added = std::move(plan.added);
    tally.removed = std::move(plan.removed);
}

// A new row for action 1, an existing one for action 2.
std::int32_t Importer::writeLocation(dal::Recordset &locations, const Train &train,
                                     std::int32_t action)
{
    clsAction_History history(*m_pelkConn, auditUser, Value::null(), m_databaseKind);
    history.TableName(QStringLiteral("LOCATION"));
    if (action == 2)
        history.oldValuesFromRecord(locations);

    const Value emptyText(QStringLiteral(""));
    auto set = [&](const QString &field, const Value &value) {
        locations.Fields(field).SetValue(value);
    };
    set(QStringLiteral("RecOrder"), train.order);
    set(QStringLiteral("audituser"), auditUser);
    set(QStringLiteral("audittimestamp"), DateTime::now());
    set(QStringLiteral("Location"), train.name);
    set(QStringLiteral("UD1"), locationKey(train.number));
    set(QStringLiteral("UD2"), train.group);
    for (const QString &field : emptyFieldsBeforePeople)
        set(field, emptyText);
    set(QStringLiteral("LC_PEOPLE_ID"), Value::null());
    set(QStringLiteral("LocIdType"), std::int16_t{0});
    set(QStringLiteral("AreaId"), std::int16_t{0});
    set(QStringLiteral("Acres"), Value::null());
    for (const QString &field : emptyFieldsAfterAcres)
        set(field, emptyText);
    locations.Update();

    const Value &locId = locations.Fields(QStringLiteral("LocID")).Value();
    history.RecordID(locId);
    history.PostTransactionRECORD(action, locations);
    return locId.toInt32();
}

} // namespace zarn
