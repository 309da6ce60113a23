#include "platform/dal/ConnectionString.h"

#include "platform/Error.h"

namespace zarn::dal {

namespace {

// Reads a connection string one "keyword=value" part at a time. Messages name parts by their
// position or keyword only, so that no fragment of a value (a password) is ever repeated.
class ConnectionStringReader
{
public:
    explicit ConnectionStringReader(const QString &text) : m_text(text) {}

    QMap<QString, QString> readAll()
    {
        QMap<QString, QString> keywords;
        while (!atEnd()) {
            ++m_part;
            skipBlanks();
            if (atEnd())
                break;
            if (peek() == QLatin1Char(';')) {
                ++m_pos; // an empty part, as in "a=1;;b=2" or a trailing ";"
                continue;
            }
            const QString keyword = readKeyword();
            keywords.insert(keyword, readValue(keyword));
        }
        return keywords;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return m_text.at(m_pos); }

    void skipBlanks()
    {
        while (!atEnd() && peek().isSpace())
            ++m_pos;
    }

    [[noreturn]] void fail(const QString &problem) const
    {
        throw DatabaseError(QStringLiteral("The connection string is malformed: %1.").arg(problem));
    }

    QString readKeyword()
    {
        const qsizetype start = m_pos;
        while (!atEnd() && peek() != QLatin1Char('=') && peek() != QLatin1Char(';'))
            ++m_pos;
        if (atEnd() || peek() == QLatin1Char(';'))
            fail(QStringLiteral("part %1 has no \"=\"").arg(m_part));
        const QString keyword = m_text.mid(start, m_pos - start).trimmed().toLower();
        if (keyword.isEmpty())
            fail(QStringLiteral("part %1 has no keyword before \"=\"").arg(m_part));
        ++m_pos; // the "="
        return keyword;
    }

    QString readValue(const QString &keyword)
    {
        skipBlanks();
        if (!atEnd() && (peek() == QLatin1Char('"') || peek() == QLatin1Char('\'')))
            return readQuotedValue(keyword);
        const qsizetype start = m_pos;
        while (!atEnd() && peek() != QLatin1Char(';'))
            ++m_pos;
        const QString value = m_text.mid(start, m_pos - start).trimmed();
        if (!atEnd())
            ++m_pos; // the ";"
        return value;
    }

    QString readQuotedValue(const QString &keyword)
    {
        const QChar quote = peek();
        ++m_pos;
        QString value;
        for (;;) {
            if (atEnd())
                fail(QStringLiteral("the value of \"%1\" has no closing quote").arg(keyword));
            const QChar c = peek();
            ++m_pos;
            if (c != quote) {
                value += c;
                continue;
            }
            if (!atEnd() && peek() == quote) {
                value += quote; // a doubled quote stands for one
                ++m_pos;
                continue;
            }
            break;
        }
        skipBlanks();
        if (!atEnd() && peek() != QLatin1Char(';'))
            fail(QStringLiteral("text follows the quoted value of \"%1\"").arg(keyword));
        if (!atEnd())
            ++m_pos;
        return value;
    }

    const QString &m_text;
    qsizetype m_pos = 0;
    int m_part = 0;
};

} // namespace

QMap<QString, QString> parseConnectionString(const QString &connectionString)
{
    return ConnectionStringReader(connectionString).readAll();
}

} // namespace zarn::dal
