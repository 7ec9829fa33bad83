#pragma once

// What a reader sees of a window's texts: whether any is a bare translation key and whether each fits
// its control. Header only: for tests that show widgets (they link Qt Widgets themselves).

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QXmlStreamReader>

namespace WindowTexts {

// The texts of a Qt Linguist source: (context, key) -> text. Empty when the file cannot be read.
inline QHash<QPair<QString, QString>, QString> readSource(const QString &path)
{
    QHash<QPair<QString, QString>, QString> texts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    QXmlStreamReader xml(&file);
    QString context;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            texts.insert({context, source}, xml.readElementText());
    }
    return xml.hasError() ? decltype(texts)() : texts;
}

// The keys of a source whose text differs from the key: shown as such, they are bare keys.
inline QSet<QString> bareKeys(const QHash<QPair<QString, QString>, QString> &texts)
{
    QSet<QString> keys;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (it.value() != it.key().second)
            keys << it.key().second;
    return keys;
}

// The room a check box leaves for its text.
inline QRect checkBoxText(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
}

// What is wrong with the visible texts of `window` (labels, buttons, check boxes and, when
// `titleTranslated`, its title): a bare key, or a text wider (or, wrapped, taller) than its control.
// Empty when nothing is; `shown` counts the texts looked at.
inline QStringList problems(QWidget *window, const QSet<QString> &bare, bool titleTranslated = true,
                            int *shown = nullptr)
{
    QStringList found;
    if (titleTranslated && bare.contains(window->windowTitle()))
        found << QStringLiteral("bare key as the title: ") + window->windowTitle();
    int count = 0;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window))
            continue;
        QString text;
        QRect room;
        bool wraps = false;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            text = label->text();
            const int margin = label->margin();
            room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
            wraps = label->wordWrap();
        } else if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            text = box->text();
            room = checkBoxText(box);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            text = button->text();
            room = button->rect();
            if (!button->icon().isNull())
                room.setWidth(room.width() - button->iconSize().width() - 4);
        }
        if (text.isEmpty())
            continue;
        ++count;
        const QString where = widget->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"');
        if (bare.contains(text))
            found << QStringLiteral("bare key shown by ") + where;
        // A text cut short keeps its whole wording as the control's tip.
        if (text.contains(QChar(0x2026)) && widget->toolTip().isEmpty())
            found << QStringLiteral("text cut short without its whole text as tip: ") + where;
        const QFontMetrics metrics = widget->fontMetrics();
        const bool fits =
            wraps
                ? metrics.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text).height() <=
                      room.height()
                : metrics.horizontalAdvance(text) <= room.width();
        if (!fits)
            found << QStringLiteral("text larger than its control: ") + where;
    }
    if (shown)
        *shown = count;
    return found;
}

// What is wrong with the entries of a menu: a bare key, or a text wider than its entry leaves room
// for (`padding`: the entry's left and right padding of its style sheet together).
inline QStringList menuProblems(QMenu *menu, const QSet<QString> &bare, int padding, int *shown = nullptr)
{
    QStringList found;
    int count = 0;
    const QFontMetrics metrics = menu->fontMetrics();
    for (QAction *action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible() || action->text().isEmpty())
            continue;
        ++count;
        const QString text = action->text();
        const QString where = menu->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"');
        if (bare.contains(text))
            found << QStringLiteral("bare key shown by ") + where;
        const int room = menu->actionGeometry(action).width() - padding;
        if (metrics.horizontalAdvance(text) > room)
            found << QStringLiteral("entry text larger than its entry (%1 > %2): ")
                             .arg(metrics.horizontalAdvance(text))
                             .arg(room) +
                         where;
    }
    if (shown)
        *shown = count;
    return found;
}

} // namespace WindowTexts
