#include "testports.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest wait for a block while every one is held (each is held for one test program's life at most).
constexpr int kClaimWaitMs = 120000;

QByteArray lockFolder()
{
    // A fixed place, not TMPDIR: the tests move TMPDIR into their own trees.
    return "/tmp/orvanta-test-ports-" + QByteArray::number(static_cast<qulonglong>(::geteuid()));
}

} // namespace

TestPortBlock::TestPortBlock()
{
    const QByteArray folder = lockFolder();
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return;
    struct stat info;
    // Only a folder of this user's own counts (another user could otherwise hold every block).
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return;
    const QDeadlineTimer deadline(kClaimWaitMs);
    do {
        // Start at a different block in each process, so that claims rarely meet.
        const int first = 1 + static_cast<int>(::getpid() % (kBlocks - 1));
        for (int i = 0; i < kBlocks - 1; ++i) {
            const int index = 1 + (first - 1 + i) % (kBlocks - 1);
            const QByteArray path = folder + "/block-" + QByteArray::number(index) + ".lock";
            const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_fd = fd;
                m_index = index;
                return;
            }
            ::close(fd);
        }
        QThread::msleep(200);
    } while (!deadline.hasExpired());
    qWarning("test ports: every block is held; going on without one");
}

TestPortBlock::~TestPortBlock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace TestPorts {

quint16 freePort()
{
    static TestPortBlock block;
    static int next = 0;
    if (block.isValid()) {
        for (int tries = 0; tries < TestPortBlock::kBlockSize; ++tries) {
            const int port = block.guestPortBase() + next;
            next = (next + 1) % TestPortBlock::kBlockSize;
            QTcpServer probe;
            if (probe.listen(QHostAddress::LocalHost, static_cast<quint16>(port)))
                return static_cast<quint16>(port);
        }
    }
    // No block (or all of its ports in use by something else): the kernel's choice.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace TestPorts
