#pragma once

#include <QString>

class QWidget;

namespace OrvMulti {

// The manager's one-button message: shows `text` modally until the user closes it.
void showMessage(const QString &text, QWidget *parent = nullptr);

} // namespace OrvMulti
