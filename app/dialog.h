#ifndef DIALOG_H
#define DIALOG_H

#include <QDialog>
#include <QHostAddress>
#include <QStringList>

QT_BEGIN_NAMESPACE
class Ui_Dialog;
QT_END_NAMESPACE

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    QHostAddress getAddress() const;
    static QHostAddress convertToHostAddress(const QString &text);

    void updateControlUnitList();
    QStringList availableControlUnits();

private slots:
    void on_cbTcpIpAddress_activated(const QString &text);

private:
    void enterAddressManually();
    void buildLayout();

    qint32 controlUnitPort;
    Ui_Dialog *ui;
    bool layoutBuilt = false;
};

#endif // DIALOG_H
