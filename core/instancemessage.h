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
};
