// From a package change to the key map in force, in this process with the real touch layer, key-map
// player, play overlay and launcher channel; the key-map files lie in a temporary installation on the
// simulated host. Printed in the same run:
//   - reply file to map in force: the launcher's PackageChanged file written into the event folder (as
//     the launcher writes it) until the package's map is in force with its overlay built; this includes
//     the channel's wait for the file to settle;
//   - change to map in force: the package-changed slot alone (load and switch; the overlay's buttons
//     are built on the next turn of the event loop);
//   - overlay built: that next turn, the display-only buttons of all 44 entries;
//   - file alone (baseline): reading and parsing the same file;
//   - the change's cost above the file alone (medians). Aim: under 5 ms.
//
//   bench_keymapchange [--repeats=N] [--smoke]

#include "androidtouchwidget.h"
#include "benchfigures.h"
#include "global.h"
#include "installtree.h"
#include "keymapfile.h"
#include "keymapwiring.h"
#include "pavixconnection.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    const Bench::Options options = Bench::options(app.arguments());
    InstallTree tree;
    if (!tree.isValid())
        return Bench::noFigure("bench_keymapchange", QStringLiteral("no temporary installation"));
    tree.declareHost(InstallTree::HostWithVirtualisation);
    qputenv("APPDATA", tree.appDataDir().toUtf8());
    qputenv("XDG_CONFIG_HOME", tree.userConfigDir().toUtf8());
    Global::vmName = kVm;

    // Two packages with the same map, so that every change loads a file.
    const QStringList packages{QStringLiteral("com.example.one"), QStringLiteral("com.example.two")};
    const KeyMap map = bigMap();
    for (const QString &package : packages) {
        if (!KeyMapFile::write(KeyMapFile::filePath(kVm, package), map, QRect(0, 0, 540, 960), 0))
            return Bench::noFigure("bench_keymapchange", QStringLiteral("cannot write the key-map files"));
        QSettings settings(KeyMapFile::settingsPath(kVm), QSettings::IniFormat);
        settings.setValue(package + "/KeyboardKeyIsEnable", true);
    }

    AndroidTouchWidget touch;
    touch.resize(360, 640);
    wireKeyMapOverlay(&touch);
    touch.show();

    const QString events = tree.root() + QStringLiteral("/event");
    QDir().mkpath(events);
    PavixConnection &pavix = PavixConnection::instance();
    QObject::connect(&pavix, &PavixConnection::pavix_package_changed, &touch,
                     &AndroidTouchWidget::on_pavix_package_changed, Qt::QueuedConnection);
    pavix.init(events);

    const int repeats = options.smoke ? 2 : qMax(2, options.repeats) * 4;
    QVector<double> fromReply, fromSlot, overlay, fileAlone;
    int n = 0;
    const auto inForce = [&](const QString &package) {
        return Global::currentPackage == package && currentKeyMap.size() == map.size() &&
               Global::isKeyMapEnabled();
    };
    for (int i = 0; i < repeats; ++i) {
        const QString package = packages.at(n++ % 2);
        // The launcher writes the reply as a hidden file and renames it into place.
        QElapsedTimer timer;
        const QString name = QStringLiteral("res_%1").arg(100000 + i);
        QFile tmp(events + "/." + name + ".tmp");
        if (!tmp.open(QIODevice::WriteOnly) || tmp.write(replyFile(package)) <= 0)
            return Bench::noFigure("bench_keymapchange", QStringLiteral("cannot write a reply file"));
        tmp.close();
        timer.start();
        QFile::rename(tmp.fileName(), events + "/" + name);
        if (!waitFor([&] { return inForce(package); }, 10000))
            return Bench::noFigure("bench_keymapchange",
                                   QStringLiteral("the reply file did not reach the key map"));
        fromReply << timer.nsecsElapsed() / 1e6;

        const QString other = packages.at(n++ % 2);
        timer.start();
        touch.on_pavix_package_changed(other);
        fromSlot << timer.nsecsElapsed() / 1e6;
        if (!inForce(other))
            return Bench::noFigure("bench_keymapchange",
                                   QStringLiteral("the change did not put the map in force"));
        timer.start();
        QCoreApplication::processEvents();
        overlay << timer.nsecsElapsed() / 1e6;
        if (touch.findChildren<QWidget *>(QStringLiteral("KeyButton")).size() != 30)
            return Bench::noFigure("bench_keymapchange", QStringLiteral("the overlay was not built"));

        timer.start();
        const KeyMapFile::LoadResult result =
            KeyMapFile::load(KeyMapFile::filePath(kVm, other), touch.size());
        fileAlone << timer.nsecsElapsed() / 1e6;
        if (result.map.size() != map.size())
            return Bench::noFigure("bench_keymapchange", QStringLiteral("the file did not read back"));
    }
    pavix.stop();

    Bench::printHeader("Key-map change (44 entries)", "ms");
    Bench::printRow("reply file to map in force", fromReply, 3);
    Bench::printRow("change to map in force", fromSlot, 3);
    Bench::printRow("overlay built (next turn)", overlay, 3);
    Bench::printRow("file alone (baseline)", fileAlone, 3);
    const double added = Bench::spread(fromSlot).median - Bench::spread(fileAlone).median;
    std::printf("change adds over the file alone (medians)  %.3f ms  (aim: under 5 ms)\n", added);
    return 0;
}
