#include "buttonlooks.h"

#include <QPushButton>

namespace ButtonLooks {

QString imageUrl(const QString &name)
{
    // Joined at run time: every picture the buttons name is listed in keymapimages.qrc.
    return QStringLiteral("url(:/images/") + name + QStringLiteral(".png)");
}

QString imageButton(const QString &picture)
{
    return QStringLiteral("QPushButton { background: transparent; border: none; border-image: %1; }"
                          "QPushButton:hover { border-image: %2; }")
        .arg(imageUrl(picture), imageUrl(picture + QStringLiteral("_over")));
}

QPushButton *makeImageButton(QWidget *parent, const QString &objectName, const QString &picture, int width,
                             int height)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setFixedSize(width, height);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(imageButton(picture));
    return button;
}

QPushButton *makeCloseButton(QWidget *parent)
{
    return makeImageButton(parent, QStringLiteral("btn_close"), QStringLiteral("key_close"), 14, 14);
}

} // namespace ButtonLooks
