#include "standardstreams.h"

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

} // namespace StandardStreams
