#ifndef DIALOG_H
#define DIALOG_H

#include "backgrounddiscovery.h"

#include <QDialog>
#include <QHostAddress>
#include <QStringList>

#include <memory>

QT_BEGIN_NAMESPACE
class Ui_Dialog;
QT_END_NAMESPACE

class Dialog : public QDialog
{
    Q_OBJECT

public:
    // A discovery begun before the dialog was made, when given, is the
    // dialog's first: its list is waited for instead of running another.
    explicit Dialog(QWidget *parent = nullptr, std::unique_ptr<BackgroundDiscovery> firstDiscovery = nullptr);
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
    std::unique_ptr<BackgroundDiscovery> firstDiscovery;
};

#endif // DIALOG_H
