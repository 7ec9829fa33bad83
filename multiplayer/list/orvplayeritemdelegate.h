#pragma once

#include <QPoint>
#include <QStyledItemDelegate>

namespace OrvMulti {

class PlayerRecord;

// Draws every cell of the instance list through the row's state, turns presses on the icons and the
// start/close button into signals, and edits titles with an OrvLineEdit.
class OrvPlayerItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Longest title the editor takes.
    static constexpr int TitleMaxLength = 10;
    // Every item has this top margin in the application style sheet; cells are drawn below it.
    static constexpr int ItemTopMargin = 10;
    // Pointer states of the pencil, the three action icons and the start/close button.
    static constexpr int PointerNormal = -1;
    static constexpr int PointerHovered = 0;
    static constexpr int PointerPressed = 1;

    explicit OrvPlayerItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    // The rectangle the states draw into: the cell less its top margin.
    static QRect cellRect(const QRect &cell);

signals:
    void startOrClose(const QModelIndex &index);
    void createLink(const QModelIndex &index);
    void deleteData(const QModelIndex &index);
    void backupOrRestoreData(const QModelIndex &index);
    void editNameFinish();

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private slots:
    void closeEditorSlot();

private:
    void resetPointerStates();

    QPoint mousePos;
    int editIconState = -1;
    int backupIconState = -1;
    int deleteIconState = -1;
    int shortcutIconState = -1;
    int buttonState = -1;
    QString oldTitle;
    bool editRequested = false;
    // Set while a title is being written, so that a message shown meanwhile cannot commit it again.
    mutable bool committing = false;
};

} // namespace OrvMulti
