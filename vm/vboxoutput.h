#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Pure readers of the VirtualBox tool's text output and of the host's TCP tables. They take the whole text
// as it came from the program and accept "\r\n" and "\n" line ends alike.
namespace VBoxOutput {

// The text cut at every line break ("\r\n" or "\n"); empty parts are kept, so the part after the final
// line break (usually empty) is the last element.
QStringList splitLines(const QString &text);

// One line of "list vms": the name in double quotes, a blank, the identifier in braces.
struct VmListEntry
{
    QString name;
    QString uuid;
    bool operator==(const VmListEntry &other) const { return name == other.name && uuid == other.uuid; }
};
// Every line of a "list vms" output that has the machine list form, in order; other lines are skipped.
QList<VmListEntry> parseVmList(const QString &text);
// True when every line of a "list vms" output has the machine list form and the text ends with a line
// break (an empty output is complete): nothing was cut off. Destructive decisions rest only on such output.
bool isCompleteVmList(const QString &text);
// True when a key=value listing is whole: not empty, every line has a key, a "=" and a value whose
// opening double quote is closed, and the text ends with a line break.
bool isCompleteMachineInfo(const QString &text);
// The settings file named in the "Settings file: '<path>'" line of a createvm answer; empty when absent.
QString createdSettingsFile(const QString &text);
// The settings file named in createvm's "Machine settings file '<path>' already exists" error; empty when
// the error is another one.
QString existingSettingsFile(const QString &text);
// True when `name` holds an emulator machine name ("Orvanta_" and a number) as a word of its own.
bool isOrvantaVmName(const QString &name);

// "showvminfo <vm> --machinereadable": key=value lines. Port-forward lines ("Forwarding(i)") go to the two
// rule lists instead of the table.
struct MachineInfo
{
    QHash<QString, QString> values;
    QStringList forwardRules;     // each whole rule text
    QStringList forwardRuleNames; // each rule's name (text before its first comma)
};
MachineInfo parseMachineInfo(const QString &text);
// One side of a machine-readable line: surrounding blanks dropped; a text wrapped in double quotes is
// unwrapped and its \" and \\ escapes are undone, any other stray double quote is dropped.
QString unquoteMachineReadable(const QString &text);

// "list hostinfo": "Key: value" lines. The text after the final line break is not read (the tool always
// ends its listing with one); a value is cut at its own first colon; "Memory size" keeps only the number.
QHash<QString, QString> parseHostInfo(const QString &text);

// "guestproperty enumerate <vm>". Both forms the tool prints are read: the field form
// "Name: <name>, value: <value>, timestamp: ..., flags: ..." and the aligned form
// "<name> = '<value>' @ <time> <flags>".
QHash<QString, QString> parseGuestProperties(const QString &text);

// "getextradata <vm> enumerate": "Key: <key>, Value: <value>" lines.
QHash<QString, QString> parseExtraData(const QString &text);

// One medium of "list hdds": its file and the names of the machines that use it ("In use by VMs:", one
// per line, each "<name> (UUID: <uuid>)" with any snapshot part left off).
struct HardDisk
{
    QString location;
    QStringList users;
};
// The media of a "list hdds" output, one block per medium (blocks are parted by an empty line). `complete`
// (when given) is false when the text was cut off: no final line break, or a block without its location.
QList<HardDisk> parseHardDisks(const QString &text, bool *complete = nullptr);

// The machine name that a machine settings file names: the "name" attribute of its Machine element (the
// tool's XML settings), or the "name" member of a JSON object or of its "settings" object (the settings
// files of the tool's stand-in).
// Empty when the content is neither or names no machine.
QString settingsMachineName(const QByteArray &content);

// /proc/net/tcp or /proc/net/tcp6: the local port of every entry (any state). The first line (the column
// heads) is skipped; a line whose local address has no readable port (hexadecimal, at most 0xFFFF) gives 0.
QSet<int> parseProcNetTcp(const QString &text);

} // namespace VBoxOutput
