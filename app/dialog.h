#ifndef DIALOG_H
#define DIALOG_H

#include "discoveryrequest.h"

#include <QDialog>
#include <QHostAddress>
#include <QStringList>

#include <optional>

QT_BEGIN_NAMESPACE
class Ui_Dialog;
QT_END_NAMESPACE

class Dialog : public QDialog
{
    Q_OBJECT

public:
    // A request sent before the dialog was made, when given, is the first
    // discovery's: its answers are collected instead of sending another.
    explicit Dialog(QWidget *parent = nullptr, std::optional<DiscoveryRequest> sentRequest = std::nullopt);
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
    std::optional<DiscoveryRequest> sentRequest;
};

#endif // DIALOG_H
