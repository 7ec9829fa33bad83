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

CreatingActionThreadAction::CreatingActionThreadAction()
{
    connect(&thread, &QThread::started, this, &CreatingActionThreadAction::OnBeginToCreate);
    connect(&thread, &QThread::finished, this, &CreatingActionThreadAction::OnCreatingFinish);
}

CreatingActionThreadAction::~CreatingActionThreadAction()
{
    thread.quit();
    thread.wait();
}

void CreatingActionThreadAction::start()
{
    if (running || thread.isRunning())
        return;
    running = true;
    m_home = QThread::currentThread();
    moveToThread(&thread);
    thread.start();
}

QString CreatingActionThreadAction::failureText() const
{
    return m_failureText;
}

void CreatingActionThreadAction::OnBeginToCreate()
{
    running = true;
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
    // Back to the thread that started the batch, so that the next start can move it again.
    moveToThread(m_home);
    thread.quit();
}

void CreatingActionThreadAction::OnCreatingFinish()
{
    if (running) {
        running = false;
        emit CreatingFinish();
    }
}

StartPlayersThreadAction::StartPlayersThreadAction()
{
    connect(&thread, &QThread::started, this, &StartPlayersThreadAction::OnBeginToStart);
    connect(&thread, &QThread::finished, this, &StartPlayersThreadAction::OnStartFinish);
}

StartPlayersThreadAction::~StartPlayersThreadAction()
{
    thread.quit();
    thread.wait();
}

void StartPlayersThreadAction::start()
{
    if (running || thread.isRunning())
        return;
    running = true;
    m_home = QThread::currentThread();
    moveToThread(&thread);
    thread.start();
}

void StartPlayersThreadAction::OnBeginToStart()
{
    running = true;
    const QVector<int> rows = indexes;
    for (const int row : rows) {
        emit WaitToStart(row);
        emit StartPlayerNow(row);
    }
    moveToThread(m_home);
    thread.quit();
}

void StartPlayersThreadAction::OnStartFinish()
{
    if (running) {
        running = false;
        emit StartFinish();
    }
}

} // namespace OrvMulti
