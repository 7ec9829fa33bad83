#include "feedbackdialog.h"

#include "commondialog.h"
#include "dialogtype.h"
#include "reportbuilder.h"
#include "serverconfig.h"
#include "vboxerrordialog.h"

#include <QDebug>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextEdit>
#include <QUrl>

const char *const FeedbackPopuMenu::kFaqUrl = "https://www.halvora.example/question/question.html";
const char *const FeedbackPopuMenu::kForumUrl = "https://forum.halvora.example/";

namespace {
const char *const kDialogStyle = "QDialog{ background: #343841; border: 1px solid #111518; }";
const char *const kReturnStyle =
    "QPushButton{ background: transparent url(:/images/fun_dialog_return.png); border: none; }"
    "QPushButton:hover{ background: transparent url(:/images/fun_dialog_return_hover.png); }";
const char *const kFieldStyle =
    "border: none; background: #2d3037; color: #7a7d8b; font: 16px; padding: 10px;";
const char *const kSubmitStyle =
    "QPushButton{ background: #0190ff; border-radius: 2px; color: white; font: 18px \"黑体\"; border: none; }"
    "QPushButton:hover{ background: #44aeff; } QPushButton:pressed{ background: #007ae7; }";
const char *const kEntryStyle =
    "QPushButton{ border: none; background: transparent; color: #7a7d8d; font: 16px \"黑体\"; "
    "text-align: left; padding-left: 13px; } QPushButton:hover{ color: #ffffff; }";
} // namespace

FeedbackDialog::FeedbackDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44)
{
    setObjectName(QStringLiteral("FeedbackDialog"));
    resize(740, 680);
    setStyleSheet(QLatin1String(kDialogStyle));
    setWindowTitle(QStringLiteral("Dialog"));
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("btn_close"));
    m_close->setGeometry(30, 20, 13, 22);
    m_close->setStyleSheet(QLatin1String(kReturnStyle));
    auto *title = new QLabel(tr("feedback"), this);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(60, 20, 620, 20);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("color: white; font: 20px \"黑体\"; background: transparent;"));
    auto *line = new QWidget(this);
    line->setObjectName(QStringLiteral("line"));
    line->setGeometry(1, 60, 738, 1);
    line->setStyleSheet(QStringLiteral("background: #3d4248;"));
    m_content = new QTextEdit(this);
    m_content->setObjectName(QStringLiteral("text_content"));
    m_content->setGeometry(20, 80, 700, 200);
    m_content->setStyleSheet(QLatin1String(kFieldStyle));
    m_content->setAcceptRichText(false);
    m_information = new QLineEdit(this);
    m_information->setObjectName(QStringLiteral("text_information"));
    m_information->setGeometry(20, 290, 700, 64);
    m_information->setStyleSheet(QLatin1String(kFieldStyle));
    m_submit = new QPushButton(tr("commit"), this);
    m_submit->setObjectName(QStringLiteral("btn_submit"));
    m_submit->setGeometry(20, 384, 700, 44);
    m_submit->setStyleSheet(QLatin1String(kSubmitStyle));

    m_information->setValidator(new QRegularExpressionValidator(
        QRegularExpression(FeedbackRequest::validatorPattern()), m_information));
    m_content->setPlainText(tr("feedback_content_init"));
    m_information->setText(tr("feedback_information_init"));
    m_content->installEventFilter(this);
    m_information->installEventFilter(this);
    connect(&m_manager, &QNetworkAccessManager::finished, this, &FeedbackDialog::replyFinished);
    QMetaObject::connectSlotsByName(this);
}

FeedbackDialog::~FeedbackDialog()
{
    // A reply that finishes after the dialog has gone must reach none of its handlers.
    disconnect(&m_manager, nullptr, this, nullptr);
    for (const QPointer<QNetworkReply> &reply : qAsConst(m_replies)) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
        }
    }
}

bool FeedbackDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content) {
        const QString initial = tr("feedback_content_init");
        if (event->type() == QEvent::FocusIn && m_content->toPlainText() == initial)
            m_content->clear();
        else if (event->type() == QEvent::FocusOut && m_content->toPlainText().isEmpty())
            m_content->setPlainText(initial);
    } else if (watched == m_information) {
        const QString initial = tr("feedback_information_init");
        if (event->type() == QEvent::FocusIn && m_information->text() == initial)
            m_information->clear();
        else if (event->type() == QEvent::FocusOut && m_information->text().isEmpty())
            m_information->setText(initial);
    }
    return FuncBaseDialog::eventFilter(watched, event);
}

void FeedbackDialog::showMessage(const QString &text)
{
    CommonDialog dialog(text, static_cast<int>(DialogType::Message), this);
    dialog.exec();
}

void FeedbackDialog::on_btn_close_clicked()
{
    close();
}

void FeedbackDialog::on_btn_submit_clicked()
{
    const QString text = m_content->toPlainText();
    const QString contact = m_information->text();
    if (text.isEmpty() || text == tr("feedback_content_init")) {
        showMessage(tr("please_check"));
        return;
    }
    if (contact.isEmpty() || contact == tr("feedback_information_init")) {
        showMessage(tr("please_check_contact_info"));
        return;
    }
    const FeedbackRequest::ContactKind kind = FeedbackRequest::contactKind(contact);
    if (kind == FeedbackRequest::NoContact) {
        showMessage(tr("please_check_contact_info"));
        return;
    }
    sendFeedback(kind);
}

void FeedbackDialog::sendFeedback(int kind)
{
    const QByteArray body =
        FeedbackRequest::body(m_content->toPlainText(), m_information->text(),
                              static_cast<FeedbackRequest::ContactKind>(kind), ReportIdentity::current());
    QNetworkRequest request(ServerConfig::baseApiUrl());
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    // A server that never answers ends as a failed post after the configured wait.
    request.setTransferTimeout(ServerConfig::replyTimeoutMs());
    QNetworkReply *reply = m_manager.post(request, body);
    m_replies << reply;
    connect(reply, &QNetworkReply::finished, this, &FeedbackDialog::finished);
}

void FeedbackDialog::replyFinished(QNetworkReply *reply)
{
    m_replies.removeAll(reply);
    const bool ok = reply->error() == QNetworkReply::NoError;
    qInfo().noquote() << QStringLiteral("Feedback   : post ") +
                             (ok ? QStringLiteral("sent")
                                 : QStringLiteral("failed: ") + reply->errorString());
    // The message runs its own loop; this dialog may be closed meanwhile, never destroyed (the caller's
    // exec has not returned yet).
    if (ok) {
        showMessage(tr("send successfully"));
        close();
    } else {
        showMessage(tr("send failed"));
    }
    emit feedbackSent(ok);
}

void FeedbackDialog::finished()
{
    if (auto *reply = qobject_cast<QNetworkReply *>(sender()))
        reply->deleteLater();
}

FeedbackPopuMenu::FeedbackPopuMenu(QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("FeedbackPopuMenu"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    const struct
    {
        const char *name;
        const char *text;
        int y;
        int h;
    } entries[] = {{"pushButton_FAQ", QT_TR_NOOP("常见问题"), 7, 35},
                   {"pushButton_feendback", QT_TR_NOOP("反馈建议"), 43, 35},
                   {"pushButton_qq", QT_TR_NOOP("客服 QQ"), 79, 34},
                   {"pushButton_bbs", QT_TR_NOOP("交流论坛"), 115, 34}};
    QPushButton *buttons[4];
    // 93 pixels wide, or as wide as the longest entry needs (13 pixels of room on either side of it):
    // the English texts are longer than the ones the pop-up was drawn for.
    int width = 93;
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(tr(entries[i].text), this);
        buttons[i]->setObjectName(QLatin1String(entries[i].name));
        buttons[i]->setStyleSheet(QLatin1String(kEntryStyle));
        buttons[i]->setFocusPolicy(Qt::NoFocus);
        buttons[i]->ensurePolished();
        width = qMax(width, buttons[i]->fontMetrics().horizontalAdvance(buttons[i]->text()) + 2 * 13 + 2);
    }
    resize(width, 152);
    setMinimumSize(width, 78);
    setMaximumSize(width, 187);
    setWindowOpacity(1.0);
    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("widget"));
    background->setGeometry(0, 0, width, 187);
    background->setAttribute(Qt::WA_StyledBackground);
    background->setStyleSheet(QStringLiteral(
        "#widget{ border-image: url(:/images/popup_menu_background); background-color: transparent; }"));
    background->lower();
    for (int i = 0; i < 4; ++i)
        buttons[i]->setGeometry(1, entries[i].y, width - 2, entries[i].h);
    for (const auto &sep :
         {std::make_pair("label_2", 42), std::make_pair("label_3", 78), std::make_pair("label_4", 114)}) {
        auto *label = new QLabel(this);
        label->setObjectName(QLatin1String(sep.first));
        label->setGeometry(1, sep.second, width - 2, 1);
        label->setStyleSheet(QStringLiteral("background: #3d4248;"));
    }
    connect(buttons[0], &QPushButton::clicked, this, &FeedbackPopuMenu::faqBtnClick);
    connect(buttons[1], &QPushButton::clicked, this, &FeedbackPopuMenu::feedbackBtnClick);
    connect(buttons[2], &QPushButton::clicked, this, &FeedbackPopuMenu::qqBtnClick);
    connect(buttons[3], &QPushButton::clicked, this, &FeedbackPopuMenu::bbsBtnClick);
}

void FeedbackPopuMenu::faqBtnClick(bool)
{
    close();
    QDesktopServices::openUrl(QUrl(QLatin1String(kFaqUrl)));
}

void FeedbackPopuMenu::feedbackBtnClick(bool)
{
    close();
    FeedbackDialog dialog(nullptr);
    dialog.exec();
}

void FeedbackPopuMenu::qqBtnClick()
{
    close();
    QDesktopServices::openUrl(QUrl(QLatin1String(VBoxErrorDialog::kServiceUrl)));
}

void FeedbackPopuMenu::bbsBtnClick(bool)
{
    close();
    QDesktopServices::openUrl(QUrl(QLatin1String(kForumUrl)));
}
