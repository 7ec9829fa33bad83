#include "maincontrol.h"

#include "commandline.h"
#include "global.h"
#include "orvapplication.h"
#include "sharedsegment.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Dialog with one confirm button.
constexpr int kDialogConfirmOnly = 12;
} // namespace

MainControl::MainControl(QObject *parent) : QObject(parent)
{
    if (auto *app = qobject_cast<OrvApplication *>(parent))
        connect(app, &OrvApplication::messageAvailable, this, &MainControl::handleNewConnect);
}

void MainControl::start() {}

void MainControl::handleNewConnect(QString msg)
{
    qDebug() << " handle new connect " << appQuittingFlag.load() << "   msg : " << msg;
    if (appQuittingFlag) {
        emit showDialog(tr("exiting"), kDialogConfirmOnly, nullptr, QStringLiteral("0"));
        return;
    }

    QString pkgpath;
    QString pkgname;
    const QJsonDocument document = QJsonDocument::fromJson(msg.toUtf8());
    if (document.isObject()) {
        const QJsonObject object = document.object();
        if (object.contains(QStringLiteral("isStop"))) {
            quitApp(false);
            return;
        }
        pkgpath = object.value(QStringLiteral("pkgpath")).toString();
        pkgname = object.value(QStringLiteral("pkgname")).toString();
    }

    if (!pkgname.isEmpty())
        CommandLine::pkgname = pkgname;

    if (m_androidShown) {
        CommandLine::pkgpath = pkgpath;
        return;
    }

    // Before Android is up the paths are queued as ",a,b," for the launch after the start.
    QString &list = CommandLine::pkgpath;
    if (!list.startsWith(QLatin1Char(',')))
        list.prepend(QLatin1Char(','));
    qDebug() << " before " << list;
    qDebug() << " pkg      " << pkgpath;
    if (!pkgpath.isEmpty() && !list.contains(QLatin1Char(',') + pkgpath + QLatin1Char(',')))
        list += pkgpath + QLatin1Char(',');
    qDebug() << " after " << list;
}

void MainControl::quitApp(bool isNeedReboot)
{
    qInfo() << "Control    : quit start";
    appQuittingFlag = true;
    Global::instanceSegment().detach();
    if (isNeedReboot)
        QCoreApplication::exit(10000);
    else
        QCoreApplication::quit();
}
