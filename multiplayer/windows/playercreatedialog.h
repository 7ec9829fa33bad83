#pragma once

#include "basedialog.h"

#include <memory>

namespace Ui {
class playerCreateDialog;
}

class QRegularExpressionValidator;

namespace OrvMulti {

// Asks which instance to copy (or the base image) and how many new instances to make, 1 to 10.
class playerCreateDialog : public BaseDialog
{
    Q_OBJECT

public:
    // The texts the count field accepts.
    static const char *const CountPattern;

    playerCreateDialog(const QStringList &sources, QWidget *parent = nullptr);
    ~playerCreateDialog() override;

    // The chosen copy source: the combo box's current text.
    QString source() const;
    // The count field's text as a number (0 when it holds none).
    int count() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void editingFinishedSlot();

private:
    // An empty count field means one instance.
    void restoreEmptyCount();

    std::unique_ptr<Ui::playerCreateDialog> ui;
    QRegularExpressionValidator *validator = nullptr;
};

} // namespace OrvMulti
