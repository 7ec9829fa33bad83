#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the faults file (<state>/faults.json) tells the tool to do with one command line.
struct FaultAction
{
    bool matched = false;
    bool hang = false;    // never finish (until killed)
    int sleepMs = 0;      // be slow first
    bool respond = false; // answer with the texts below instead of running the command
    bool pass = false;    // print the texts, then run the command as usual
    QByteArray standardOutput;
    QByteArray standardError;
    int exitCode = 1;
};

// Reads the faults file: a JSON array of rules, the first live rule whose pattern matches wins.
// A rule: {"match": "<wildcard over the arguments joined by blanks>", "prog": "<wildcard over the program
// name>", "stdout": "...", "stderr": "...", "exit": N, "sleep": seconds, "hang": true, "times": N,
// "pass": true}. "{prog}" in the texts becomes the program's file name. "times" limits the rule to the
// first N matching calls; the counts are kept in <state>/faults.used.json.
class VBoxFaults
{
public:
    static FaultAction lookup(const QString &stateDir, const QString &program, const QStringList &args);
    static bool wildcardMatch(const QString &pattern, const QString &text);
};
