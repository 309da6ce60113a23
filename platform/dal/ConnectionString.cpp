#include "platform/dal/ConnectionString.h"

#include "platform/Error.h"

#include <QRegularExpression>
#include <algorithm>
#include <functional>

namespace zarn::dal {

namespace {

const QString maskText = QStringLiteral("****");

bool isQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

bool isPasswordKeyword(const QString &keyword)
{
    return keyword == QLatin1String("password") || keyword == QLatin1String("pwd");
}

// The keywords a message may name: those the program's own connection strings use. Any other
// keyword may be a value typed in the wrong place (a password without its "="), so it is named
// by its position only.
bool mayBeNamed(const QString &keyword)
{
    static const QStringList known = {
        QStringLiteral("provider"),         QStringLiteral("data source"),
        QStringLiteral("initial catalog"),  QStringLiteral("user id"),
        QStringLiteral("password"),         QStringLiteral("pwd"),
        QStringLiteral("application name"), QStringLiteral("persist security info"),
        QStringLiteral("ole db services")};
    return known.contains(keyword);
}

// Reads a connection string one "keyword=value" part at a time. Messages name parts by their
// position or a known keyword only, so that no fragment of a value (a password) is repeated.
class ConnectionStringReader
{
public:
    using PartHandler = std::function<void(const QString &keyword, const QString &value)>;

    explicit ConnectionStringReader(const QString &text) : m_text(text) {}

    void readAll(const PartHandler &handle)
    {
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
            handle(keyword, readValue(keyword));
        }
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

    QString partName(const QString &keyword) const
    {
        if (mayBeNamed(keyword))
            return QStringLiteral("the value of \"%1\" (part %2)").arg(keyword).arg(m_part);
        return QStringLiteral("the value of part %1").arg(m_part);
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
        if (!atEnd() && isQuote(peek()))
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
                fail(partName(keyword) + QStringLiteral(" opens a quote that is never closed"));
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
            fail(QStringLiteral("text follows the closing quote of ") + partName(keyword));
        if (!atEnd())
            ++m_pos;
        return value;
    }

    const QString &m_text;
    qsizetype m_pos = 0;
    int m_part = 0;
};

// Where a value that starts at pos ends: after its closing quote when it is quoted (at the end
// of the text when the quote is never closed), otherwise at the next ";".
qsizetype endOfValue(const QString &text, qsizetype pos)
{
    if (pos >= text.size() || !isQuote(text.at(pos))) {
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), pos);
        return semicolon < 0 ? text.size() : semicolon;
    }
    const QChar quote = text.at(pos);
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        if (text.at(i) != quote)
            continue;
        if (i + 1 < text.size() && text.at(i + 1) == quote) {
            ++i; // a doubled quote stands for one
            continue;
        }
        return i + 1;
    }
    return text.size();
}

// Every value written after a Password or PWD keyword masked, without regard to case and to
// what stands between the keyword and its "=" (blanks, or bytes of a text read in the wrong
// code page), so that rather too much is masked than too little.
QString maskPasswordKeywords(const QString &text)
{
    static const QRegularExpression keyword(QStringLiteral("(password|pwd)[^;=\"']{0,8}=\\s*"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::UseUnicodePropertiesOption);
    QString masked;
    qsizetype copied = 0;
    for (QRegularExpressionMatch match = keyword.match(text); match.hasMatch();
         match = keyword.match(text, copied)) {
        const qsizetype valueStart = match.capturedEnd();
        masked += QStringView(text).mid(copied, valueStart - copied);
        masked += maskText;
        // A value masked before stays as it is, so that masking a message twice keeps its tail.
        copied = QStringView(text).mid(valueStart).startsWith(maskText)
                     ? valueStart + maskText.size()
                     : endOfValue(text, valueStart);
    }
    masked += QStringView(text).mid(copied);
    return masked;
}

} // namespace

QMap<QString, QString> parseConnectionString(const QString &connectionString)
{
    QMap<QString, QString> keywords;
    ConnectionStringReader(connectionString)
        .readAll(
            [&](const QString &keyword, const QString &value) { keywords.insert(keyword, value); });
    return keywords;
}

QString connectionStringValue(const QString &value)
{
    const bool ordinary = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('=')) &&
                          !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\'')) &&
                          value.trimmed() == value;
    if (ordinary)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QStringList passwordsIn(const QString &connectionString)
{
    QStringList passwords;
    try {
        ConnectionStringReader(connectionString)
            .readAll([&](const QString &keyword, const QString &value) {
                if (isPasswordKeyword(keyword))
                    passwords << value;
            });
    } catch (const DatabaseError &) {
        // A malformed rest: the passwords before it are all the string carries readably.
    }
    return passwords;
}

QString withoutPasswords(const QString &text, const QStringList &passwords)
{
    QString masked = maskPasswordKeywords(text);
    QStringList longestFirst = passwords;
    longestFirst.removeAll(QString());
    std::sort(longestFirst.begin(), longestFirst.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &password : longestFirst)
        masked.replace(password, maskText, Qt::CaseInsensitive);
    return masked;
}

QString withoutPasswords(const QString &text, const ConnectionOptions &options)
{
    return withoutPasswords(
        text, {options.value(QStringLiteral("Password")), options.value(QStringLiteral("PWD"))});
}

} // namespace zarn::dal
