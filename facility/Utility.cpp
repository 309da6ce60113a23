#include "facility/Utility.h"

#include "platform/Error.h"
#include "platform/dal/Recordset.h"

namespace zarn {

namespace {

// Added to every character code (besides its position), small enough that printable characters
// of passwords of any sensible length stay within the single-byte range.
constexpr int passwordCodeOffset = 3;

// The character's code in the single-byte code page; characters outside it count as "?", as a
// conversion to that code page would make them.
int singleByteCode(QChar c)
{
    return c.unicode() <= 0xFF ? c.unicode() : '?';
}

} // namespace

Value GetFirstValue(dal::Connection &conn, const QString &query, const std::vector<Value> &params)
{
    Value result = Value::null();
    try {
        dal::Recordset rs = conn.Execute(query, params);
        if (!rs.Eof()) {
            result = rs.Fields(0).Value();
            rs.Close();
        }
    } catch (...) {
        // A failing lookup finds nothing; the result holds what was taken before the failure.
    }
    return result;
}

QString DecodePassword(const QString &text)
{
    const QString inner = text.mid(2);
    if (inner.size() < 3)
        throw invalidProcedureCall();
    const QString kept = inner.chopped(3);

    QString result;
    result.reserve(kept.size());
    for (qsizetype k = 1; k <= kept.size(); ++k) {
        const qsizetype code = singleByteCode(kept.at(kept.size() - k)) + passwordCodeOffset + k;
        if (code < 0 || code > 0xFF)
            throw invalidProcedureCall();
        result.append(QChar(static_cast<char16_t>(code)));
    }
    return result;
}

} // namespace zarn
