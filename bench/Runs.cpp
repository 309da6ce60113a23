#include "bench/Runs.h"

#include "bench/PgCopy.h"
#include "facility/DataDDInt.h"
#include "import/ImportVerify.h"
#include "import/Importer.h"
#include "platform/dal/Transaction.h"

#include <QFile>
#include <QTemporaryDir>

namespace zarn::bench {

namespace {

// A user interface that shows nothing and remembers the last message.
class QuietUserInterface : public UserInterface
{
public:
    void showMessage(const Message &message) override { lastMessage = message.text; }
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    void setProgressVisible(bool) override {}
    void setProgressCount(std::int64_t, std::int64_t) override {}
    MousePointer mousePointer() const override { return MousePointer::Default; }
    void setMousePointer(MousePointer) override {}
    void processEvents() override {}
    bool stopRequested() const override { return false; }
    void reportDetail(const QString &) override {}

    QString lastMessage;
};

// The server process that serves the facility's connection, where the facility is on a server:
// PostgreSQL's backend of the connection, or the whole MariaDB server, which serves each
// connection by a thread of its own (the benchmark's is the only busy one).
std::optional<int> serverProcess(const Options &options, dal::Connection &facility)
{
    switch (options.server) {
    case Server::sqlite:
        return std::nullopt;
    case Server::mariadb:
        return mariadbServerProcess(facility);
    case Server::postgresql:
    case Server::odbc:
        break;
    }
    return backendPid(facility);
}

const QString storeColumns = QStringLiteral(
    "varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp, status, "
    "forced");

QByteArray copyLine(const Row &row, const QByteArray &auditTime)
{
    return QByteArray::number(row.varId) + '\t' + row.slotStart.toIsoText().toLatin1() + '\t' +
           row.stamp.toIsoText().toLatin1() + '\t' + QByteArray::number(row.value, 'g', 17) + '\t' +
           row.text.toUtf8() + '\t' + auditUser.toLatin1() + '\t' + auditTime + "\t0\t0\n";
}

Measure copyRows(const Options &options, dal::Connection &source, dal::Connection &facility)
{
    const QByteArray auditTime = DateTime::now().toIsoText().toLatin1();
    PgCopy copy(facilityConnectionInfo(options),
                QStringLiteral("COPY DD1_VALUES (%1) FROM STDIN").arg(storeColumns));
    return measure(options.readings, copy.backendPid(), [&] {
        forEachRow(source, facility, options.readings,
                   [&](const Row &row) { copy.send(copyLine(row, auditTime)); });
        copy.finish();
    });
}

// MariaDB's fastest way in: LOAD DATA from a file that the server reads itself, written (and
// timed) as the rows stream from the source, in a folder that the server's account may read.
Measure loadRows(const Options &options, dal::Connection &source, dal::Connection &facility)
{
    QTemporaryDir folder;
    check(folder.isValid() &&
              QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadOther |
                                                       QFile::ExeOther),
          "cannot make a folder for the rows to load");
    QFile rows(folder.filePath(QStringLiteral("rows.tsv")));
    return measure(options.readings, mariadbServerProcess(facility), [&] {
        check(rows.open(QIODevice::WriteOnly), "cannot write the rows to load");
        const QByteArray auditTime = DateTime::now().toIsoText().toLatin1();
        forEachRow(source, facility, options.readings,
                   [&](const Row &row) { rows.write(copyLine(row, auditTime)); });
        rows.close();
        rows.setPermissions(rows.permissions() | QFile::ReadOther);
        facility.provider().executeScript(
            QStringLiteral("LOAD DATA INFILE '%1' INTO TABLE DD1_VALUES (%2)")
                .arg(rows.fileName(), storeColumns));
    });
}

Measure insertRows(const Options &options, dal::Connection &source, dal::Connection &facility)
{
    return measure(options.readings, std::nullopt, [&] {
        auto insert = facility.provider().prepare(
            QStringLiteral("INSERT INTO DD1_VALUES (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                .arg(storeColumns));
        dal::Transaction transaction(facility);
        const Value auditTime(DateTime::now());
        forEachRow(source, facility, options.readings, [&](const Row &row) {
            insert->execute({Value(row.varId), Value(row.slotStart), Value(row.stamp),
                             Value(row.value), Value(row.text), Value(auditUser), auditTime,
                             Value(std::int32_t{0}), Value(std::int32_t{0})});
        });
        transaction.commit();
    });
}

// Reads back every slot that the import wrote and checks that each matches.
Measure verifyImport(const Options &options, dal::Connection &source, dal::Connection &facility,
                     dal::Connection &root)
{
    QuietUserInterface ui;
    VerificationTally verification;
    const Measure m = measure(options.readings, serverProcess(options, facility), [&] {
        verification = computeVerification(ui, ui, source, facility, root,
                                           VerifyRequest{siteId, rangeStart, rangeEnd});
    });
    const SlotCounts counts = verification.total();
    check(verification.succeeded, "the verification failed");
    check(verification.readings.written == options.readings,
          "the verification did not expect every reading");
    check(counts.checked > 0 && counts.matching == counts.checked,
          "the verification found slots that differ");
    return m;
}

} // namespace

ImportMeasures runImport(const Options &options, schema::StandInServer &server,
                         dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    const auto root =
        schema::openConnection(server.catalogConnectionString(QStringLiteral("TAVROOT")));
    QuietUserInterface ui;
    Importer importer(ui, 2);
    importer.Init(source, *facility, *root, facilityFile);
    bool ok = false;
    const Measure m = measure(options.readings, serverProcess(options, *facility), [&] {
        ok = importer.ImportData(rangeStart, rangeEnd, siteId, QString(), facilityFile);
    });
    check(ok, "the import failed");
    check(ui.lastMessage ==
              QStringLiteral("Inserted %1 data records into ZARN database.").arg(options.readings),
          "the import did not write every reading");
    check(storedCount(*facility) == options.readings, "the store does not hold every reading");
    return {m, verifyImport(options, source, *facility, *root)};
}

Measure runBulk(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    const Measure m = [&] {
        switch (options.server) {
        case Server::sqlite:
            return insertRows(options, source, *facility);
        case Server::mariadb:
            return loadRows(options, source, *facility);
        case Server::postgresql:
        case Server::odbc:
            break;
        }
        return copyRows(options, source, *facility);
    }();
    check(storedCount(*facility) == options.readings, "the bulk load lost rows");
    return m;
}

Measure runOriginal(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    DataDDInt store;
    store.Init(*facility, auditUser);
    store.ConnectTo(1440);
    long long written = 0;
    const Measure m = measure(options.sample, serverProcess(options, *facility), [&] {
        written = forEachRow(source, *facility, options.sample, [&](const Row &row) {
            store.WriteData(row.slotStart, row.stamp, row.varId, row.value, row.text);
        });
    });
    check(written == options.sample, "the sample is larger than the site");
    check(storedCount(*facility) == options.sample, "the store does not hold the sample");
    return m;
}

} // namespace zarn::bench
