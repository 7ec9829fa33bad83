#include "datareportengine.h"

#include <QDebug>

// The HTTP upload of the stored events and of log texts is not part of this build yet. Until it is,
// an upload attempt sends nothing and keeps every stored row for the next attempt, and says so.

void DataReportEngine::uploadData()
{
    qInfo() << "DataReport : upload not available in this build, events kept";
}

void DataReportEngine::uploadNow()
{
    instance()->uploadData();
}

void DataReportEngine::uploadCrashLog(const QString &kind, const QString &text)
{
    Q_UNUSED(text)
    qInfo().noquote() << "DataReport : log upload not available in this build, kind" << kind;
}
