#pragma once

#include "calllogs.h"
#include "installtree.h"

#include <QJsonArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

// An install tree with the simulated VirtualBox tool and guest image, whose folders this test process
// uses too (the manager's tool object runs in the test process).
class ManagerFixture
{
public:
    ManagerFixture();
    ~ManagerFixture();

    InstallTree &tree() { return *m_tree; }
    QString stateDir() const { return m_tree->root() + QStringLiteral("/vbox-state"); }
    QString machineFolder() const { return m_tree->installDir() + QStringLiteral("/vbox"); }
    QString dataFolder() const { return m_tree->appDataDir() + QStringLiteral("/Halvora"); }
    QString xmlPath() const
    {
        return m_tree->localAppDataDir() + QStringLiteral("/OrvMultiPlayer/multiplayer.xml");
    }

    // Runs the simulated tool directly (for preparing machines); true on exit 0.
    bool tool(const QStringList &args, QString *out = nullptr);
    QList<QStringList> calls() const { return readToolCalls(stateDir()); }
    // Calls that change something (reads left out).
    QList<QStringList> modifyingCalls() const;
    void clearCalls() const;
    void setFaults(const QJsonArray &rules) const;
    // Every file of the machine folder, the instance data, the manager's data and the tool's registry.
    QMap<QString, QByteArray> snapshot() const;

private:
    std::unique_ptr<InstallTree> m_tree;
};
