#include "folderclean.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

int removePlainFiles(const QString &folder)
{
    // Opened without following a link, so every name below is taken relative to the real folder.
    const int dirFd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int listFd = ::dup(dirFd);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        ::close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        struct stat info;
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        // Deleting needs no write permission on the file itself; it is made writable for its owner
        // first, through a descriptor that cannot be a link.
        const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct stat opened;
            if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
                ::fchmod(fd, S_IWUSR);
            ::close(fd);
        }
        if (::unlinkat(dirFd, name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    ::close(dirFd);
    return removed;
}

} // namespace Platform
