// From a package change to the key map in force and its overlay on the screen, in this process with
// the real touch layer, key-map player, play overlay (its own window) and launcher channel; the key-map
// files lie in a temporary installation on the simulated host. Each repeat is one whole run of every
// measurement below; min, median and max are taken over the repeats. Printed in the same run:
//   - reply file to overlay painted: the launcher's PackageChanged file renamed into the event folder
//     (as the launcher does) until every button of the package's overlay has painted; its shares: the
//     launcher channel's fixed wait for the file to settle, the rest up to the map in force, and the
//     overlay's build and paint after that;
//   - change to map in force: the package-changed slot alone (load and switch);
//   - file alone (baseline): reading and parsing the same file;
//   - a map at the button cap (256 key buttons), and one of 256 swipes (the dearest kind to paint):
//     loaded (the slot), painted, cleared, their sum (aim: at most 50 ms) and the longest single
//     stretch the GUI thread was held (aim: under 100 ms), beside reading that file alone.
// A reply that never reaches the map, an overlay that does not paint, or a run with fewer samples than
// repeats prints "no figure: <why>" and exits with 1.
//
//   bench_keymapchange [--repeats=N] [--smoke] [--timeout-ms=T]
//   --fault=lost-reply: the first reply file is written but never put into the event folder (a reply
//   the launcher lost), which the run must refuse to turn into a figure.

#include "androidtouchwidget.h"
#include "basebutton.h"
#include "benchfigures.h"
#include "global.h"
#include "installtree.h"
#include "keymapfile.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"
#include "keymapwiring.h"
#include "overlaywindow.h"
#include "pavixconnection.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QSettings>

#include <cstdio>

namespace {

const QString kVm = QStringLiteral("Orvanta_0");

// A full key map: a pad, a tilt pad, fire and aim, a few swipes and 30 tapped keys.
KeyMap bigMap()
{
    KeyMap map;
    map.insert("POSCENTER", {KeyMapPosCenter, {150, 750}});
    map.insert("W", {KeyMapPosUp, {150, 704}});
    map.insert("S", {KeyMapPosDown, {150, 796}});
    map.insert("A", {KeyMapPosLeft, {104, 750}});
    map.insert("D", {KeyMapPosRight, {196, 750}});
    map.insert("SENCENTER", {KeyMapSenCenter, {400, 100}});
    map.insert("Left", {KeyMapSenLeft, {0, 0}});
    map.insert("Right", {KeyMapSenRight, {0, 0}});
    map.insert("FIRE", {KeyMapFire, {480, 150}});
    map.insert("AIM", {KeyMapAim, {60, 150}});
    map.insert("Space", {KeyMapSlideUp, {450, 600}});
    map.insert("Enter", {KeyMapSlideDown, {450, 700}});
    const QString keys = QStringLiteral("BCEFGHIJKLMNOPQRTUVXYZ12345678");
    for (int i = 0; i < keys.size(); ++i)
        map.insert(QString(keys.at(i)), {KeyMapKey, {20 + 17 * i, 300 + 11 * i}});
    return map;
}

QByteArray replyFile(const QString &package)
{
    OrvantaPavixTcp::Orvanta_Pavix_Tcp_Res reply;
    reply.set_action(OrvantaPavixTcp::Orvanta_Action_PackageChanged);
    reply.set_data(package.toStdString());
    const std::string bytes = reply.SerializeAsString();
    return QByteArray(bytes.data(), static_cast<int>(bytes.size()));
}

// The cap's map: 256 tapped keys on a grid, or 256 swipes in the four directions.
KeyMap capMap(bool swipes)
{
    KeyMap map;
    for (int i = 0; i < KeyMapFile::kMaxButtons; ++i)
        map.insert(QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0')),
                   {swipes ? KeyMapSlideUp + i % 4 : KeyMapKey, {20 + (i % 16) * 32, 60 + (i / 16) * 52}});
    return map;
}

// One map's figures at the cap.
struct CapFigures
{
    QVector<double> load, paint, clear, total, stall, file;
};

// Counts the buttons of the overlay that have received their paint since the last reset.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(KeyMapOverlay *overlay) : m_overlay(overlay) {}
    void reset() { m_painted.clear(); }
    bool allPainted() const
    {
        const QList<BaseButton *> buttons = m_overlay->buttons();
        if (buttons.isEmpty() || !m_overlay->window()->isVisible())
            return false;
        for (BaseButton *b : buttons) {
            if (b->isVisible() && !m_painted.contains(b))
                return false;
        }
        return true;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<BaseButton *>(watched))
            m_painted.insert(watched);
        return false;
    }

private:
    KeyMapOverlay *m_overlay;
    QSet<QObject *> m_painted;
};

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const char *const bench = "bench_keymapchange";
    const Bench::Options options = Bench::options(app.arguments());
    int timeoutMs = 10000;
    for (const QString &arg : options.rest) {
        if (arg.startsWith(QLatin1String("--timeout-ms=")))
            timeoutMs = arg.mid(13).toInt();
    }
    InstallTree tree;
    if (!tree.isValid())
        return Bench::noFigure(bench, QStringLiteral("no temporary installation"));
    tree.declareHost(InstallTree::HostWithVirtualisation);
    qputenv("APPDATA", tree.appDataDir().toUtf8());
    qputenv("XDG_CONFIG_HOME", tree.userConfigDir().toUtf8());
    Global::vmName = kVm;

    // Two packages with the same map, so that every change loads a file; a third with the cap's map.
    const QStringList packages{QStringLiteral("com.example.one"), QStringLiteral("com.example.two")};
    const QStringList capPackages{QStringLiteral("com.example.cap"), QStringLiteral("com.example.capswipes")};
    const KeyMap map = bigMap();
    const QVector<KeyMap> caps{capMap(false), capMap(true)};
    {
        QSettings settings(KeyMapFile::settingsPath(kVm), QSettings::IniFormat);
        for (const QString &package : packages + capPackages) {
            const int capIndex = capPackages.indexOf(package);
            if (!KeyMapFile::write(KeyMapFile::filePath(kVm, package),
                                   capIndex >= 0 ? caps.at(capIndex) : map, QRect(0, 0, 540, 960), 0))
                return Bench::noFigure(bench, QStringLiteral("cannot write the key-map files"));
            settings.setValue(package + "/KeyboardKeyIsEnable", true);
        }
    }
    const int mapButtons = KeyMapFile::buttonCount(map);

    AndroidTouchWidget touch;
    touch.resize(540, 960);
    KeyMapOverlay *overlay = wireKeyMapOverlay(&touch);
    PaintCounter painted(overlay);
    app.installEventFilter(&painted);
    touch.show();

    const QString events = tree.root() + QStringLiteral("/event");
    QDir().mkpath(events);
    PavixConnection &pavix = PavixConnection::instance();
    QObject::connect(&pavix, &PavixConnection::pavix_package_changed, &touch,
                     &AndroidTouchWidget::on_pavix_package_changed, Qt::QueuedConnection);
    pavix.init(events);

    const int repeats = options.repeats;
    QVector<double> replyToPainted, settleShare, toForceShare, paintShare, fromSlot, fileAlone;
    CapFigures capFigures[2];
    int n = 0;
    const auto inForce = [&](const QString &package, const KeyMap &expected) {
        return Global::currentPackage == package && currentKeyMap.size() == expected.size() &&
               Global::isKeyMapEnabled();
    };
    for (int i = 0; i < repeats; ++i) {
        // 1. The reply file to the overlay painted.
        const QString package = packages.at(n++ % 2);
        QElapsedTimer timer;
        const QString name = QStringLiteral("res_%1").arg(100000 + i);
        QFile tmp(events + "/." + name + ".tmp");
        if (!tmp.open(QIODevice::WriteOnly) || tmp.write(replyFile(package)) <= 0)
            return Bench::noFigure(bench, QStringLiteral("cannot write a reply file"));
        tmp.close();
        painted.reset();
        // The moment the map is in force: the player's status signal after the load (the overlay's
        // buttons are built on a later turn of the event loop).
        double forceMs = -1;
        const QMetaObject::Connection forced =
            QObject::connect(touch.keyMapPlayer(), &KeyMapPlayer::keyboardStatusChanged, [&] {
                if (forceMs < 0 && inForce(package, map))
                    forceMs = timer.nsecsElapsed() / 1e6;
            });
        timer.start();
        if (options.fault == QLatin1String("lost-reply") && i == 0)
            tmp.remove();
        else
            QFile::rename(tmp.fileName(), events + "/" + name);
        const bool reached = waitFor([&] { return inForce(package, map); }, timeoutMs);
        QObject::disconnect(forced);
        if (!reached || forceMs < 0)
            return Bench::noFigure(
                bench,
                QStringLiteral("the reply file did not reach the key map within %1 ms").arg(timeoutMs));
        if (!waitFor([&] { return painted.allPainted(); }, timeoutMs))
            return Bench::noFigure(bench,
                                   QStringLiteral("the overlay of %1 buttons did not paint").arg(mapButtons));
        const double totalMs = timer.nsecsElapsed() / 1e6;
        if (overlay->buttons().size() != mapButtons)
            return Bench::noFigure(bench, QStringLiteral("the overlay has %1 buttons, the map %2")
                                              .arg(overlay->buttons().size())
                                              .arg(mapButtons));
        replyToPainted << totalMs;
        settleShare << double(PavixConnection::kSettleMs);
        toForceShare << forceMs - PavixConnection::kSettleMs;
        paintShare << totalMs - forceMs;

        // 2. The slot alone, and the file alone as the baseline.
        const QString other = packages.at(n++ % 2);
        timer.start();
        touch.on_pavix_package_changed(other);
        fromSlot << timer.nsecsElapsed() / 1e6;
        if (!inForce(other, map))
            return Bench::noFigure(bench, QStringLiteral("the change did not put the map in force"));
        timer.start();
        const KeyMapFile::LoadResult result =
            KeyMapFile::load(KeyMapFile::filePath(kVm, other), touch.size());
        fileAlone << timer.nsecsElapsed() / 1e6;
        if (result.map.size() != map.size())
            return Bench::noFigure(bench, QStringLiteral("the file did not read back"));
        if (!waitFor([&] { return painted.allPainted(); }, timeoutMs))
            return Bench::noFigure(bench, QStringLiteral("the overlay did not paint after the change"));

        // 3. The cap's maps: loaded, painted, cleared; the GUI thread's longest single stretch.
        for (int c = 0; c < 2; ++c) {
            const QString &capPackage = capPackages.at(c);
            const KeyMap &cap = caps.at(c);
            CapFigures &figures = capFigures[c];
            QCoreApplication::processEvents();
            painted.reset();
            timer.start();
            touch.on_pavix_package_changed(capPackage);
            const double loadMs = timer.nsecsElapsed() / 1e6;
            if (!inForce(capPackage, cap))
                return Bench::noFigure(bench, QStringLiteral("the map at the cap was not put in force"));
            double stall = loadMs;
            QElapsedTimer paintTimer;
            paintTimer.start();
            QElapsedTimer turn;
            bool done = false;
            while (!done) {
                if (paintTimer.elapsed() > timeoutMs)
                    return Bench::noFigure(bench, QStringLiteral("the overlay at the cap did not paint"));
                turn.start();
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                stall = qMax(stall, turn.nsecsElapsed() / 1e6);
                done = painted.allPainted();
            }
            const double paintMs = paintTimer.nsecsElapsed() / 1e6;
            if (overlay->buttons().size() != KeyMapFile::kMaxButtons)
                return Bench::noFigure(
                    bench,
                    QStringLiteral("the overlay at the cap has %1 buttons").arg(overlay->buttons().size()));
            timer.start();
            touch.keyMapPlayer()->clearOverlay();
            QCoreApplication::processEvents();
            const double clearMs = timer.nsecsElapsed() / 1e6;
            stall = qMax(stall, clearMs);
            if (!overlay->isEmpty() || overlay->window()->isVisible())
                return Bench::noFigure(bench, QStringLiteral("the overlay at the cap was not cleared"));
            figures.load << loadMs;
            figures.paint << paintMs;
            figures.clear << clearMs;
            figures.total << loadMs + paintMs + clearMs;
            figures.stall << stall;
            timer.start();
            const KeyMapFile::LoadResult capRead =
                KeyMapFile::load(KeyMapFile::filePath(kVm, capPackage), touch.size());
            figures.file << timer.nsecsElapsed() / 1e6;
            if (capRead.map.size() != cap.size())
                return Bench::noFigure(bench, QStringLiteral("the cap's file did not read back"));
        }
    }
    pavix.stop();
    if (replyToPainted.size() != repeats || capFigures[0].total.size() != repeats ||
        capFigures[1].total.size() != repeats)
        return Bench::noFigure(
            bench, QStringLiteral("short run: %1 of %2 repeats").arg(replyToPainted.size()).arg(repeats));

    std::printf("%d repeats; compositing manager: %s\n", repeats,
                overlay->window()->composited() ? "yes" : "no");
    Bench::printHeader(
        qPrintable(QStringLiteral("Key-map change (%1 entries, %2 buttons)").arg(map.size()).arg(mapButtons)),
        "ms");
    Bench::printRow("reply file to overlay painted", replyToPainted, 3);
    Bench::printRow("  share: channel's settle wait (fixed)", settleShare, 3);
    Bench::printRow("  share: rest up to map in force", toForceShare, 3);
    Bench::printRow("  share: overlay built and painted", paintShare, 3);
    Bench::printRow("change to map in force (slot)", fromSlot, 3);
    Bench::printRow("file alone (baseline)", fileAlone, 3);
    const double added = Bench::spread(fromSlot).median - Bench::spread(fileAlone).median;
    if (added >= 0)
        std::printf("slot adds over the file alone (medians)  %.3f ms\n", added);
    else
        std::printf("slot adds over the file alone (medians)  none measurable (the slot's median is %.3f ms "
                    "below the file's, within the spread of the two)\n",
                    -added);
    for (int c = 0; c < 2; ++c) {
        const CapFigures &figures = capFigures[c];
        Bench::printHeader(
            qPrintable(QStringLiteral("Key map at the cap (%1 %2)")
                           .arg(KeyMapFile::kMaxButtons)
                           .arg(c == 0 ? QStringLiteral("buttons") : QStringLiteral("swipes"))),
            "ms");
        Bench::printRow("loaded (slot)", figures.load, 3);
        Bench::printRow("painted", figures.paint, 3);
        Bench::printRow("cleared", figures.clear, 3);
        Bench::printRow("loaded + painted + cleared (aim: <= 50)", figures.total, 3);
        Bench::printRow("longest GUI stretch (aim: < 100)", figures.stall, 3);
        Bench::printRow("file alone (baseline)", figures.file, 3);
        Bench::printRatio("sum against the file alone", figures.total, figures.file);
    }
    return 0;
}
