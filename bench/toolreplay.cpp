// The baseline of the start-up's own time between its tool calls: the smallest program that runs the
// same command lines one after the other. Each call is started with posix_spawn, its standard output
// and error are read to their end through pipes, and its end is waited for; nothing else happens
// between two calls (no log, no parsing, no event loop).
//   bench_toolreplay <tool program> <file: one JSON array of arguments per line>
// Prints "replayed <n>" and exits 0 when every line was run, else says why and exits 1.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

std::vector<std::vector<std::string>> readCommandLines(const char *path)
{
    std::vector<std::vector<std::string>> lines;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        std::vector<std::string> args;
        for (const QJsonValue &value : QJsonDocument::fromJson(line).array())
            args.push_back(value.toString().toStdString());
        lines.push_back(args);
    }
    return lines;
}

// Runs one call to its end; false when it could not be started.
bool runOnce(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawnError != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return false;
    }
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        for (pollfd &fd : fds) {
            if (fd.fd < 0 || fd.revents == 0)
                continue;
            if (::read(fd.fd, buffer, sizeof buffer) <= 0) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    for (const pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_toolreplay <tool program> <command-line file>\n");
        return 1;
    }
    const std::string program = argv[1];
    const std::vector<std::vector<std::string>> lines = readCommandLines(argv[2]);
    if (lines.empty()) {
        std::fprintf(stderr, "no command lines in %s\n", argv[2]);
        return 1;
    }
    for (const std::vector<std::string> &args : lines) {
        if (!runOnce(program, args)) {
            std::fprintf(stderr, "cannot start %s\n", program.c_str());
            return 1;
        }
    }
    std::printf("replayed %zu\n", lines.size());
    return 0;
}
