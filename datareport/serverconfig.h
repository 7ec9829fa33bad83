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
// A base address is "http://host[:port]"; each endpoint appends its fixed path.
namespace ServerConfig {

QString reportServer();
QString logServer();
QString apiServer();
QString keymapServer();
int replyTimeoutMs();

QUrl reportUrl();   // <report server>/pavixtopdatareport.php
QUrl crashLogUrl(); // <log server>/logup.php?platform=windows
QUrl runLogUrl();   // <log server>/runlogUp.php?platform=windows
QUrl baseApiUrl();  // <API server>/YeltBaseAPI.php

} // namespace ServerConfig
