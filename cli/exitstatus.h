#ifndef EXITSTATUS_H
#define EXITSTATUS_H

// The tool's process exit statuses. When several apply, the file that could not
// be written wins over an interruption, and an interruption over failed readings.
enum ExitStatus {
    Success = 0,
    ReadingsFailed = 1,
    BadUsage = 2,
    UnitUnreachable = 3,
    FileNotWritten = 4,
    Interrupted = 130
};

#endif // EXITSTATUS_H
