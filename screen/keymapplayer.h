#pragma once

#include "keymapfile.h"

#include <QMap>
#include <QObject>
#include <QPoint>
#include <QSet>
#include <QString>

class AndroidTouchWidget;
class KeyMapDownloads;
class QKeyEvent;

// Plays the key map of the package in the foreground on the touch layer: loads the package's key-map
// file when the launcher reports a package change (and starts the downloader when there is none), keeps
// the per-package switch and overlay opacity (setting.ini beside the key-map files), asks for the play
// overlay, and turns mapped keys and the mouse aim mode into fingers, pad moves, tilts and swipes
// through the touch layer's finger bookkeeping.
//
// The overlay buttons belong to the key-mapping feature; this class only asks for them through its
// overlay signals, which the program's composition connects.
class KeyMapPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kDownloadProgram = "OrvDownload";

    explicit KeyMapPlayer(AndroidTouchWidget *touch);
    // Writes the switches and opacities back to setting.ini.
    ~KeyMapPlayer() override;

    // Reads the foreground package's file into currentKeyMap, scaled to the touch layer's size; false
    // only when the file was made on a screen of another shape.
    bool loadKeyMap();
    // loadKeyMap, then the switch, the opacity and the overlay. Also run on every resize of the window.
    void reloadKeyMap();
    void buildOverlay();
    void clearOverlay();
    // Lifts every finger the key map holds down (keys, pad, aim, fire) and levels a held tilt.
    void liftFingers();

    // Input hooks of the touch layer; true when the event was the key map's.
    bool keyPress(QKeyEvent *event);
    bool keyRelease(QKeyEvent *event);
    bool rightPress();
    bool mouseMove(const QPoint &point);
    bool leftPress(const QPoint &point);
    void leftRelease();

    bool keyMapFileLoaded() const { return m_fileLoaded; }
    bool mouseAimMode() const { return m_aimMode; }
    int fileRotation() const { return m_fileRotation; }
    // Key names held through the key map.
    QStringList heldKeys() const { return m_held.keys(); }

public slots:
    void onPackageChanged(const QString &package);
    void onKeyboardStatusChanged();
    void opacitySliderMoved(int value);
    // The editor has replaced currentKeyMap: show it.
    void keyBoardSettingSave();

signals:
    // For the play overlay (connected by the program's composition, direct on the GUI thread).
    void overlayBuildRequested(const KeyMap &map);
    void overlayClearRequested();
    void overlayOpacityRequested(double opacity);
    void opacityValueChanged(int value);
    // The foreground package's switch may have changed.
    void keyboardStatusChanged();
    // The key-control switch was flipped by the user (on: now on).
    void keyControlSwitched(bool on);
    // The downloader was started for a package (after its start was asked for; a request merged into
    // one that runs or waits starts nothing).
    void downloadStarted(QString package, bool started);

private:
    struct LoadOutcome
    {
        QString package;
        KeyMapFile::LoadResult result;
    };
    bool applyLoad(const KeyMapFile::LoadResult &result);
    void afterLoad();
    // Builds the overlay on the next turn of the event loop: the map is in force at once, its buttons
    // follow.
    void buildOverlaySoon();
    void startDownload();
    void onDownloadFinished(const QString &package);
    void onDownloadLoaded(const QString &package, const KeyMapFile::LoadResult &result);
    void readSwitch(const QString &package);
    void saveSwitches();
    void touchDown(const QString &id, const QPoint &p);
    void touchUp(const QString &id);
    QPoint padAverage() const;
    void sendTilt(int a, int b);
    void slide(const QString &name, const KeyMapItem &item);

    AndroidTouchWidget *m_touch;
    // The downloaders of this emulator: one per package, two at once, the rest in order.
    KeyMapDownloads *m_downloads;
    bool m_fileLoaded = false;
    bool m_overlayShown = false;
    // A build of the overlay has been posted and not cancelled by a clear since.
    bool m_overlayPending = false;
    bool m_aimMode = false;
    int m_fileRotation = 0;
    QPoint m_firePressPoint;
    // Key name -> the entry it was pressed with, until its release.
    QMap<QString, KeyMapItem> m_held;
    QMap<QString, KeyMapItem> m_pressedPadKeys;
    // Keys whose fingers were lifted while they were held: their releases are still the key map's.
    QSet<QString> m_liftedKeys;
    // Fingers this player put down.
    QSet<QString> m_fingers;
    bool m_tilted = false;
};
