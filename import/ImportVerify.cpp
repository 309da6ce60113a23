#include "import/ImportVerify.h"

#include "facility/DataDDInt.h"
#include "import/Importer.h"
#include "import/PlannedReadings.h"
#include "import/ProgressClock.h"
#include "import/ReadingPlan.h"
#include "import/ReadingValue.h"
#include "import/SlotExpectations.h"
#include "platform/Error.h"
#include "platform/dal/Transaction.h"

#include <chrono>

namespace zarn {

namespace {

constexpr std::chrono::milliseconds progressInterval{50};

SlotContent contentOf(const PendingWrite &write)
{
    return SlotContent{write.stamp, write.value, write.text};
}

// Reads back what the store holds in each slot and counts it against what is expected there.
// The seeks go to the store in groups, which a provider may send together; memory stays within
// one group.
class SlotReader
{
public:
    SlotReader(DataDDInt &store, VerificationTally &tally) : m_store(store), m_tally(tally)
    {
        m_queued.reserve(seeksPerGroup);
    }

    void check(std::size_t variable, const PendingWrite &expected)
    {
        m_store.QueueSeekData(expected.slotStart, expected.varId);
        m_queued.push_back({variable, expected});
        if (m_queued.size() >= seeksPerGroup)
            finish();
    }

    // Reads back the slots queued so far and counts them.
    void finish()
    {
        const std::vector<std::optional<FoundValue>> found = m_store.FetchSeeks();
        for (std::size_t i = 0; i < found.size() && i < m_queued.size(); ++i) {
            const auto &[variable, expected] = m_queued[i];
            std::optional<SlotContent> content;
            if (found[i])
                content = SlotContent{found[i]->DateOut, found[i]->value, found[i]->textvalue};
            m_tally.perVariable[variable].count(expected.slotStart, contentOf(expected), content);
        }
        m_queued.clear();
    }

private:
    // Seeks sent together: enough that a round trip is small beside them, few enough that they
    // take little memory.
    static constexpr std::size_t seeksPerGroup = 5000;

    struct Expected
    {
        std::size_t variable;
        PendingWrite content;
    };

    DataDDInt &m_store;
    VerificationTally &m_tally;
    std::vector<Expected> m_queued;
};

// One walk over the readings, each slot checked as soon as its content is known. Once a reading
// comes back to a slot not known as late, nothing more is checked: the walk only finds the late
// slots for the next one.
class VerifyPass : public ReadingVisitor
{
public:
    VerifyPass(SlotReader &reader, LateSlots &late, UserInterface &progress)
        : m_reader(reader),
          m_expectations(late,
                         [this](std::size_t variable, const PendingWrite &content) {
                             if (!m_expectations.foundNewLateSlots())
                                 m_reader.check(variable, content);
                         }),
          m_progress(progress), m_clock(progressInterval)
    {}

    void written(const QString &, ReadingRoute route, const PendingWrite &write) override
    {
        m_expectations.add(route.variableIndex(), write);
    }

    void passedOver(const QString &, std::optional<DateTime>) override {}

    // A verification writes nothing, so a stop asked for ends it at once.
    void read(std::int64_t done, std::int64_t total) override
    {
        if (!m_clock.due())
            return;
        m_progress.setProgressValue(static_cast<int>(done * 100 / total));
        m_progress.setProgressCount(done, total);
        m_progress.processEvents();
        if (m_progress.stopRequested())
            throw Error(
                errc::InvalidProcedureCall,
                QStringLiteral("it was stopped after %1 of %2 readings").arg(done).arg(total));
    }

    // Checks the slots still open; false when the checks are not to be trusted, as a reading
    // came back to a slot checked before.
    bool finish()
    {
        m_expectations.finish();
        m_reader.finish();
        return !m_expectations.foundNewLateSlots();
    }

private:
    SlotReader &m_reader;
    SlotExpectations m_expectations;
    UserInterface &m_progress;
    ProgressClock m_clock;
};

// Forgets what a walk counted, keeping the plan's entries and their order.
void clearCounts(DataTally &t)
{
    t.total = 0;
    t.written = 0;
    t.failure.reset();
    for (VariableReadings &r : t.perVariable) {
        r.count = 0;
        r.first = r.last = DateTime();
    }
    for (PassedOverReadings &p : t.passedOver) {
        p.count = 0;
        p.first.reset();
        p.last.reset();
    }
}

class VerificationRun
{
public:
    VerificationRun(UserInterface &notes, UserInterface &progress, dal::Connection &source,
                    dal::Connection &facility, dal::Connection &root, const VerifyRequest &request)
        : m_notes(notes), m_progress(progress), m_facility(facility), m_importer(notes, 0),
          m_request(request)
    {
        m_importer.Init(source, facility, root, QString());
        m_tally.ran = true;
        m_tally.readings.ran = true;
    }

    VerificationTally run()
    {
        const dal::Transaction snapshot(m_facility, dal::Transaction::Mode::ReadSnapshot);
        const QString dataTable = m_importer.GetDataTableName(m_request.siteId);
        if (dataTable.isEmpty())
            return m_tally;
        try {
            verify(dataTable);
            m_tally.succeeded = true;
            m_tally.readings.succeeded = !m_tally.readings.failure;
        } catch (const Error &e) {
            m_notes.reportDetail(
                QStringLiteral("The verification failed: %1").arg(e.description()));
        }
        m_progress.setProgressVisible(false);
        return m_tally;
    }

private:
    void verify(const QString &dataTable)
    {
        HashTable variableMap;
        ReadingPlan plan(variableMap, m_tally.readings);
        m_importer.PlanReadings(plan, m_request.siteId, [this](std::int16_t sensorId) {
            return facilityVariable(m_facility, sensorId);
        });
        DataDDInt store;
        store.Init(m_facility, QString());
        store.ConnectTo(readingSlotsPerDay);
        SlotReader reader(store, m_tally);

        LateSlots late;
        if (verifyOnce(dataTable, plan, reader, late))
            return;
        m_notes.reportDetail(QStringLiteral("The readings of %1 slots came after readings of "
                                            "later slots of their variables: the readings are "
                                            "read again, and those slots are checked last.")
                                 .arg(late.size()));
        clearCounts(m_tally.readings);
        if (!verifyOnce(dataTable, plan, reader, late))
            throw Error(errc::InvalidProcedureCall,
                        QStringLiteral("the source's readings changed while they were verified"));
    }

    // One walk over the readings; false when it found slots that it did not know as late.
    bool verifyOnce(const QString &dataTable, ReadingPlan &plan, SlotReader &reader,
                    LateSlots &late)
    {
        m_tally.perVariable.assign(m_tally.readings.perVariable.size(), VariableCheck());
        dal::Recordset readings = m_importer.GetDataRows(m_request.start, m_request.end, dataTable);
        m_progress.setProgressMax(100);
        m_progress.setProgressValue(0);
        m_progress.setProgressVisible(true);
        VerifyPass pass(reader, late, m_progress);
        walkReadings(readings, plan, m_tally.readings, pass);
        const bool trusted = pass.finish();
        readings.Close();
        m_progress.setProgressCount(m_tally.readings.total, m_tally.readings.total);
        return trusted;
    }

    UserInterface &m_notes;
    UserInterface &m_progress;
    dal::Connection &m_facility;
    Importer m_importer;
    VerifyRequest m_request;
    VerificationTally m_tally;
};

} // namespace

VerificationTally computeVerification(UserInterface &notes, UserInterface &progress,
                                      dal::Connection &source, dal::Connection &facility,
                                      dal::Connection &root, const VerifyRequest &request)
{
    return VerificationRun(notes, progress, source, facility, root, request).run();
}

} // namespace zarn
