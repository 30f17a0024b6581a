#ifndef PLOTFILES_H
#define PLOTFILES_H

#include "countsreading.h"
#include "countsrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileDialog>
#include <QString>

#include <functional>

class QCustomPlot;
class QLabel;
class QWidget;

// The files the plots save: their data and their pictures, asked for in the
// save dialog, written complete or not at all, and the record of a counts run
// that "Record to File..." keeps. Every outcome is told in the status line,
// and a failure also in a message box that names the file and the reason.
class PlotFiles
{
public:
    PlotFiles(QWidget *window, QLabel *status);

    // Where the save dialogs start: the folder of the last file saved.
    QString saveFolder() const { return m_saveFolder; }
    void setSaveFolder(const QString &folder) { m_saveFolder = folder; }

    // Asks for a file and writes the bytes of the data what names ("sweep
    // data") into it; the bytes are made only once the name is chosen, since
    // a run goes on while the dialog is open.
    // hasRows: whether there is a row to save, asked before the name and
    // again once it is chosen, since the rows may have gone meanwhile; without
    // one, nothing says so and no file is touched. bytes: the file.
    void saveData(const QString &what, const QString &proposedName, const QString &nothing,
                  const std::function<bool()> &hasRows, const std::function<QByteArray()> &bytes);
    void saveImage(QCustomPlot *plot, const QString &proposedName);

    bool isRecording() const { return m_record.isOpen(); }
    // Ends the recording that is on, or asks for a file and starts one; a run
    // already going (runStart valid) gets its header at once.
    void toggleRecording(const QDateTime &runStart);
    void recordRunStart(const QDateTime &runStart);
    void recordReading(double seconds, const CountsReading &reading);
    // Ends the recording, once what it holds is on the disk.
    void closeRecord() { m_record.close(); }

private:
    QString askFileName(const QString &caption, const QString &proposedName, const QString &filter,
                        QFileDialog::Options options = QFileDialog::Options());
    bool write(const QString &what, const QString &title, const QString &fileName, const QByteArray &bytes);
    void reportSaveFailure(const QString &what, const QString &title, const QString &fileName, const QString &reason);
    void reportRecordingFailure(const QString &what, bool whileRunning);

    QWidget *m_window;
    QLabel *m_status;
    CountsRecord m_record;
    QString m_saveFolder;
};

#endif // PLOTFILES_H
