#include "vboxfaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

bool VBoxFaults::wildcardMatch(const QString &pattern, const QString &text)
{
    // Iterative "*" / "?" matching with backtracking to the last star.
    int p = 0, t = 0, star = -1, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern.at(p) == QLatin1Char('?') || pattern.at(p) == text.at(t))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern.at(p) == QLatin1Char('*')) {
            star = p++;
            mark = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

FaultAction VBoxFaults::lookup(const QString &stateDir, const QString &program, const QStringList &args)
{
    FaultAction action;
    const QDir dir(stateDir);
    QFile file(dir.absoluteFilePath("faults.json"));
    if (!file.open(QIODevice::ReadOnly))
        return action;
    const QJsonArray rules = QJsonDocument::fromJson(file.readAll()).array();
    if (rules.isEmpty())
        return action;

    QLockFile lock(dir.absoluteFilePath("faults.lock"));
    lock.setStaleLockTime(10000);
    lock.tryLock(10000);
    const QString usedPath = dir.absoluteFilePath("faults.used.json");
    QJsonObject used;
    {
        QFile usedFile(usedPath);
        if (usedFile.open(QIODevice::ReadOnly))
            used = QJsonDocument::fromJson(usedFile.readAll()).object();
    }
    const QString commandLine = args.join(QLatin1Char(' '));
    for (int i = 0; i < rules.size(); ++i) {
        const QJsonObject rule = rules.at(i).toObject();
        if (!wildcardMatch(rule.value("match").toString(QStringLiteral("*")), commandLine))
            continue;
        if (rule.contains("prog") && !wildcardMatch(rule.value("prog").toString(), program))
            continue;
        const QString key = QString::number(i);
        const int count = used.value(key).toInt();
        if (rule.contains("times") && count >= rule.value("times").toInt())
            continue;
        used.insert(key, count + 1);
        QSaveFile usedFile(usedPath);
        if (usedFile.open(QIODevice::WriteOnly)) {
            usedFile.write(QJsonDocument(used).toJson(QJsonDocument::Compact));
            usedFile.commit();
        }

        action.matched = true;
        action.hang = rule.value("hang").toBool();
        action.sleepMs = static_cast<int>(rule.value("sleep").toDouble() * 1000);
        action.pass = rule.value("pass").toBool();
        action.respond =
            !action.pass && (rule.contains("stdout") || rule.contains("stderr") || rule.contains("exit"));
        auto text = [&](const char *name) {
            QString value = rule.value(QLatin1String(name)).toString();
            value.replace(QStringLiteral("{prog}"), program);
            return value.toUtf8();
        };
        action.standardOutput = text("stdout");
        action.standardError = text("stderr");
        action.exitCode = rule.value("exit").toInt(rule.contains("stderr") ? 1 : 0);
        break;
    }
    return action;
}
