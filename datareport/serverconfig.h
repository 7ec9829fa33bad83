#pragma once

#include <QString>
#include <QUrl>

// Addresses of the maker's web services and the longest wait for one of their replies. Each comes from
// the installation key, group "Server", and falls back to a built-in value:
//   Server/Report        base address of the report server       (usage reports)
//   Server/Log           base address of the log server          (run logs and crash logs)
//   Server/Api           base address of the API server          (feedback)
//   Server/Keymap        base address of the key-map server      (key-map downloads)
//   Server/ReplyTimeoutMs  longest wait for a reply, in milliseconds
//   Server/QuitReplyTimeoutMs  longest wait for the report upload's reply once the program quits
// A base address is "http://host[:port]"; each endpoint appends its fixed path.
namespace ServerConfig {

QString reportServer();
QString logServer();
QString apiServer();
QString keymapServer();
int replyTimeoutMs();
int quitReplyTimeoutMs();
// The period of the report upload: 300 seconds, shrunk for tests by ORV_TIMEOUT_SCALE (a factor
// between 0 and 1) like every other time-out of minutes.
int uploadIntervalMs();

QUrl reportUrl();   // <report server>/pavixtopdatareport.php
QUrl crashLogUrl(); // <log server>/logup.php?platform=windows
QUrl runLogUrl();   // <log server>/runlogUp.php?platform=windows
QUrl baseApiUrl();  // <API server>/YeltBaseAPI.php

} // namespace ServerConfig
