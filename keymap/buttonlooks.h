#pragma once

#include <QString>

class QPushButton;
class QWidget;

// Style sheets shared by the key-map buttons' forms; every picture is ":/images/<name>.png".
namespace ButtonLooks {

QString imageUrl(const QString &name);
// A flat push button showing `picture`, and `picture`_over while the mouse is over it.
QString imageButton(const QString &picture);
// A push button of the given size with that look, placed by the caller.
QPushButton *makeImageButton(QWidget *parent, const QString &objectName, const QString &picture, int width,
                             int height);
// The small close button at a button's top-right corner (key_close).
QPushButton *makeCloseButton(QWidget *parent);

} // namespace ButtonLooks
