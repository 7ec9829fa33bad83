#pragma once

#include "feedbackrequest.h"
#include "funcbasedialog.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>

class QLineEdit;
class QNetworkReply;
class QPushButton;
class QTextEdit;

// The feedback form: a free text and one contact (QQ number, phone number or e-mail address), posted
// as a base API request to the API server; the user sees one message with the outcome. A failed post
// leaves the form open with its texts for another try.
class FeedbackDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    explicit FeedbackDialog(QWidget *parent = nullptr);
    ~FeedbackDialog() override;

    QTextEdit *contentEdit() const { return m_content; }
    QLineEdit *contactEdit() const { return m_information; }

    // Builds the request for the form's text and this contact kind and posts it.
    void sendFeedback(int kind);

signals:
    // After the outcome message was closed: true sent, false failed.
    void feedbackSent(bool ok);

public slots:
    void on_btn_close_clicked();
    void on_btn_submit_clicked();
    void replyFinished(QNetworkReply *reply);
    void finished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMessage(const QString &text);

    QPushButton *m_close;
    QTextEdit *m_content;
    QLineEdit *m_information;
    QPushButton *m_submit;
    QNetworkAccessManager m_manager;
    // Replies still running, let go (without their handlers) when the dialog goes.
    QList<QPointer<QNetworkReply>> m_replies;
};

// The small pop-up under the title bar's "more" button: FAQ, feedback form, service chat group, forum.
class FeedbackPopuMenu : public QWidget
{
    Q_OBJECT

public:
    static const char *const kFaqUrl;
    static const char *const kForumUrl;

    explicit FeedbackPopuMenu(QWidget *parent = nullptr);

public slots:
    void faqBtnClick(bool checked = false);
    void feedbackBtnClick(bool checked = false);
    void qqBtnClick();
    void bbsBtnClick(bool checked = false);
};
