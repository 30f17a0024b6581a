#include "filesizelimit.h"

#include <signal.h>

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    rlimit limit = m_saved;
    limit.rlim_cur = rlim_t(bytes);
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_set)
        setrlimit(RLIMIT_FSIZE, &m_saved);
}
