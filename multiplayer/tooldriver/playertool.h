#pragma once

#include <QObject>
#include <QString>

namespace OrvMulti {

// Starts and stops the emulator program for one instance. The emulator lies beside the manager.
class PlayerTool : public QObject
{
    Q_OBJECT

public:
    static PlayerTool &instance();

    // <Installdir>/<ProductVersion>/player/Orvanta from the installation key; Installdir defaults to the
    // folder two levels above the manager's program folder, ProductVersion to "1.0.0".
    void initEmulatorPath();
    QString emulatorPath() const;

    // Start the emulator detached with "-vm=<vm>" "-title=<title>", or "-vm=<vm>" "-stop"; false when it
    // could not be started or no machine name is given.
    bool startPlayer(const QString &vm, const QString &title);
    bool stopPlayer(const QString &vm);

private:
    PlayerTool() = default;
    QString m_emulatorPath;
};

} // namespace OrvMulti
