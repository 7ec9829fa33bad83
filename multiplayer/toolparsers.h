#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Readers of what reaches the manager from outside: the tool's output and the machine list file.
namespace OrvMulti {

struct ListedVm
{
    QString name;
    QString id;
};

// The lines `"<name>" {<id>}` of "list vms" ("\n" or "\r\n" line ends); other lines are skipped.
QList<ListedVm> parseVmList(const QString &output);

// "showvminfo --machinereadable": each line split at its first "=", both sides trimmed and stripped
// of double quotes; later keys win.
QMap<QString, QString> parseMachineReadable(const QString &output);

struct ListFileEntry
{
    QString vm;
    QString title;
    int from = 0; // 0 when missing or not a number
};

// Bounds of the list file: the bytes read, the entries kept and the length of a title.
constexpr qint64 kMaxListFileBytes = 4 * 1024 * 1024;
constexpr int kMaxListEntries = 10000;
constexpr int kMaxTitleLength = 256;

// The children of the list file's root element, in file order, at most kMaxListEntries of them (`cut`
// tells whether more followed). `wellFormed` is false (and the list empty) when the content does not
// parse; `error` then says why.
QList<ListFileEntry> parseMachineList(const QByteArray &content, bool *wellFormed, QString *error = nullptr,
                                      bool *cut = nullptr);

} // namespace OrvMulti
