#include "global.h"

#include "sharedsegment.h"

QString Global::vmName;
QString Global::startDate;
QElapsedTimer Global::startClock;
InstallInfo Global::installInfo;
QString Global::ovaFolder;
SystemInfo Global::systemInfo;
int Global::subPlatform = 0;
QString Global::openglPort;
QString Global::vinputPort;
QString Global::pavixPort;
QString Global::adbPort;
QString Global::yeltPort;
QString Global::vmPort;
QString Global::logRoot;
QString Global::debugLogFile;
QString Global::renderMode;
QString Global::streamMode;
QString Global::lastErrorCode;
QString Global::currentPackage;
QHash<QString, bool> Global::keyMapEnabledMap;
QHash<QString, int> Global::keyMapOpacityMap;
QMutex Global::keyMapMutex;
QHash<QString, QString> Global::checkResultMap;
QString Global::gamePath;
QString Global::eventPath;
QString Global::imagePath;
QString Global::otherPath;
TrayTool *Global::tray = nullptr;

std::atomic_bool appQuittingFlag{false};
std::atomic_bool resolutionChangedFlag{false};
std::atomic<double> startupProgress{0.0};

SharedSegment &Global::instanceSegment()
{
    static SharedSegment segment;
    return segment;
}
