#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the addresses a program hands to the desktop (QDesktopServices::setUrlHandler(scheme, &catcher,
// "open")) instead of opening a browser or file manager.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};
