#include "fakeunit.h"
#include "form.h"
#include "ui_form.h"

#include <QtTest>

class SmokeTest : public QObject
{
    Q_OBJECT
private slots:
    void updateReadsParameters()
    {
        FakeUnit unit;
        QVERIFY(unit.isListening());
        Form form;
        form.setAddress(QHostAddress(QHostAddress::LocalHost));
        form.updateParams();
        QCOMPARE(unit.commands(), QList<QByteArray>{ "PARAMS?\r\n" });
        auto *box = form.findChild<QSpinBox *>(QStringLiteral("sbTrigger0"));
        QCOMPARE(box->value(), 250);
        bool ok = false;
        QString reply = form.tcpIpQuery(QStringLiteral("DATA?"), 1000, &ok);
        QVERIFY(ok);
        QVERIFY(reply.contains(QStringLiteral("Channel3")));
    }
};

QTEST_MAIN(SmokeTest)
#include "tst_smoke.moc"
