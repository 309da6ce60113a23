#include "import/Importer.h"
#include "import/UserDefinedCaptions.h"

#include <array>
#include <utility>

namespace zarn {

namespace {} // namespace

void Importer::UpdateUDCaps()
{
    CaptionTally &tally = m_tally.captions;
    tally = CaptionTally{};
    tally.ran = true;
    try {
        dal::Recordset rs;
        rs.Open(QStringLiteral("UDCaps"), *m_pelkConn, dal::adOpenStatic, dal::adLockOptimistic,
                dal::adCmdTable);
        rs.MoveFirst();
        dal::Field &fieldName = rs.Fields(QStringLiteral("FieldName"));
        dal::Field &caption = rs.Fields(QStringLiteral("Caption"));
        const auto &captions = userDefinedCaptions();
        for (std::size_t i = 0; i < captions.size(); ++i) {
            // Rows are taken by position: whatever the first nine held, they get these pairs.
            CaptionEntry written{captions[i].first, caption.Value().toTextOrEmpty(),
                                 captions[i].second, fieldName.Value().toTextOrEmpty()};
            fieldName.SetValue(captions[i].first);
            caption.SetValue(captions[i].second);
            rs.Update();
            tally.written.push_back(std::move(written));
            if (i + 1 < captions.size())
                rs.MoveNext();
        }
        rs.Close();
        tally.succeeded = true;
    } catch (...) {
        tally.failure = describedError(std::current_exception());
        tell(QStringLiteral("Program was unable to update User Defined Captions"),
             MessageIcon::Exclamation);
        reportFailure(QStringLiteral("The captions could not be written"), tally.failure);
    }
}

} // namespace zarn
