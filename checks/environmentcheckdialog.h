#pragma once

#include "checkaction.h"
#include "funcbasedialog.h"

#include <QVector>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
struct EnvironmentCheckSession;

// One listed check: status image, message, and a hint button that leads to the check's help page.
class EnvironmentCheckItemView : public QWidget
{
    Q_OBJECT

public:
    EnvironmentCheckItemView(environmentCheckItem item, QWidget *parent = nullptr);
    const environmentCheckItem &item() const { return m_item; }

signals:
    void GotoHandle(QString name);

private slots:
    void on_btn_goto_clicked();
    void on_btn_tip_clicked();

private:
    environmentCheckItem m_item;
};

class RequiredCheckHeaderView : public QWidget
{
    Q_OBJECT

public:
    explicit RequiredCheckHeaderView(QWidget *parent = nullptr);
};

// The optional section's header; its "no longer prompt" box switches the start-up showing of optional
// results off.
class OptionalCheckHeaderView : public QWidget
{
    Q_OBJECT

public:
    OptionalCheckHeaderView(QWidget *parent, bool showRemind);

private slots:
    void on_cb_remind_clicked(bool checked);
};

// Shows the failed environment checks (and passed ones when asked), reruns the checks every two
// seconds on a pool thread while open, and closes itself once everything passes.
class EnvironmentCheckDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    EnvironmentCheckDialog(QString requiredResults, QString optionalResults, bool optionalOnly,
                           bool showPassed, QWidget *parent = nullptr);
    ~EnvironmentCheckDialog() override;

    // Read by the callers after the dialog has closed.
    bool requiredPassed() const;
    bool optionalPassed() const;

    // The help page of a check name; empty for an unknown name.
    static QString helpPage(const QString &checkName);

    // Seconds between reruns of the checks; 2 in production.
    static void setRerunIntervalMs(int ms);

    void done(int result) override;

signals:
    void UpdateView(QVector<environmentCheckItem> requiredItemList,
                    QVector<environmentCheckItem> optionalItemList);
    void CloseView();

public slots:
    void OnGotoHandle(QString name);

private slots:
    void OnUpdateView(QVector<environmentCheckItem> requiredItemList,
                      QVector<environmentCheckItem> optionalItemList);
    void OnCloseView();
    void on_btn_close_clicked();
    void on_btn_start_clicked();

private:
    void buildForm();
    void buildList(const QVector<environmentCheckItem> &required,
                   const QVector<environmentCheckItem> &optional);
    void stopWorker();

    std::shared_ptr<EnvironmentCheckSession> m_session;
    QScrollArea *m_scrollArea = nullptr;
    QPushButton *m_startButton = nullptr;
    QWidget *listContainer = nullptr;
    QVBoxLayout *listLayout = nullptr;
    RequiredCheckHeaderView *requiredHeader = nullptr;
    OptionalCheckHeaderView *optionalHeader = nullptr;
    QVector<environmentCheckItem> requiredItems;
    QVector<environmentCheckItem> optionalItems;
    int listHeight = 0;
    bool optionalOnly;
    bool showPassed;
};
