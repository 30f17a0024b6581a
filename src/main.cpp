#include "form.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Form *form = new Form;
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
    form->updateParams();
    form->show();
    return app.exec();
}
