#include "dialog.h"
#include "form.h"
#include "tavikversion.h"

#include <QApplication>
#include <QIcon>

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // --version alone is the one option of the program's own, answered before
    // the toolkit starts; any other arguments go to QApplication unchanged.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavik-counter %s\n", TAVIK_VERSION);
        return 0;
    }
    // A write beyond the largest file the program may make (ulimit -f) fails
    // with its reason and is told, as one refused by a full disk is, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The control-unit library logs under categories of its own; the window's
    // log shows their lines bare, as it shows its own.
    qSetMessagePattern(QStringLiteral("%{message}"));
    QApplication app(argc, argv);
    // The icon installed with the desktop entry, for window lists and task bars.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tavik-counter")));
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
