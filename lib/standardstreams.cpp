#include "standardstreams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

namespace StandardStreams {

void reserveClosed()
{
    for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO }) {
        if (::fcntl(fd, F_GETFD) != -1)
            continue;
        const int placeholder = ::open("/dev/null", O_RDONLY);
        if (placeholder >= 0 && placeholder != fd) {
            ::dup2(placeholder, fd);
            ::close(placeholder);
        }
    }
}

bool writeOut(const QByteArray &bytes, QString *error)
{
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
        && std::fflush(stdout) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    return false;
}

} // namespace StandardStreams
