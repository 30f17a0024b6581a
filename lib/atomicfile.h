#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

// Writes bytes to fileName through a temporary file that replaces the old file
// only once it is complete, so a failed write leaves the old file as it was.
// On failure, error (when given) holds the reason.
bool writeFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error = nullptr);

#endif // ATOMICFILE_H
