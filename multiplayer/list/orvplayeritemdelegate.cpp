#include "orvplayeritemdelegate.h"

#include "desktopshortcut.h"
#include "managervboxtool.h"
#include "msgdialog.h"
#include "orvlineedit.h"
#include "playerpainter.h"
#include "playerstate.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QToolTip>

namespace OrvMulti {

namespace {

PlayerContext *contextOf(const QModelIndex &index, PlayerRecord *record = nullptr)
{
    const QVariant value = index.data(Qt::UserRole);
    if (!value.canConvert<PlayerRecord>())
        return nullptr;
    const PlayerRecord r = value.value<PlayerRecord>();
    if (record)
        *record = r;
    return r.context;
}

// States in which the title may be edited and the shortcut icon answers.
bool isSettled(const PlayerContext *context)
{
    if (!context)
        return false;
    if (!context->currentState())
        return false;
    const PlayerStateKind kind = context->currentKind();
    return kind == PlayerStateKind::Stop || kind == PlayerStateKind::Running ||
           kind == PlayerStateKind::BeingCopied;
}

// The pencil icon's rectangle, placed after the title as drawTitle places it.
QRect editRect(const QRect &rect, const QString &title)
{
    const QFontMetrics metrics(PlayerPainter::cellFont());
    const QString elided = metrics.elidedText(title, Qt::ElideRight, rect.right() - rect.left() - 49);
    return PlayerPainter::editRect(rect, metrics.horizontalAdvance(elided));
}

} // namespace

OrvPlayerItemDelegate::OrvPlayerItemDelegate(QObject *parent) : QStyledItemDelegate(parent)
{
    connect(this, &QAbstractItemDelegate::closeEditor, this, &OrvPlayerItemDelegate::closeEditorSlot);
}

QRect OrvPlayerItemDelegate::cellRect(const QRect &cell)
{
    return cell.adjusted(0, ItemTopMargin, 0, 0);
}

void OrvPlayerItemDelegate::resetPointerStates()
{
    editIconState = backupIconState = deleteIconState = shortcutIconState = buttonState = PointerNormal;
}

void OrvPlayerItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    QStyleOptionViewItem itemOption(option);
    initStyleOption(&itemOption, index);
    itemOption.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, itemOption, index);
    PlayerContext *context = contextOf(index);
    if (!context)
        return;
    const QRect rect = cellRect(option.rect);
    switch (index.column()) {
    case 0:
        context->paintCheckBox(painter, rect);
        break;
    case 1:
        context->paintTitle(painter, rect, editIconState);
        break;
    case 2:
        context->paintStateLabel(painter, rect);
        break;
    case 3:
        context->paintAction(painter, rect, backupIconState, deleteIconState, shortcutIconState, buttonState);
        break;
    default:
        break;
    }
}

bool OrvPlayerItemDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                        const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const bool isMouse = event->type() == QEvent::MouseButtonPress ||
                         event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseMove ||
                         event->type() == QEvent::MouseButtonDblClick;
    if (!isMouse)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    auto *mouse = static_cast<QMouseEvent *>(event);
    mousePos = mouse->pos();
    const QRect rect = cellRect(option.rect);
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool leftPress = press && mouse->button() == Qt::LeftButton;

    if (index.column() == 0) {
        if (leftPress && rect.contains(mousePos)) {
            const QVariant value = index.data(Qt::UserRole);
            if (value.canConvert<PlayerRecord>())
                model->setData(index, !value.value<PlayerRecord>().selected, Qt::UserRole);
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

    if (index.column() == 1) {
        resetPointerStates();
        PlayerRecord record;
        PlayerContext *context = contextOf(index, &record);
        if (!context)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        if (editRect(rect, record.title).contains(mousePos)) {
            if (leftPress) {
                editRequested = true;
                oldTitle = record.title;
                editIconState = PointerPressed;
                return false;
            }
            if (press)
                return true;
            if (event->type() == QEvent::MouseButtonRelease) {
                editIconState = PointerNormal;
            } else if (event->type() == QEvent::MouseMove) {
                editIconState = PointerHovered;
                if (isSettled(context)) {
                    // The tool tip shows until the pointer leaves the icon.
                    QToolTip::showText(mouse->globalPos(), tr("edit name"));
                    return false;
                }
            }
        }
        QToolTip::hideText();
        return false;
    }

    if (index.column() == 3) {
        resetPointerStates();
        PlayerRecord record;
        PlayerContext *context = contextOf(index, &record);
        int *states[] = {&backupIconState, &deleteIconState, &shortcutIconState, &buttonState};
        const QRect rects[] = {PlayerPainter::backupRect(rect), PlayerPainter::deleteRect(rect),
                               PlayerPainter::shortcutRect(rect), PlayerPainter::buttonRect(rect)};
        int hit = -1;
        for (int i = 0; i < 4 && hit < 0; ++i)
            if (rects[i].contains(mousePos))
                hit = i;
        if (hit < 0) {
            QToolTip::hideText();
            return true;
        }
        if (leftPress) {
            *states[hit] = PointerPressed;
            switch (hit) {
            case 0:
                emit backupOrRestoreData(index);
                break;
            case 1:
                emit deleteData(index);
                break;
            case 2:
                emit createLink(index);
                break;
            default:
                emit startOrClose(index);
                break;
            }
        } else if (press) {
            return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            *states[hit] = PointerNormal;
        } else if (event->type() == QEvent::MouseMove) {
            *states[hit] = PointerHovered;
            if (hit == 2 && isSettled(context))
                QToolTip::showText(mouse->globalPos(), tr("create shortcut"));
            else if (hit == 0)
                QToolTip::showText(mouse->globalPos(), tr("backup or restore"));
            // The tool tip shows until the pointer leaves the item.
            return true;
        }
        QToolTip::hideText();
        return true;
    }

    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

QWidget *OrvPlayerItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                             const QModelIndex &index) const
{
    if (index.column() != 1 || !editRequested || !isSettled(contextOf(index)))
        return nullptr;
    auto *editor = new OrvLineEdit(parent);
    editor->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    editor->setMaxLength(TitleMaxLength);
    return editor;
}

void OrvPlayerItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *line = qobject_cast<OrvLineEdit *>(editor);
    PlayerRecord record;
    if (index.column() != 1 || !line || !contextOf(index, &record))
        return;
    line->setText(record.title);
    line->deselect();
}

void OrvPlayerItemDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                 const QModelIndex &index) const
{
    if (index.column() != 1)
        return;
    const QRect r = cellRect(option.rect);
    editor->setGeometry(QRect(QPoint(r.left(), r.top() + 20), QPoint(r.right() - 50, r.bottom() - 10)));
}

void OrvPlayerItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                         const QModelIndex &index) const
{
    auto *line = qobject_cast<OrvLineEdit *>(editor);
    if (index.column() != 1 || !line)
        return;
    // A message below runs its own event loop, in which the editor loses the focus and would commit
    // again.
    if (committing)
        return;
    const QScopedValueRollback<bool> guard(committing, true);
    const QString text = line->text();
    QWidget *parent = editor->window();
    if (text.isEmpty()) {
        line->setText(oldTitle);
        MsgDialog::run(MsgDialog::Notice, tr("player name can not be empty"), parent);
        return;
    }
    if (text == oldTitle)
        return;
    if ((!VBoxTool::instance().findVmByTitle(text).isEmpty() && line->changeCount() > 1) ||
        text == QObject::tr("the original palyer")) {
        line->setText(oldTitle);
        MsgDialog::run(MsgDialog::Notice, tr("player name is already existing"), parent);
        return;
    }
    if (line->changeCount() <= 1) {
        line->setText(oldTitle);
        return;
    }
    VBoxTool::instance().renameTitle(text, oldTitle);
    if (desktopShortcutExists(oldTitle)) {
        linkPending = true;
        removeDesktopShortcut(oldTitle);
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void OrvPlayerItemDelegate::closeEditorSlot()
{
    editRequested = false;
}

} // namespace OrvMulti
