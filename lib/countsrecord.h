#ifndef COUNTSRECORD_H
#define COUNTSRECORD_H

#include "countsreading.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>

class BackgroundSync;

// A record of counts readings that grows by one line per reading: each line is
// appended to the file at once, with no buffer of the program's own, and goes
// on to the disk in the background, so that a crash or a power loss takes at
// most the reading in flight. Nothing of a reading is kept once it is written.
//
// Each run starts with a header line, "Seconds since <start time>" and the
// channels; a reading is a row of the counts table, and a reading that failed
// is its seconds and the reason, never zeros.
class CountsRecord
{
public:
    CountsRecord();
    ~CountsRecord();

    // Opens fileName for appending, creating it if need be; false with error()
    // when it cannot be opened. A last line cut off in the file is ended before
    // the first line appended.
    bool open(const QString &fileName);
    // Closes the file once what it holds is on the disk; false with error()
    // when that flush failed.
    bool close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_fileName; }
    // Whether the file of that name is the open record's file, under any of its
    // names (links, other spellings of its path).
    bool isFile(const QString &fileName) const;
    // Why the last open, write or close failed.
    QString error() const { return m_error; }
    // Whether the record stopped because its file left its name, deleted or
    // replaced by another: what it held is not in the file of that name.
    bool isGone() const { return m_gone; }

    // The header line of a run that started at startTime.
    bool beginRun(const QDateTime &startTime);
    // The line of one reading taken seconds after the run's start.
    bool add(double seconds, const CountsReading &reading);

    // A write that fails closes the record: the file keeps the lines written
    // before, whole. The return value is false then, and error() says why. So
    // does a file that left its name, as no one would read what went into it.

    static QByteArray headerLine(const QDateTime &startTime);
    static QByteArray readingLine(double seconds, const CountsReading &reading);

private:
    bool append(const QByteArray &line);
    bool fail(const QString &reason);

    QFile m_file;
    QString m_fileName;
    std::unique_ptr<BackgroundSync> m_sync;
    QString m_error;
    // The file ends inside a line: the next line appended ends it first.
    bool m_lineEndOwed = false;
    bool m_gone = false;
};

#endif // COUNTSRECORD_H
