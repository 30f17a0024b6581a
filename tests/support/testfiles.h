#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QString>

// The bytes of a file, or "(unreadable)" when it cannot be read.
QByteArray fileContents(const QString &path);
// Makes a file of the given bytes; a test that calls it fails when it cannot.
void writeFile(const QString &path, const QByteArray &bytes);

#endif // TESTFILES_H
