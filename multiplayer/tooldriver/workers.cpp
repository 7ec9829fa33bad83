#include "workers.h"

#include "managervboxtool.h"

namespace OrvMulti {

namespace {
bool isAlreadyExists(const QString &text)
{
    return text.contains(QLatin1String("already exists")) ||
           text.contains(QLatin1String("VERR_ALREADY_EXISTS"));
}
} // namespace

BatchThreadAction::~BatchThreadAction()
{
    endBatchThread();
}

void BatchThreadAction::endBatchThread()
{
    thread.quit();
    thread.wait();
}

void BatchThreadAction::start()
{
    if (running || thread.isRunning())
        return;
    running = true;
    m_home = QThread::currentThread();
    moveToThread(&thread);
    thread.start();
}

void BatchThreadAction::finishBatch()
{
    moveToThread(m_home);
    thread.quit();
}

CreatingActionThreadAction::CreatingActionThreadAction()
{
    connect(batchThread(), &QThread::started, this, &CreatingActionThreadAction::OnBeginToCreate);
    connect(batchThread(), &QThread::finished, this, &CreatingActionThreadAction::OnCreatingFinish);
}

QString CreatingActionThreadAction::failureText() const
{
    return m_failureText;
}

void CreatingActionThreadAction::OnBeginToCreate()
{
    beginBatch();
    const QString from = source;
    const QStringList batch = titles;
    VBoxTool &tool = VBoxTool::instance();
    for (int i = 0; i < batch.size(); ++i) {
        emit BeginToCreate(i);
        bool created = false;
        for (int attempt = 0; attempt < kAttemptsPerTitle; ++attempt) {
            QString vm;
            if (tool.clone(from, batch.at(i), &vm) == VBoxTool::Success) {
                emit FinishSucceed(i, vm);
                created = true;
                break;
            }
            m_failureText = tool.lastError();
            // The tool has already skipped or freed the taken number; other failures end the batch.
            if (!isAlreadyExists(m_failureText))
                break;
        }
        if (!created) {
            emit FinishFailed(i);
            break;
        }
    }
    finishBatch();
}

void CreatingActionThreadAction::OnCreatingFinish()
{
    if (takeRunning())
        emit CreatingFinish();
}

StartPlayersThreadAction::StartPlayersThreadAction()
{
    connect(batchThread(), &QThread::started, this, &StartPlayersThreadAction::OnBeginToStart);
    connect(batchThread(), &QThread::finished, this, &StartPlayersThreadAction::OnStartFinish);
}

void StartPlayersThreadAction::OnBeginToStart()
{
    beginBatch();
    const QVector<int> rows = indexes;
    for (const int row : rows) {
        emit WaitToStart(row);
        emit StartPlayerNow(row);
    }
    finishBatch();
}

void StartPlayersThreadAction::OnStartFinish()
{
    if (takeRunning())
        emit StartFinish();
}

} // namespace OrvMulti
