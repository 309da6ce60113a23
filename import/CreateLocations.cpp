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

void Importer::CreateLocations(const QString &VantrelID)
{
    try {
        replaceLocations(readTrains(VantrelID));
    } catch (...) {
        // The transaction has been rolled back: the earlier locations are still in place.
        tell(QStringLiteral("Program was unable to create locations"), MessageIcon::Exclamation);
    }
}

std::vector<Importer::Train> Importer::readTrains(const QString &VantrelID)
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
        trains.push_back(Train{QStringLiteral("My Plant"), 1, 1, 1});
    return trains;
}

// Leaves LOCATION with one row per train. A row whose key belongs to a train is rewritten in
// place, so that it keeps its LocID and the variables filed under it stay attached; rows whose
// key belongs to no train go, and the trains still without a row get a new one. All of it is one
// transaction: a failure leaves the locations as they were.
void Importer::replaceLocations(const std::vector<Train> &trains)
{
    std::vector<QString> keys;
    for (const Train &train : trains)
        keys.push_back(locationKey(QString::number(train.number)));
    std::vector<bool> placed(trains.size(), false);
    auto claimTrainFor = [&](const QString &key) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < trains.size(); ++i) {
            if (!placed[i] && keys[i] == key) {
                placed[i] = true;
                return i;
            }
        }
        return std::nullopt;
    };

    dal::Transaction transaction(*m_pelkConn);
    dal::Recordset locations;
    locations.Open(QStringLiteral("Location"), *m_pelkConn, dal::adOpenStatic,
                   dal::adLockOptimistic, dal::adCmdTable);
    for (; !locations.Eof(); locations.MoveNext()) {
        const QString key = locations.Fields(QStringLiteral("UD1")).Value().toTextOrEmpty();
        if (const std::optional<std::size_t> i = claimTrainFor(key))
            writeLocation(locations, trains[*i], keys[*i], 2);
        else
            locations.Delete(dal::adAffectCurrent);
    }
    for (std::size_t i = 0; i < trains.size(); ++i) {
        if (!placed[i]) {
            locations.AddNew();
            writeLocation(locations, trains[i], keys[i], 1);
        }
    }
    locations.Close();
    transaction.commit();
}

// Sets every field of the current location row (a new one for action 1, an existing one for
// action 2), stores it and records it in the audit trail.
void Importer::writeLocation(dal::Recordset &locations, const Train &train, const QString &key,
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
    set(QStringLiteral("UD1"), key);
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

    history.RecordID(locations.Fields(QStringLiteral("LocID")).Value());
    history.PostTransactionRECORD(action, locations);
}

} // namespace zarn
