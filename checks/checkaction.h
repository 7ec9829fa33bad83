#pragma once

#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>

// One environment check: a fixed name, a result ("false" until it passes), the message the user reads
// and the text of the hint button. `describe()` gives the four joined by "|"; lists of checks give
// each child's text followed by ";" (the describe text that the start-up worker hands to the dialog).
class CheckAction : public QObject
{
    Q_OBJECT

public:
    CheckAction(QString name, QString result, QString message, QString actionHint, QObject *parent = nullptr);

    virtual void add(CheckAction *child);
    virtual bool check() = 0;
    virtual QString describe();
    // The object whose signal scheduleChanged(int from, int to) each leaf check drives once per run
    // (the start-up worker); null means no progress.
    virtual void setProgressReceiver(QObject *receiver);

    QString name;
    QString result;
    QString message;
    QString actionHint;
    QObject *progressReceiver = nullptr;

    // The separators of the describe text and of the start-up worker's request ("|", ";", "#"); a
    // text holding one would cut its check apart, so describe() replaces them by blanks.
    static QString withoutSeparators(QString text);

protected:
    // One step of the start-up progress: signal the receiver with (progress, progress + 1), truncated,
    // then add 1 to the process-wide progress. Nothing without a receiver.
    void progressStep();
    // Marks a pass: result "true", the pass message, and the hint tr("passed").
    void pass(const QString &passMessage);
};

// A list of checks that runs its children in order and joins their results; owns its children.
class ActionComposite : public CheckAction
{
    Q_OBJECT

public:
    ActionComposite();
    ~ActionComposite() override;

    void add(CheckAction *child) override;
    bool check() override;
    QString describe() override;
    void setProgressReceiver(QObject *receiver) override;

    const QVector<CheckAction *> &childList() const { return children; }

private:
    QVector<CheckAction *> children;
};

class ActionFactory
{
public:
    virtual ~ActionFactory() = default;
    virtual ActionComposite *create() = 0;
};

// PatchCheck (when due), DmBitsCheck, OpenGLCheck, DNFConflictCheck.
class RequiredActionFactory : public ActionFactory
{
public:
    ActionComposite *create() override;
};

// MemoryCheck, VTOpenStautsCheck, VTOccupiedStautsCheck, GraphicsCheck.
class OptionalActionFactory : public ActionFactory
{
public:
    ActionComposite *create() override;
};

// One row of the environment check dialog, read back from a describe text.
struct environmentCheckItem
{
    QString name;
    bool passed = false;
    QString message;
    QString actionHint;
};
Q_DECLARE_METATYPE(environmentCheckItem)
Q_DECLARE_METATYPE(QVector<environmentCheckItem>)

namespace CheckText {
// Reads a describe text back: drops the final ";", splits at ";" and then at "|", keeps entries of
// exactly four fields. Passed entries are kept only when `includePassed`. `stop`, when given, is
// looked at before each entry; once true the rows made so far are returned.
QVector<environmentCheckItem> parse(const QString &describeText, bool includePassed,
                                    const std::atomic_bool *stop = nullptr);
// Registers environmentCheckItem and its vector for queued signals; safe to call repeatedly.
void registerTypes();
} // namespace CheckText

// What the environment checks recorded per check name, for the usage report.
struct checkResultRecord
{
    int initState = 0;
    int endState = 0;
    int clickState = 0;
};

// The process-wide check record map, behind a lock: the start-up worker fills it, the dialog's worker
// and the GUI thread update it, the dialog dispatcher reports it.
namespace CheckResults {
void clear();
// One record per parsed check of the describe text: initState 1 for a pass, 0 for a failure.
void recordInitial(const QString &describeText);
// endState of every check of the text that the map already holds.
void recordEnd(const QString &describeText);
// clickState 1 when the map holds the name.
void recordClick(const QString &name);
QMap<QString, checkResultRecord> snapshot();
} // namespace CheckResults

// Set when the patch check has passed in this process; the patch probes are skipped afterwards.
extern bool patchCheckPassed;
