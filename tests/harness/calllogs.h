#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Readers of the call logs that the stand-ins keep, for tests that check how programs were started.

// Argument lists of a recording stand-in's call file (one JSON array per line), in call order.
QList<QStringList> readRecordedCalls(const QString &path);

// Argument lists of every call that the simulated VirtualBox tool logged in its state folder.
QList<QStringList> readToolCalls(const QString &stateDir);

// True for a tool command line that only reads (lists, machine information, property and extradata
// reads); every other command changes a machine or the registry.
bool isReadOnlyToolCall(const QStringList &args);
