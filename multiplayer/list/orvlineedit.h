#pragma once

#include <QLineEdit>

namespace OrvMulti {

// The title editor of the instance list: counts its own text changes, so that the list can tell a
// title the user typed from the one it was opened with.
class OrvLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit OrvLineEdit(QWidget *parent = nullptr);

    int changeCount() const { return m_changeCount; }

private slots:
    void textChangedSlot();

private:
    int m_changeCount = 0;
};

} // namespace OrvMulti
