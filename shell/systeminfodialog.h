#pragma once

#include "funcbasedialog.h"

#include <QList>
#include <QPair>
#include <QString>

class QLabel;
class QPushButton;

// What the emulator knows about the host and its own instance, as labelled rows; the copy button puts
// the same rows as plain text on the clipboard for support requests.
class SystemInfoDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    // One row: translated label and value.
    using Row = QPair<QString, QString>;

    explicit SystemInfoDialog(QWidget *parent = nullptr);

    // The rows from the process-wide values as they are now.
    static QList<Row> currentRows();
    // "label:value\r\n" per row.
    static QString copyText(const QList<Row> &rows);
    // The label's rich text; labels and values are escaped, so a name with "<" or "&" shows as it is.
    static QString richText(const QList<Row> &rows);

    QString copyText() const { return m_copyText; }

public slots:
    void on_btn_close_clicked();
    void on_btn_copy_clicked();

private:
    QPushButton *m_close;
    QLabel *m_title;
    QLabel *m_info;
    QPushButton *m_copy;
    QString m_copyText;
};
