// Seeded random input for the configuration file reader, the connection-string parser and the
// batch arguments, with a configuration that cannot reach any server: nothing may crash, no
// case may run past a bound, and no output may show a password. The inputs carry a known
// password in many positions and forms; the ZARN account's own password is in every
// connection string the connection manager builds.
//
// ZARN_FUZZ_SEED and ZARN_FUZZ_ROUNDS (a multiple of the default count) run other cases.

#include "app/BatchMode.h"
#include "app/GetIniInfo.h"
#include "db/ConnectionManager.h"
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/ConnectionString.h"
#include "support/RecordingUserInterface.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

using namespace zarn;

namespace {

const QString knownPassword = QStringLiteral("Sec9ret");
const QString zarnPassword = QStringLiteral("Vt2Zr");

// The text shown to a person who has to reproduce a failing case: printable, and short.
std::string shown(const QByteArray &bytes)
{
    std::string text;
    for (const char c : bytes.left(4000)) {
        if (c >= 0x20 && c < 0x7f) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text;
}

std::string shown(const QString &text)
{
    return shown(text.toUtf8());
}

// Ends the test program, naming the case, when one case runs longer than the bound: a hang
// would otherwise only show as the test's time-out, without the input that caused it.
class HangWatch
{
public:
    explicit HangWatch(std::chrono::seconds bound) : m_bound(bound)
    {
        m_thread = std::thread([this] { watch(); });
    }
    ~HangWatch()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    HangWatch(const HangWatch &) = delete;
    HangWatch &operator=(const HangWatch &) = delete;

    void begin(const std::string &description)
    {
        std::lock_guard lock(m_mutex);
        m_case = description;
        m_deadline = std::chrono::steady_clock::now() + m_bound;
        m_running = true;
        m_wake.notify_all();
    }
    void end()
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
    }

private:
    void watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (!m_running) {
                m_wake.wait(lock);
                continue;
            }
            if (m_wake.wait_until(lock, m_deadline) == std::cv_status::timeout && m_running &&
                std::chrono::steady_clock::now() >= m_deadline) {
                std::fprintf(stderr, "A case ran longer than %lld s: %s\n",
                             static_cast<long long>(m_bound.count()), m_case.c_str());
                std::fflush(stderr);
                std::_Exit(EXIT_FAILURE);
            }
        }
    }

    const std::chrono::seconds m_bound;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    std::string m_case;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_running = false;
    bool m_stop = false;
};

// The random source of every case, and the pieces the cases are made of.
class Inputs
{
public:
    Inputs(std::uint64_t seed, const QString &folder) : m_random(seed), m_folder(folder) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T> const T &oneOf(const std::vector<T> &items)
    {
        return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))];
    }

    // Blanks of several kinds, or none.
    QString blanks()
    {
        static const std::vector<QString> kinds = {QString(),
                                                   QStringLiteral(" "),
                                                   QStringLiteral("  "),
                                                   QStringLiteral("\t"),
                                                   QString(QChar(0x00a0)),
                                                   QString(QChar(0x3000)),
                                                   QStringLiteral(" \t ")};
        return chance(60) ? QString() : oneOf(kinds);
    }

    // Letters of mixed case.
    QString oddCase(const QString &word)
    {
        QString mixed = word;
        for (QChar &c : mixed)
            if (chance(50))
                c = c.isUpper() ? c.toLower() : c.toUpper();
        return mixed;
    }

    // A text of characters that connection strings and configuration files treat specially,
    // control characters, NUL and non-ASCII letters; no digits, so that no text names a port.
    QString junk(int maxLength)
    {
        static const QString alphabet = QStringLiteral("abXYZ _-;;==\"\"''\t\r\n.:/\\{}[]@#*") +
                                        QChar(0) + QChar(0x00e9) + QChar(0x00a0) + QChar(0x4e2d) +
                                        QChar(0x2028) + QChar(0xfeff);
        const int length = below(maxLength + 1);
        QString text;
        for (int i = 0; i < length; ++i)
            text += alphabet.at(below(static_cast<int>(alphabet.size())));
        return text;
    }

    // The known password as the value of a Password or PWD keyword, in one of many forms.
    QString passwordPart()
    {
        const QString keyword =
            blanks() + oddCase(chance(70) ? QStringLiteral("password") : QStringLiteral("pwd")) +
            blanks() + QLatin1Char('=') + blanks();
        switch (below(8)) {
        case 0:
            return keyword + knownPassword;
        case 1:
            return keyword + QLatin1Char('"') + knownPassword + QLatin1Char('"') + blanks();
        case 2:
            return keyword + QLatin1Char('\'') + knownPassword + QLatin1Char('\'');
        case 3: // a quote that is never closed swallows the rest of the string
            return keyword + QLatin1Char('"') + knownPassword + junk(12);
        case 4:
            return keyword + knownPassword + QChar(0) + junk(4).remove(QLatin1Char(';'));
        case 5:
            return keyword + knownPassword + QChar(0x00e4) + blanks();
        case 6: // inside the quoted value of another keyword
            return oddCase(QStringLiteral("provider")) + QStringLiteral("=\"x;") + keyword +
                   knownPassword + QStringLiteral(";y\"");
        default:
            return keyword + QLatin1Char('\'') + knownPassword + QStringLiteral("''s'");
        }
    }

    // A data source that reaches nothing: a file or folder that does not exist, a loopback
    // port where no server listens, or an ODBC data source that is not defined.
    QString deadDataSource()
    {
        static const std::vector<QString> remote = {
            QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1/vantrel"),
            QStringLiteral("[::1]:1"), QStringLiteral("localhost:1"),
            QStringLiteral("NoSuchOdbcSource")};
        if (chance(40))
            return m_folder + QStringLiteral("/missing/") + junk(6).remove(QChar(0));
        return oneOf(remote);
    }

    QString provider()
    {
        static const std::vector<QString> names = {
            QStringLiteral("SQLite"),     QStringLiteral("PostgreSQL"), QStringLiteral("MSDASQL"),
            QStringLiteral("ODBC"),       QStringLiteral("Nonesuch"),   QStringLiteral("\"SQLite"),
            QStringLiteral("'PostgreSQL")};
        return blanks() + oddCase(oneOf(names)) + blanks();
    }

    // A connection string of known keywords, password parts, repeated keys and junk.
    QString connectionString()
    {
        QStringList parts;
        const int count = 1 + below(8);
        for (int i = 0; i < count; ++i) {
            switch (below(7)) {
            case 0:
                parts << oddCase(QStringLiteral("Provider")) + blanks() + QLatin1Char('=') +
                             provider();
                break;
            case 1:
                parts << oddCase(QStringLiteral("Data Source")) + QLatin1Char('=') +
                             dal::connectionStringValue(deadDataSource());
                break;
            case 2:
                parts << oddCase(chance(50) ? QStringLiteral("Initial Catalog")
                                            : QStringLiteral("User ID")) +
                             QLatin1Char('=') + junk(10);
                break;
            case 3:
            case 4:
                parts << passwordPart();
                break;
            case 5:
                parts << junk(16);
                break;
            default:
                parts << QString();
                break;
            }
        }
        return parts.join(chance(90) ? QStringLiteral(";") : QStringLiteral(";;"));
    }

    // A configuration file: its settings in random order, case and blanks, with junk lines,
    // numbers out of range, bytes that are not UTF-8 and every kind of line end.
    QByteArray iniFile()
    {
        QByteArray bytes;
        // Most files name a usable server first, so that the later lines reach the connections.
        if (chance(70))
            bytes += "PELKZARN_CONNECTION_DBTYPE=" + QByteArray::number(1 + below(2)) +
                     "\r\nPELKZARN_CONNECTION_PROVIDER=" + provider().toUtf8() +
                     "\r\nPELKZARN_CONNECTION_DATASOURCE=" + deadDataSource().toUtf8() + "\r\n";
        const int lines = below(12);
        for (int i = 0; i < lines; ++i) {
            bytes += iniLine();
            static const std::vector<QByteArray> ends = {"\r\n", "\r", "\n", "\r\n", "\r\n"};
            bytes += oneOf(ends);
        }
        return bytes;
    }

    // A facility file name as the root catalog might hold it.
    QString facilityFileName()
    {
        switch (below(4)) {
        case 0:
            return QStringLiteral("NORTHPLANT");
        case 1:
            return QStringLiteral("NORTHPLANT;") + passwordPart();
        case 2:
            return QStringLiteral("SOUTHPLANT;Data Source=127.0.0.1:1");
        default:
            return junk(20);
        }
    }

    // Batch arguments: the options in any order and number, with values and junk.
    QStringList batchArguments()
    {
        static const std::vector<QString> options = {
            QStringLiteral("--batch"),    QStringLiteral("--list"),      QStringLiteral("--site"),
            QStringLiteral("--facility"), QStringLiteral("--config"),    QStringLiteral("--start"),
            QStringLiteral("--end"),      QStringLiteral("--variables"), QStringLiteral("--data"),
            QStringLiteral("--help"),     QStringLiteral("--"),          QStringLiteral("-"),
            QStringLiteral("--BATCH"),    QStringLiteral("--site=17")};
        static const std::vector<QString> values = {QStringLiteral("17"),
                                                    QStringLiteral("NORTHPLANT"),
                                                    QStringLiteral("2024-03-05"),
                                                    QStringLiteral("2024-03-05 10:15:30"),
                                                    QStringLiteral("9999-12-31 23:59:59.9999"),
                                                    QStringLiteral("0000-00-00"),
                                                    QString()};
        QStringList arguments;
        const int count = below(9);
        for (int i = 0; i < count; ++i) {
            const int kind = below(10);
            if (kind < 6)
                arguments << oneOf(options);
            else if (kind < 9)
                arguments << oneOf(values);
            else
                arguments << junk(10);
        }
        return arguments;
    }

private:
    QByteArray iniLine()
    {
        static const std::vector<QString> keys = {
            QStringLiteral("PELKZARN_CONNECTION_DBTYPE"),
            QStringLiteral("PELKZARN_CONNECTION_PROVIDER"),
            QStringLiteral("PELKZARN_CONNECTION_DATASOURCE"),
            QStringLiteral("PELKZARN_CONNECTION_TIMEOUT"),
            QStringLiteral("PELKZARN_CONNECTION_COMMAND_TIMEOUT"),
            QStringLiteral("PELKZARN_CONNECTION_CUSTOMIZATION"),
            QStringLiteral("VT_CONN_STRING"),
            QStringLiteral("MAILFROM")};
        switch (below(10)) {
        case 0: // a line without "=", or junk
            return junk(40).remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).toUtf8();
        case 1: { // bytes that are not UTF-8
            QByteArray bytes("VT_CONN_STRING=Provider=SQLite;Password=");
            bytes += knownPassword.toUtf8();
            bytes += chance(50) ? "\xff\xfe" : "\xc3";
            bytes += chance(50) ? QByteArray(1, '\0') : QByteArray("\xe9t\xe9");
            return bytes;
        }
        default:
            break;
        }
        const QString key = oneOf(keys);
        QString line = blanks().remove(QChar(0x3000)) + oddCase(key) + blanks() + QLatin1Char('=');
        if (key.endsWith(QLatin1String("DBTYPE")) || key.endsWith(QLatin1String("TIMEOUT")))
            line += number();
        else if (key.endsWith(QLatin1String("PROVIDER")))
            line += chance(80) ? provider() : provider() + QLatin1Char(';') + passwordPart();
        else if (key.endsWith(QLatin1String("DATASOURCE")))
            line += chance(80) ? deadDataSource()
                               : deadDataSource() + QLatin1Char(';') + passwordPart();
        else
            line += connectionString();
        return line.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).toUtf8();
    }

    QString number()
    {
        static const std::vector<QString> numbers = {
            QStringLiteral("1"),         QStringLiteral("2"),   QStringLiteral(" 2 "),
            QStringLiteral("2.5"),       QStringLiteral("-1"),  QStringLiteral("abc"),
            QStringLiteral("40000"),     QStringLiteral("1e3"), QStringLiteral("-2147483648"),
            QStringLiteral("0x10"),      QStringLiteral(""),    QStringLiteral("1,5"),
            QStringLiteral("3000000000")};
        if (chance(5))
            return QString(below(400) + 1, QLatin1Char('9'));
        return oneOf(numbers);
    }

    std::mt19937_64 m_random;
    QString m_folder;
};

// Every text a case showed: messages, details, the errors of the connections it opened, the
// batch mode's output.
class Shown
{
public:
    void add(const QString &text) { m_texts << text; }
    void add(const test::RecordingUserInterface &ui)
    {
        for (const Message &message : ui.messages)
            m_texts << message.text << message.title;
        for (const QString &detail : ui.details)
            m_texts << detail;
    }
    // The first text that holds a password, if any.
    std::optional<QString> leak() const
    {
        for (const QString &text : m_texts)
            if (text.contains(knownPassword, Qt::CaseInsensitive) ||
                text.contains(zarnPassword, Qt::CaseInsensitive))
                return text;
        return std::nullopt;
    }

private:
    QStringList m_texts;
};

// Opens the connection and notes what its failure said.
void tryOpening(dal::Connection &connection, Shown &shownTexts)
{
    connection.setConnectionTimeout(2);
    try {
        connection.Open();
    } catch (const Error &error) {
        shownTexts.add(error.description());
    }
    connection.Close();
}

class InputFuzz : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // No server may be reached by a name the cases make up: the PostgreSQL client's
        // defaults point at a loopback port where nothing listens, and ODBC defines no data
        // source. Relative paths fall into an empty folder.
        qputenv("PGPORT", "1");
        qunsetenv("PGHOST");
        qunsetenv("PGHOSTADDR");
        qunsetenv("PGSERVICE");
        s_folder = new QTemporaryDir;
        for (const char *name : {"odbc.ini", "odbcinst.ini"}) {
            QFile empty(s_folder->filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
        }
        qputenv("ODBCINI", s_folder->filePath("odbc.ini").toUtf8());
        qputenv("ODBCSYSINI", s_folder->path().toUtf8());
        QDir(s_folder->path()).mkdir("work");
        QDir::setCurrent(s_folder->filePath("work"));
    }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }

    static std::uint64_t seed()
    {
        bool ok = false;
        const qulonglong given = qEnvironmentVariable("ZARN_FUZZ_SEED").toULongLong(&ok);
        return ok ? given : 20240305;
    }
    // The number of cases: the default count times ZARN_FUZZ_ROUNDS.
    static int cases(int defaultCount)
    {
        bool ok = false;
        const int rounds = qEnvironmentVariable("ZARN_FUZZ_ROUNDS").toInt(&ok);
        return defaultCount * (ok && rounds > 0 ? rounds : 1);
    }

    QString writeIni(const QByteArray &bytes)
    {
        const QString path = s_folder->filePath("fuzz.ini");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    static QTemporaryDir *s_folder;
    Inputs inputs{seed(), s_folder->path()};
    HangWatch watch{std::chrono::seconds(30)};
};

QTemporaryDir *InputFuzz::s_folder = nullptr;

} // namespace

// The parser reads or refuses any text; what it reads gives the passwords that the masking
// knows, and a refusal names no password.
TEST_F(InputFuzz, ConnectionStrings)
{
    for (int i = 0; i < cases(3000); ++i) {
        const QString text =
            inputs.chance(70) ? inputs.connectionString() : inputs.junk(60) + inputs.passwordPart();
        watch.begin("connection string " + shown(text));
        try {
            const auto keywords = dal::parseConnectionString(text);
            const QStringList passwords = dal::passwordsIn(text);
            for (const char *keyword : {"password", "pwd"}) {
                if (keywords.contains(keyword)) {
                    ASSERT_TRUE(passwords.contains(keywords.value(keyword))) << shown(text);
                }
            }
        } catch (const DatabaseError &error) {
            ASSERT_FALSE(error.description().contains(knownPassword, Qt::CaseInsensitive))
                << shown(text) << "\n  " << shown(error.description());
        }
        watch.end();
    }
}

// Opening a connection on such a string fails, whichever provider it names, without showing
// the password.
TEST_F(InputFuzz, OpeningConnections)
{
    for (int i = 0; i < cases(300); ++i) {
        const QString text = inputs.connectionString();
        watch.begin("opening " + shown(text));
        Shown shownTexts;
        dal::Connection connection;
        connection.setConnectionString(text);
        tryOpening(connection, shownTexts);
        watch.end();
        const auto leak = shownTexts.leak();
        ASSERT_FALSE(leak) << shown(text) << "\n  " << shown(*leak);
    }
}

// A configuration file read and its connections opened as start-up and an import run open
// them: the root catalog, the source and a facility.
TEST_F(InputFuzz, ConfigurationFiles)
{
    int accepted = 0;
    for (int i = 0; i < cases(400); ++i) {
        const QByteArray ini = inputs.iniFile();
        const QString facility = inputs.facilityFileName();
        watch.begin("configuration file " + shown(ini) + " facility " + shown(facility));
        Shown shownTexts;
        test::RecordingUserInterface ui;
        ConnectionManager manager;
        if (GetIniInfo(manager, ui, writeIni(ini))) {
            ++accepted;
            dal::Connection root, source, facilityConnection;
            manager.ConfigCnn4TAVROOT(root);
            tryOpening(root, shownTexts);
            manager.ConfigCnn4VT(source);
            tryOpening(source, shownTexts);
            manager.ConfigCnn4FACILITY(facilityConnection, facility);
            tryOpening(facilityConnection, shownTexts);
        }
        watch.end();
        shownTexts.add(ui);
        const auto leak = shownTexts.leak();
        ASSERT_FALSE(leak) << shown(ini) << "\n  " << shown(*leak);
    }
    // The cases reach the connections, not only the reader's refusals.
    EXPECT_GT(accepted, cases(400) / 10);
}

// Batch calls: any arguments are read or refused, and a call with such a configuration file
// ends with its status and no password on either stream.
TEST_F(InputFuzz, BatchCalls)
{
    for (int i = 0; i < cases(600); ++i) {
        const QStringList arguments = inputs.batchArguments();
        watch.begin("arguments " + shown(arguments.join(QLatin1Char(' '))));
        const auto parsed = parseBatchArguments(arguments);
        if (const QString *problem = std::get_if<QString>(&parsed)) {
            ASSERT_FALSE(problem->isEmpty());
        }
        watch.end();
    }
    for (int i = 0; i < cases(300); ++i) {
        const QByteArray ini = inputs.iniFile();
        QStringList arguments = {QStringLiteral("--batch"), QStringLiteral("--config"),
                                 writeIni(ini)};
        if (inputs.chance(50))
            arguments << QStringLiteral("--list");
        else
            arguments << QStringLiteral("--site") << QStringLiteral("17")
                      << QStringLiteral("--facility") << inputs.facilityFileName()
                      << QStringLiteral("--variables");
        if (inputs.chance(20))
            arguments += inputs.batchArguments();
        watch.begin("batch call on " + shown(ini) + " with " +
                    shown(arguments.mid(3).join(QLatin1Char(' '))));
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        const int status = runBatchMode(arguments, out, err);
        watch.end();
        ASSERT_TRUE(status == exitStatus::Success || status == exitStatus::Failure ||
                    status == exitStatus::BadArguments)
            << status;
        // A configuration that reaches no server never lists or imports anything.
        if (!arguments.contains(QStringLiteral("--help"))) {
            ASSERT_NE(status, exitStatus::Success) << shown(outText);
        }
        Shown shownTexts;
        shownTexts.add(outText);
        shownTexts.add(errText);
        const auto leak = shownTexts.leak();
        ASSERT_FALSE(leak) << shown(ini) << "\n  " << shown(*leak);
    }
}
