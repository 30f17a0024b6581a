#include "rowoutput.h"
#include "atomicfile.h"
#include "filetarget.h"
#include "standardstreams.h"
#include "tabletext.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

RowOutput::RowOutput(Format format, const QString &fileName)
    : m_format(format),
      m_fileName(fileName)
{
}

bool RowOutput::checkWritable(QString *error) const
{
    return m_fileName.isEmpty() || AtomicFile::canWrite(m_fileName, error);
}

void RowOutput::begin(const QStringList &columns, const QByteArray &tableHeader)
{
    m_columns = columns;
    if (m_format == Format::Table)
        put(tableHeader);
}

void RowOutput::add(const QVector<QJsonValue> &values)
{
    add(values, TableText::line(values));
}

void RowOutput::add(const QVector<QJsonValue> &values, const QByteArray &tableLine)
{
    ++m_rows;
    if (m_format == Format::Table) {
        put(tableLine);
        return;
    }
    QJsonObject row;
    for (int column = 0; column < m_columns.size() && column < values.size(); ++column)
        row.insert(m_columns[column], values[column]);
    put(QJsonDocument(row).toJson(QJsonDocument::Compact) + '\n');
}

bool RowOutput::finish(QString *error)
{
    if (!m_fileName.isEmpty())
        return AtomicFile::write(m_fileName, m_gathered, error);
    if (!hasFailed() && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        m_failure = QString::fromLocal8Bit(std::strerror(errno));
    *error = m_failure;
    return !hasFailed();
}

bool RowOutput::writesPlainFile() const
{
    return !m_fileName.isEmpty() && FileTarget::kindOf(m_fileName) == FileTarget::Kind::PlainFile;
}

QString RowOutput::name() const
{
    return m_fileName.isEmpty() ? QStringLiteral("standard output") : m_fileName;
}

void RowOutput::put(const QByteArray &bytes)
{
    if (!m_fileName.isEmpty()) {
        m_gathered += bytes;
        return;
    }
    if (hasFailed())
        return;
    StandardStreams::writeOut(bytes, &m_failure);
}
