#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H

#include <QtGlobal>

#include <sys/resource.h>

// Lowers the largest file this process may write, as a full disk would refuse
// the data, for as long as it lives. A write beyond it fails with "File too
// large" instead of ending the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    rlimit m_saved {};
    bool m_set = false;
};

#endif // FILESIZELIMIT_H
