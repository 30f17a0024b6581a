#include "dialog.h"
#include "form.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The control-unit library logs under categories of its own; the window's
    // log shows their lines bare, as it shows its own.
    qSetMessagePattern(QStringLiteral("%{message}"));
    QApplication app(argc, argv);
    // The main window lives until the process ends; it is never deleted.
    Form *form = new Form;
    Dialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    form->setAddress(dialog.getAddress());
    form->updateParams();
    form->show();
    return app.exec();
}
