#include "plotfiles.h"
#include "atomicfile.h"
#include "plotimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>

namespace {

QString withCapital(const QString &text)
{
    return text.left(1).toUpper() + text.mid(1);
}

// The texts of the window's dialogs are the window's to translate.
QString tr(const char *text)
{
    return QCoreApplication::translate("Form", text);
}

} // namespace

PlotFiles::PlotFiles(QWidget *window, QLabel *status)
    : m_window(window),
      m_status(status)
{
}

void PlotFiles::saveData(const QString &what, const QString &proposedName, const QString &nothing,
                         const std::function<bool()> &hasRows, const std::function<QByteArray()> &bytes)
{
    if (!hasRows()) {
        m_status->setText(nothing);
        return;
    }
    const QString fileName = askFileName(tr("Save File..."), proposedName, tr("Text files (*.txt)"));
    if (fileName.isEmpty())
        return;
    if (!hasRows()) {
        m_status->setText(nothing);
        return;
    }
    write(what, tr("Save Data"), fileName, bytes());
}

void PlotFiles::saveImage(QCustomPlot *plot, const QString &proposedName)
{
    const QString fileName = askFileName(tr("Save File..."), proposedName, tr("Images (*.png *.pdf)"));
    if (fileName.isEmpty())
        return;
    QByteArray bytes;
    QString error;
    if (!PlotImage::render(plot, fileName, &bytes, &error)) {
        reportSaveFailure(QStringLiteral("image"), tr("Save Image"), fileName, error);
        return;
    }
    write(QStringLiteral("image"), tr("Save Image"), fileName, bytes);
}

// Checked, every counts reading goes to the chosen file as it comes, after
// what the file holds already; unchecked, the file is closed.
void PlotFiles::toggleRecording(const QDateTime &runStart)
{
    if (m_record.isOpen()) {
        const QString name = QDir::toNativeSeparators(m_record.fileName());
        if (m_record.close())
            m_status->setText(QStringLiteral("Recording to %1 ended").arg(name));
        else
            reportRecordingFailure(QStringLiteral("stopped"), false);
        return;
    }
    const QString fileName = askFileName(tr("Record to File..."), QStringLiteral("counts-record.txt"),
                                         tr("Text files (*.txt)"), QFileDialog::DontConfirmOverwrite);
    if (fileName.isEmpty())
        return;
    if (!m_record.open(fileName)) {
        reportRecordingFailure(QStringLiteral("not started"), false);
        return;
    }
    m_saveFolder = QFileInfo(fileName).absolutePath();
    if (runStart.isValid() && !m_record.beginRun(runStart)) {
        reportRecordingFailure(QStringLiteral("stopped"), false);
        return;
    }
    m_status->setText(QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(fileName)));
}

void PlotFiles::recordRunStart(const QDateTime &runStart)
{
    if (m_record.isOpen() && !m_record.beginRun(runStart))
        reportRecordingFailure(QStringLiteral("stopped"), true);
}

void PlotFiles::recordReading(double seconds, const CountsReading &reading)
{
    if (m_record.isOpen() && !m_record.add(seconds, reading))
        reportRecordingFailure(QStringLiteral("stopped"), true);
}

// The save dialogs start in the folder of the last file saved, or in the
// working directory until one is.
QString PlotFiles::askFileName(const QString &caption, const QString &proposedName, const QString &filter,
                               QFileDialog::Options options)
{
    const QString proposed = m_saveFolder.isEmpty() ? proposedName : QDir(m_saveFolder).filePath(proposedName);
    return QFileDialog::getSaveFileName(m_window, caption, proposed, filter, nullptr, options);
}

// The file is written through a temporary one and replaces an existing file
// only once complete, so a failed save leaves the old file as it was.
bool PlotFiles::write(const QString &what, const QString &title, const QString &fileName, const QByteArray &bytes)
{
    // The saved file would take the record's place and end it.
    if (m_record.isFile(fileName)) {
        reportSaveFailure(what, title, fileName, QStringLiteral("it is the file being recorded to"));
        return false;
    }
    QString error;
    if (!AtomicFile::write(fileName, bytes, &error)) {
        reportSaveFailure(what, title, fileName, error);
        return false;
    }
    m_saveFolder = QFileInfo(fileName).absolutePath();
    m_status->setText(QStringLiteral("%1 saved to %2").arg(withCapital(what), QDir::toNativeSeparators(fileName)));
    return true;
}

void PlotFiles::reportSaveFailure(const QString &what, const QString &title, const QString &fileName,
                                  const QString &reason)
{
    const QString name = QDir::toNativeSeparators(fileName);
    m_status->setText(QStringLiteral("%1 not saved to %2: %3").arg(withCapital(what), name, reason));
    QMessageBox box(QMessageBox::Warning, title, tr("The %1 could not be saved to %2:\n%3").arg(what, name, reason),
                    QMessageBox::Ok, m_window);
    // A file name is not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// what: "stopped" or "not started". While a measurement runs the message does
// not wait for an answer, so that no reading waits for it either.
void PlotFiles::reportRecordingFailure(const QString &what, bool whileRunning)
{
    const QString name = QDir::toNativeSeparators(m_record.fileName());
    m_status->setText(QStringLiteral("Recording to %1 %2: %3").arg(name, what, m_record.error()));
    QString text = tr("Recording to %1 %2:\n%3").arg(name, what, m_record.error());
    // A file that was deleted or replaced keeps nothing of the record.
    if (what == QLatin1String("stopped") && !m_record.isGone())
        text += tr("\nThe file keeps what was recorded before.");
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Record to File"), text, QMessageBox::Ok, m_window);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (whileRunning)
        box->open();
    else
        box->exec();
}
