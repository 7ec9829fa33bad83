#pragma once

#include <QByteArray>
#include <QString>

// Requests to the launcher app in the guest, through the launcher channel (PavixConnection): the
// serialized request message and one line feed, over a connection of its own to the launcher's
// host port, written once connected and closed. Nothing is read back or retried; the
// caller learns nothing of the outcome.
namespace LauncherRequest {

enum Action
{
    StopScript = 1,
    Home = 2,
    Menu = 3,
    Toast = 10,
    WindowHidden = 12,
    WindowShown = 13,
    KeyCtrlPlus = 17,
};

// The bytes that go out for a request (pure).
QByteArray encode(int action, const QString &data);
// Sends the request to 127.0.0.1 at the launcher's port; returns at once. GUI thread only.
void send(int action, const QString &data = QString());

} // namespace LauncherRequest
