#ifndef ROWOUTPUT_H
#define ROWOUTPUT_H

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

// Where the rows of a command go: tab-separated lines under a header, or one
// JSON object per line. Rows for standard output are written as they come;
// rows for a file are gathered and the file is written once, complete or not
// at all, when the run ends.
class RowOutput
{
public:
    enum class Format { Table, Json };

    // An empty fileName stands for standard output.
    RowOutput(Format format, const QString &fileName);

    // Whether the file can be written, checked before anything is measured.
    bool checkWritable(QString *error) const;

    // Starts with the column names (JSON keys) and the table's header line, which
    // may be empty.
    void begin(const QStringList &columns, const QByteArray &tableHeader);
    // A row whose table line is TableText::line of the values.
    void add(const QVector<QJsonValue> &values);
    // A row whose table line is given whole.
    void add(const QVector<QJsonValue> &values, const QByteArray &tableLine);
    // Writes the file; false with the reason in error when it, or standard
    // output, could not be written.
    bool finish(QString *error);

    int rowCount() const { return m_rows; }
    // Whether the rows go to a plain file, which an existing one is kept in
    // place of when there are none; a pipe or device is no such file.
    bool writesPlainFile() const;
    // Standard output refused rows: those to come could not be kept either.
    bool hasFailed() const { return !m_failure.isEmpty(); }
    // The file's name, or "standard output".
    QString name() const;

private:
    void put(const QByteArray &bytes);

    Format m_format;
    QString m_fileName;
    QStringList m_columns;
    QByteArray m_gathered;
    QString m_failure;
    int m_rows = 0;
};

#endif // ROWOUTPUT_H
