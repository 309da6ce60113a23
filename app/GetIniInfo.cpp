#include "app/GetIniInfo.h"

#include "app/IniFile.h"
#include "db/ConnectionManager.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/UserInterface.h"
#include "platform/Value.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <cstdlib>
#include <limits>

namespace zarn {

namespace {

// The settings as the file gives them, with the defaults of a file that names none.
struct IniSettings
{
    std::int16_t dbType = 0;
    QString provider;
    QString dataSource;
    std::int32_t connectionTimeout = 15;
    std::int32_t commandTimeout = 30;
    QString customization;
    QString sourceConnString;
};

// The file is read as UTF-8; a file that is not valid UTF-8 was written in the workstation's
// code page and is read as Windows-1252, so that "€" or "–" in a password stays what was typed.
// A byte-order mark is not part of the first key.
QString decodeFile(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text.startsWith(QChar::ByteOrderMark) ? text.mid(1) : text;
    return fromWindows1252(bytes);
}

// A line ends at a carriage return, with or without a line feed after it, or at a line feed.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

// A time-out: the number rounded half to even as a 32-bit integer, then without its sign.
// Throws Overflow when either step leaves the 32-bit range.
std::int32_t timeoutSeconds(const Value &number)
{
    const std::int32_t seconds = number.toInt32();
    if (seconds == std::numeric_limits<std::int32_t>::min())
        throw overflow();
    return std::abs(seconds);
}

// Stores one key's value. Keys the shared configuration file holds for other programs of the
// system (MAILFROM, ALLOWMULTIRUN, PDFINIPATH and the like) are skipped like unknown keys. A
// number that is not numeric leaves the earlier value; one out of range throws Overflow.
void applySetting(IniSettings &settings, const QString &key, const QString &value)
{
    const Value number(value);
    if (key == QLatin1String("PELKZARN_CONNECTION_DBTYPE")) {
        if (number.isNumeric())
            settings.dbType = number.toInt16();
    } else if (key == QLatin1String("PELKZARN_CONNECTION_TIMEOUT")) {
        if (number.isNumeric())
            settings.connectionTimeout = timeoutSeconds(number);
    } else if (key == QLatin1String("PELKZARN_CONNECTION_COMMAND_TIMEOUT")) {
        if (number.isNumeric())
            settings.commandTimeout = timeoutSeconds(number);
    } else if (key == QLatin1String("PELKZARN_CONNECTION_PROVIDER")) {
        settings.provider = value;
    } else if (key == QLatin1String("PELKZARN_CONNECTION_DATASOURCE")) {
        settings.dataSource = value;
    } else if (key == QLatin1String("PELKZARN_CONNECTION_CUSTOMIZATION")) {
        settings.customization = value;
    } else if (key == QLatin1String("VT_CONN_STRING")) {
        settings.sourceConnString = value;
    }
}

// Each line is key "=" value: the key trimmed of spaces and upper-cased, the value as it
// stands after the first "=". Lines without "=" are skipped; the last line of a key wins.
IniSettings parseSettings(const QString &text)
{
    IniSettings settings;
    for (const QString &line : splitLines(text)) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = trimSpaces(line.left(equals)).toUpper();
        try {
            applySetting(settings, key, line.mid(equals + 1));
        } catch (const Error &error) {
            throw Error(error.number(), QStringLiteral("%1: %2").arg(key, error.description()));
        }
    }
    return settings;
}

// A configuration file is a few lines; anything far larger is not one, and reading it would
// cost without limit.
constexpr qint64 maxFileBytes = 1024 * 1024;
constexpr qsizetype maxLineBytes = 64 * 1024;

Error unreadable(const QString &why)
{
    return Error(errc::InvalidProcedureCall, why);
}

// Carriage returns and line feeds are single bytes in UTF-8 and in the code page alike, so the
// lines can be measured before the text is decoded; they end as splitLines ends them.
void checkLineLengths(const QByteArray &bytes)
{
    qsizetype lineStart = 0;
    int lineNumber = 1;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes.at(i) != '\r' && bytes.at(i) != '\n')
            continue;
        if (i - lineStart > maxLineBytes)
            throw unreadable(QStringLiteral("line %1 is longer than 64 KB").arg(lineNumber));
        if (i + 1 < bytes.size() && bytes.at(i) == '\r' && bytes.at(i + 1) == '\n')
            ++i;
        lineStart = i + 1;
        ++lineNumber;
    }
}

// Only a regular file is read: a device such as /dev/zero never ends, and a named pipe would
// wait for a writer for ever.
QByteArray readFileBytes(const QString &iniPath)
{
    const QFileInfo info(iniPath);
    if (info.exists() && !info.isFile())
        throw unreadable(QStringLiteral("it is not a regular file"));
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        throw unreadable(file.errorString());
    // Reading one byte more than allowed tells a larger file without reading all of it.
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw unreadable(file.errorString());
    if (bytes.size() > maxFileBytes)
        throw unreadable(QStringLiteral("it is larger than 1 MB"));
    return bytes;
}

// Throws zarn::Error when the file cannot be read, is too large for a configuration file, or
// a number in it is out of range.
IniSettings readSettings(const QString &iniPath)
{
    const QByteArray bytes = readFileBytes(iniPath);
    checkLineLengths(bytes);
    return parseSettings(decodeFile(bytes));
}

// After the file's path: where the program looked for a file that it found nowhere, and what to
// do about it.
QString lookedInNote(const QStringList &folders)
{
    QString note = QStringLiteral("\r\n\r\nNo ZARN_Vantrel_DB_importer.ini was found. The program "
                                  "looked in:");
    for (const QString &folder : folders)
        note += QStringLiteral("\r\n    ") + shownPath(folder);
    return note + QStringLiteral("\r\nWrite one into any of these folders (the README's "
                                 "\"Configuration\" tells how), or name one with --config INI.");
}

Message loadOrParseMessage(const IniFile &ini)
{
    Message message;
    message.text = QStringLiteral("Program was unable to load or parse ") + shownPath(ini.path);
    if (!ini.foldersLookedIn.isEmpty())
        message.text += lookedInNote(ini.foldersLookedIn);
    message.icon = MessageIcon::Exclamation;
    message.buttons = MessageButtons::Ok;
    return message;
}

Message invalidSettingsMessage()
{
    Message message;
    message.text = QStringLiteral("ZARN_Vantrel_DB_importer.ini does not contain (or contains "
                                  "invalid) database connection string.");
    message.icon = MessageIcon::Exclamation;
    message.buttons = MessageButtons::OkHelp;
    message.title = QStringLiteral("Invalid or Missing connection parameters to Pelk ZARN Server");
    message.helpContext = 10483;
    return message;
}

} // namespace

bool GetIniInfo(ConnectionManager &manager, UserInterface &ui, const IniFile &ini)
{
    IniSettings settings;
    try {
        settings = readSettings(ini.path);
    } catch (const Error &error) {
        ui.showMessage(loadOrParseMessage(ini));
        ui.reportDetail(shownPath(ini.path) + QStringLiteral(": ") + error.description());
        return false;
    }
    if (!manager.Init(settings.dbType, settings.provider, settings.dataSource,
                      settings.sourceConnString, settings.customization, false,
                      settings.connectionTimeout, settings.commandTimeout)) {
        ui.showMessage(invalidSettingsMessage());
        return false;
    }
    return true;
}

} // namespace zarn
