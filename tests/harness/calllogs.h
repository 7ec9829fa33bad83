#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// Readers of the call logs that the stand-ins keep, for tests that check how programs were started.

// Argument lists of a recording stand-in's call file (one JSON array per line), in call order.
QList<QStringList> readRecordedCalls(const QString &path);

// Argument lists of every call that the simulated VirtualBox tool logged in its state folder.
QList<QStringList> readToolCalls(const QString &stateDir);

// One call of the simulated VirtualBox tool as its call log holds it.
struct ToolCallRecord
{
    QStringList args;
    QString program;
    qint64 pid = 0;
    QDateTime start;
    QDateTime end; // invalid for a call that has not returned (still running, hung or killed)

    // The call's real duration in ms, -1 when it has not returned.
    qint64 durationMs() const { return end.isValid() ? start.msecsTo(end) : -1; }
};

// Every call that the simulated VirtualBox tool logged in its state folder, with its start and end.
QList<ToolCallRecord> readToolCallRecords(const QString &stateDir);

// True for a tool command line that only reads (lists, machine information, property and extradata
// reads); every other command changes a machine or the registry.
bool isReadOnlyToolCall(const QStringList &args);
