#ifndef TABLETEXT_H
#define TABLETEXT_H

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

// Lines of the program's tab-separated tables: fields joined by tabs, CR LF
// after each line, numbers in their shortest exact text.
namespace TableText {

// The shortest general-notation text that reads back as the same double, '.' as
// decimal point in every locale. Six significant digits are used whenever they
// already hold the value exactly, so 1000, 0.5, 1e-05 and 1e+06 keep their
// usual text; otherwise as many as it takes (1234567, 1.0001e+06).
QString exactNumberText(double value);

// The values as one line: numbers as exactNumberText, text as it is, null as
// an empty field (a value there is none of, never a 0).
QByteArray line(const QVector<QJsonValue> &values, const QByteArray &lineEnd = "\r\n");
QByteArray headerLine(const QStringList &columns);

} // namespace TableText

#endif // TABLETEXT_H
