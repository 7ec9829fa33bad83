#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

class InstallTree;

// The web endpoint stand-in (sim/webservice) running as a real server on 127.0.0.1 for one test,
// with its state folder in a given directory. Requests it received are read back from that folder.
class WebStandIn
{
public:
    explicit WebStandIn(const QString &stateDir);
    ~WebStandIn();
    WebStandIn(const WebStandIn &) = delete;
    WebStandIn &operator=(const WebStandIn &) = delete;

    // Starts the server and waits until it listens.
    bool start(int timeoutMs = 30000);
    void stop();

    QString stateDir() const { return m_stateDir; }
    // "http://127.0.0.1:<port>"
    QString baseUrl() const { return m_baseUrl; }
    // Points every server address of the tree's installation key at this stand-in, with the given
    // longest wait for a reply.
    void configure(InstallTree &tree, int replyTimeoutMs = 2000) const;

    // Replaces the control file (see sim/webservice/README.md), e.g. "answer=refuse".
    void setControl(const QString &text) const;
    // Lets held answers go.
    void release() const;

    // The stored records of all requests, or of one endpoint ("report", "runlog", ...), in order.
    QList<QJsonObject> requests(const QString &endpoint = QString()) const;
    // The server's request log.
    QString log() const;

private:
    QString m_stateDir;
    QString m_baseUrl;
    QProcess m_process;
};
