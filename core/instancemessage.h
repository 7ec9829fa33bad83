#pragma once

#include <QByteArray>
#include <QString>

// The request that a second start of a virtual machine hands to the running process: compact JSON
// with "vmName", "pkgpath" and "pkgname" (always present) and "isStop": true only when stopping.
struct InstanceMessage
{
    QString vmName;
    QString pkgpath;
    QString pkgname;
    bool isStop = false;

    QByteArray toJson() const;

    // Reads a received message. Accepts any JSON object: absent or non-text fields read as empty, and
    // "isStop" counts when the key is present at all, whatever its value (older senders wrote other
    // values). Anything that is not a JSON object gives `valid` false and an empty message.
    static InstanceMessage fromJson(const QByteArray &json, bool *valid = nullptr);
};
