#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The reader of the manager's machine list file. (The tool's output is read by the emulator's readers,
// vboxoutput.h.)
namespace OrvMulti {

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
