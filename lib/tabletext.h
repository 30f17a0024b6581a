#ifndef TABLETEXT_H
#define TABLETEXT_H

#include <QByteArray>
#include <QJsonValue>
#include <QStringList>
#include <QVector>

// Lines of the program's tab-separated tables: fields joined by tabs, CR LF
// after each line, numbers in their shortest exact text.
namespace TableText {

// The values as one line: numbers as SweepExport::exactNumberText, text as it
// is, null as an empty field (a value there is none of, never a 0).
QByteArray line(const QVector<QJsonValue> &values, const QByteArray &lineEnd = "\r\n");
QByteArray headerLine(const QStringList &columns);

} // namespace TableText

#endif // TABLETEXT_H
