#include "app/GetIniInfo.h"
#include "db/ConnectionManager.h"
#include "platform/dal/Connection.h"
#include "support/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using zarn::ConnectionManager;
using zarn::Message;
using zarn::MessageButtons;
using zarn::MessageIcon;

namespace {

const QByteArray usable = "PELKZARN_CONNECTION_DBTYPE=2\r\n"
                          "PELKZARN_CONNECTION_PROVIDER=SQLite\r\n"
                          "PELKZARN_CONNECTION_DATASOURCE=/srv/zarn\r\n";

class GetIniInfoTest : public ::testing::Test
{
protected:
    QString iniPath() const { return dir.filePath("ZARN_Vantrel_DB_importer.ini"); }

    // Writes the file and reads it as start-up does.
    bool run(const QByteArray &contents)
    {
        QFile file(iniPath());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        return zarn::GetIniInfo(manager, ui, iniPath());
    }

    QString sourceConnString()
    {
        zarn::dal::Connection source;
        manager.ConfigCnn4VT(source);
        return source.connectionString();
    }

    Message loadOrParse() const
    {
        Message m;
        m.text = "Program was unable to load or parse " + iniPath();
        m.icon = MessageIcon::Exclamation;
        m.buttons = MessageButtons::Ok;
        return m;
    }

    static Message invalidSettings()
    {
        Message m;
        m.text = "ZARN_Vantrel_DB_importer.ini does not contain (or contains invalid) database "
                 "connection string.";
        m.icon = MessageIcon::Exclamation;
        m.buttons = MessageButtons::OkHelp;
        m.title = "Invalid or Missing connection parameters to Pelk ZARN Server";
        m.helpContext = 10483;
        return m;
    }

    QTemporaryDir dir;
    ConnectionManager manager;
    zarn::test::RecordingUserInterface ui;
};

} // namespace

TEST_F(GetIniInfoTest, ACompleteFileReachesTheManager)
{
    ASSERT_TRUE(run(usable + "PELKZARN_CONNECTION_TIMEOUT=5\r\n"
                             "PELKZARN_CONNECTION_COMMAND_TIMEOUT=60\r\n"
                             "PELKZARN_CONNECTION_CUSTOMIZATION=Extra=1\r\n"
                             "VT_CONN_STRING=Provider=SQLite;Data Source=/srv/vt.db\r\n"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(manager.DB_TYPE(), 2);
    EXPECT_EQ(manager.DB_PROVIDER(), "SQLite");
    EXPECT_EQ(manager.DB_DATASOURCE(), "/srv/zarn");
    EXPECT_EQ(manager.DB_CUSTOMIZATION(), "Extra=1");
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 5);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 60);
    EXPECT_EQ(sourceConnString(), "Provider=SQLite;Data Source=/srv/vt.db");
    EXPECT_TRUE(manager.BuildConnectionString("TAVROOT").contains("Persist Security Info=False;"));
}

TEST_F(GetIniInfoTest, DefaultsAndMissingSourceStringPass)
{
    ASSERT_TRUE(run(usable));
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 15);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 30);
    EXPECT_EQ(sourceConnString(), "");
    EXPECT_EQ(manager.DB_CUSTOMIZATION(), "");
}

TEST_F(GetIniInfoTest, KeysIgnoreCaseAndSpacesButValuesStayAsWritten)
{
    ASSERT_TRUE(run("  pelkzarn_connection_dbtype   = 1\n"
                    "Pelkzarn_Connection_Provider= P \n"
                    "PELKZARN_CONNECTION_DATASOURCE=S\n"
                    "vt_conn_string = Provider=SQLite;Data Source=a=b.db;X=\n"));
    EXPECT_EQ(manager.DB_TYPE(), 1);
    EXPECT_EQ(manager.DB_PROVIDER(), "P");
    EXPECT_EQ(sourceConnString(), " Provider=SQLite;Data Source=a=b.db;X=");
}

TEST_F(GetIniInfoTest, TabsAroundAKeyAreKept)
{
    EXPECT_FALSE(run("\tPELKZARN_CONNECTION_DBTYPE=2\n"
                     "PELKZARN_CONNECTION_PROVIDER=P\nPELKZARN_CONNECTION_DATASOURCE=S\n"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], invalidSettings());
}

TEST_F(GetIniInfoTest, EveryLineEndIsALineEnd)
{
    ASSERT_TRUE(run("PELKZARN_CONNECTION_DBTYPE=2\r"
                    "PELKZARN_CONNECTION_PROVIDER=P\n"
                    "PELKZARN_CONNECTION_DATASOURCE=S\r\n"
                    "\r\r\n\n"
                    "VT_CONN_STRING=last line without an end"));
    EXPECT_EQ(manager.DB_PROVIDER(), "P");
    EXPECT_EQ(manager.DB_DATASOURCE(), "S");
    EXPECT_EQ(sourceConnString(), "last line without an end");
}

TEST_F(GetIniInfoTest, LastLineWinsAndJunkIsSkipped)
{
    ASSERT_TRUE(run("[Settings]\r\n; a remark\r\nUNKNOWN=1\r\nMAIL FROM=x@y\r\n" + usable +
                    "PELKZARN_CONNECTION_PROVIDER=Second\r\n"
                    "PELKZARN_CONNECTION_TIMEOUT=9\r\n"
                    "PELKZARN_CONNECTION_TIMEOUT=soon\r\n"));
    EXPECT_EQ(manager.DB_PROVIDER(), "Second");
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 9); // a non-numeric value keeps the earlier one
}

TEST_F(GetIniInfoTest, TimeOutsRoundHalfToEvenAndLoseTheirSign)
{
    ASSERT_TRUE(run(usable + "PELKZARN_CONNECTION_TIMEOUT= -20 \r\n"
                             "PELKZARN_CONNECTION_COMMAND_TIMEOUT=7.5\r\n"));
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 20);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 8);

    ASSERT_TRUE(run(usable + "PELKZARN_CONNECTION_TIMEOUT=abc\r\n"
                             "PELKZARN_CONNECTION_COMMAND_TIMEOUT=6.5\r\n"));
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 15);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 6);
}

TEST_F(GetIniInfoTest, DatabaseTypeRoundsHalfToEven)
{
    ASSERT_TRUE(run("PELKZARN_CONNECTION_DBTYPE=2.5\nPELKZARN_CONNECTION_PROVIDER=P\n"
                    "PELKZARN_CONNECTION_DATASOURCE=S\n"));
    EXPECT_EQ(manager.DB_TYPE(), 2);
}

TEST_F(GetIniInfoTest, NumbersOutOfRangeCannotBeParsed)
{
    for (const QByteArray &line : {QByteArray("PELKZARN_CONNECTION_DBTYPE=40000"),
                                   QByteArray("PELKZARN_CONNECTION_DBTYPE=-32768.6"),
                                   QByteArray("PELKZARN_CONNECTION_TIMEOUT=2147483648"),
                                   QByteArray("PELKZARN_CONNECTION_TIMEOUT=-2147483648"),
                                   QByteArray("PELKZARN_CONNECTION_COMMAND_TIMEOUT=1e12")}) {
        ui.messages.clear();
        EXPECT_FALSE(run(usable + line + "\r\n")) << line.constData();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], loadOrParse());
    }
    EXPECT_TRUE(run(usable + "PELKZARN_CONNECTION_TIMEOUT=-2147483647\r\n"));
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 2147483647);
}

TEST_F(GetIniInfoTest, SettingsTheManagerRefusesEndTheProgram)
{
    for (const QByteArray &contents :
         {QByteArray(), QByteArray("nothing useful\r\n[Section]\r\n"),
          QByteArray("PELKZARN_CONNECTION_DBTYPE=3\nPELKZARN_CONNECTION_PROVIDER=P\n"
                     "PELKZARN_CONNECTION_DATASOURCE=S\n"),
          QByteArray("PELKZARN_CONNECTION_DBTYPE=1\nPELKZARN_CONNECTION_PROVIDER=P\n"
                     "PELKZARN_CONNECTION_DATASOURCE=   \n")}) {
        ui.messages.clear();
        EXPECT_FALSE(run(contents)) << contents.constData();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], invalidSettings());
    }
}

TEST_F(GetIniInfoTest, AMissingFileCannotBeLoaded)
{
    EXPECT_FALSE(zarn::GetIniInfo(manager, ui, iniPath()));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], loadOrParse());
    EXPECT_EQ(manager.DB_PROVIDER(), "");
}

TEST_F(GetIniInfoTest, AFolderInPlaceOfTheFileCannotBeLoaded)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("ZARN_Vantrel_DB_importer.ini"));
    EXPECT_FALSE(zarn::GetIniInfo(manager, ui, iniPath()));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], loadOrParse());
}

TEST_F(GetIniInfoTest, TextEncodings)
{
    // A byte-order mark does not spoil the first key.
    ASSERT_TRUE(run("\xEF\xBB\xBF" + usable + "VT_CONN_STRING=Data Source=M\xC3\xBChle.db\r\n"));
    EXPECT_EQ(sourceConnString(), QString::fromUtf8("Data Source=Mühle.db"));
    // UTF-8 keeps characters that the workstation's code page has as well.
    ASSERT_TRUE(run(usable + "VT_CONN_STRING=Password=\xE2\x82\xAC\xE2\x80\x93x\r\n"));
    EXPECT_EQ(sourceConnString(), QString::fromUtf8("Password=€–x"));
}

// A file that is not UTF-8 was written in the workstation's code page, Windows-1252: its
// characters in 0x80..0x9F are not Latin-1's control characters.
TEST_F(GetIniInfoTest, AFileInTheWorkstationsCodePage)
{
    ASSERT_TRUE(run(usable +
                    "VT_CONN_STRING=Provider=PostgreSQL;Data Source=M\xFChle;"
                    "Password=\x80uro\x96"
                    "dash\x93q\x94\x8A\x9F\xFF\r\n"
                    "PELKZARN_CONNECTION_CUSTOMIZATION=Application Name=Sch\xE4\x81\x9Cn\r\n"));
    EXPECT_EQ(sourceConnString(),
              QString::fromUtf8("Provider=PostgreSQL;Data Source=Mühle;Password=€uro–dash“q”ŠŸÿ"));
    // A byte the code page leaves unused stays as the control character it is in Latin-1.
    EXPECT_EQ(manager.DB_CUSTOMIZATION(), QString::fromUtf8("Application Name=Schä\u0081œn"));
}

// A configuration file is small; one far larger is refused before it is parsed, and so is a
// line that no setting needs, each with the load-or-parse message and, for whoever looks for
// the cause, a detail that says which limit.
TEST_F(GetIniInfoTest, AFileOrALineTooLargeIsRefused)
{
    constexpr int kilobyte = 1024;
    const QByteArray longestLine =
        "VT_CONN_STRING=" + QByteArray(64 * kilobyte - int(std::strlen("VT_CONN_STRING=")), 'x');
    ASSERT_TRUE(run(usable + longestLine + "\r\n"));
    EXPECT_EQ(sourceConnString().size(), 64 * kilobyte - int(std::strlen("VT_CONN_STRING=")));

    for (const QByteArray &line : {longestLine + "x", longestLine + "x\r\n"}) {
        ui.messages.clear();
        ui.details.clear();
        EXPECT_FALSE(run(usable + line));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], loadOrParse());
        ASSERT_EQ(ui.details.size(), 1u);
        EXPECT_EQ(ui.details[0], iniPath() + ": line 4 is longer than 64 KB");
    }

    // Exactly 1 MB of short lines is a file; one byte more is not.
    QByteArray megabyte = usable;
    while (megabyte.size() < 1024 * kilobyte)
        megabyte += "; a remark\r\n";
    megabyte.truncate(1024 * kilobyte);
    ASSERT_TRUE(run(megabyte));
    ui.details.clear();
    EXPECT_FALSE(run(megabyte + "\n"));
    EXPECT_EQ(ui.messages.back(), loadOrParse());
    ASSERT_EQ(ui.details.size(), 1u);
    EXPECT_EQ(ui.details[0], iniPath() + ": it is larger than 1 MB");
}

// Only a regular file is read: a device would be read without end, a named pipe would wait
// for a writer for ever.
TEST_F(GetIniInfoTest, OnlyARegularFileIsRead)
{
#ifdef Q_OS_UNIX
    for (const QString &device : {QStringLiteral("/dev/zero"), QStringLiteral("/dev/null")}) {
        ui.messages.clear();
        EXPECT_FALSE(zarn::GetIniInfo(manager, ui, device));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Program was unable to load or parse " + device);
    }
    const QByteArray fifo = QFile::encodeName(iniPath());
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ui.messages.clear();
    EXPECT_FALSE(zarn::GetIniInfo(manager, ui, iniPath()));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], loadOrParse());
    EXPECT_EQ(ui.details.back(), iniPath() + ": it is not a regular file");
#else
    GTEST_SKIP() << "devices and named pipes are Unix files";
#endif
}

// A link to a regular file is that file.
TEST_F(GetIniInfoTest, ALinkToARegularFileIsRead)
{
    QFile file(dir.filePath("real.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(usable);
    file.close();
    if (!QFile::link(file.fileName(), iniPath()))
        GTEST_SKIP() << "no links here";
    EXPECT_TRUE(zarn::GetIniInfo(manager, ui, iniPath()));
    EXPECT_EQ(manager.DB_PROVIDER(), "SQLite");
}

// The message names the file that was read, wherever it was given and however it was named.
TEST_F(GetIniInfoTest, TheMessageNamesTheFileThatWasRead)
{
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const bool started = zarn::GetIniInfo(manager, ui, QStringLiteral("elsewhere/../missing.ini"));
    QDir::setCurrent(saved);
    EXPECT_FALSE(started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Program was unable to load or parse " +
                                       QDir::toNativeSeparators(dir.filePath("missing.ini")));
    ASSERT_EQ(ui.details.size(), 1u);
    EXPECT_TRUE(ui.details[0].startsWith(QDir::toNativeSeparators(dir.filePath("missing.ini"))));
}

TEST_F(GetIniInfoTest, ANumberOutOfRangeIsNamedInTheDetail)
{
    EXPECT_FALSE(run(usable + "PELKZARN_CONNECTION_TIMEOUT=2147483648\r\n"));
    ASSERT_EQ(ui.details.size(), 1u);
    EXPECT_TRUE(ui.details[0].contains("PELKZARN_CONNECTION_TIMEOUT"))
        << ui.details[0].toStdString();
}

TEST(DefaultIniPath, BesideTheExecutable)
{
    int argc = 1;
    char name[] = "getiniinfo_test";
    char *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    const QString path = zarn::defaultIniPath();
    EXPECT_EQ(path, QCoreApplication::applicationDirPath() + QDir::separator() +
                        "ZARN_Vantrel_DB_importer.ini");
    EXPECT_FALSE(QCoreApplication::applicationDirPath().isEmpty());
}

// Without --config the first folder that holds the file is read. When none does, the Part's
// message about the file beside the executable is followed by every folder looked in.
TEST(IniFolders, TheFirstFolderThatHoldsTheFileWinsAndNoneNamesThemAll)
{
    int argc = 1;
    char name[] = "getiniinfo_test";
    char *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    QTemporaryDir user;
    qputenv("XDG_CONFIG_HOME", user.path().toUtf8());
    const QStringList standard = zarn::iniFolders();
    qunsetenv("XDG_CONFIG_HOME");
    QStringList expected{QCoreApplication::applicationDirPath(),
                         user.filePath("zarn-vantrel-importer")};
#ifdef Q_OS_UNIX
    expected << "/etc/zarn-vantrel-importer";
#endif
    EXPECT_EQ(standard.mid(0, expected.size()), expected);

    const QTemporaryDir beside, users, system;
    const QStringList folders{beside.path(), users.path(), system.path()};
    const struct
    {
        std::vector<int> holding; // the folders that hold a file
        int read;                 // the folder whose file is read; -1: none
    } cases[] = {{{2}, 2}, {{1, 2}, 1}, {{0, 1, 2}, 0}, {{0, 2}, 0}, {{}, -1}};
    for (const auto &c : cases) {
        for (int i = 0; i < 3; ++i) {
            const QString file = folders[i] + "/ZARN_Vantrel_DB_importer.ini";
            QFile::remove(file);
            if (std::find(c.holding.begin(), c.holding.end(), i) != c.holding.end()) {
                QFile f(file);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            }
        }
        const zarn::IniFile found = zarn::firstIniFile(folders);
        if (c.read >= 0) {
            EXPECT_EQ(found.path, folders[c.read] + "/ZARN_Vantrel_DB_importer.ini");
            EXPECT_TRUE(found.foldersLookedIn.isEmpty());
            continue;
        }
        EXPECT_EQ(found.path, zarn::defaultIniPath());
        EXPECT_EQ(found.foldersLookedIn, folders);
        zarn::ConnectionManager manager;
        zarn::test::RecordingUserInterface ui;
        EXPECT_FALSE(zarn::GetIniInfo(manager, ui, found));
        ASSERT_EQ(ui.messages.size(), 1u);
        const QString text = ui.messages[0].text;
        EXPECT_TRUE(text.startsWith("Program was unable to load or parse " +
                                    zarn::shownPath(zarn::defaultIniPath()) + "\r\n"))
            << text.toStdString();
        for (const QString &folder : folders)
            EXPECT_TRUE(text.contains(QDir::toNativeSeparators(folder))) << text.toStdString();
    }
}
