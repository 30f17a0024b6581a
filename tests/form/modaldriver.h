#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that a save opens, as an operator would: the file
// dialog gets a file name (or is cancelled), the question whether to replace an
// existing file is answered yes, and a warning is read and closed.
class ModalDriver : public QObject
{
public:
    QString fileName;                  // empty: cancel the file dialog
    std::function<void()> whileOpen;   // runs while the file dialog is open
    QString fileDialogTitle;
    QStringList fileDialogFilters;
    QString proposedName;
    QStringList warnings;
    int replaceQuestions = 0;

    ModalDriver()
    {
        connect(&m_poll, &QTimer::timeout, this, &ModalDriver::answer);
        m_poll.start(10);
    }

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            fileDialogTitle = dialog->windowTitle();
            fileDialogFilters = dialog->nameFilters();
            proposedName = dialog->selectedFiles().value(0);
            if (whileOpen)
                whileOpen();
            // Typed in, as an operator would: selectFile() would look for the
            // directory first, and not every test file has one.
            if (!fileName.isEmpty())
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(fileName);
            // Queued: accepting may ask whether to replace the file, and a timer
            // does not fire again while its own handler waits for an answer.
            QMetaObject::invokeMethod(dialog, fileName.isEmpty() ? "reject" : "accept", Qt::QueuedConnection);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (box->icon() == QMessageBox::Warning && box->button(QMessageBox::Yes)) {
                ++replaceQuestions;
                box->button(QMessageBox::Yes)->click();
            } else {
                warnings << box->text();
                box->accept();
            }
        }
    }

    QTimer m_poll;
};

#endif // MODALDRIVER_H
