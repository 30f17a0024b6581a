#include "fakeunit.h"
#include "form.h"

#include <QtTest>
#include <QtWidgets>

// The General page: reading the counter parameters with "Update" and writing a
// trigger level when the operator leaves its box.
class ParametersTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void updateReadsParameters_data();
    void updateReadsParameters();
    void updateButtonRunsUpdateOnce();
    void updateWithoutUsableReply_data();
    void updateWithoutUsableReply();
    void updateLeavesWhatTheReplyLacks_data();
    void updateLeavesWhatTheReplyLacks();

    void triggerBoxSendsOnEditingFinished_data();
    void triggerBoxSendsOnEditingFinished();
    void valueChangesSendNothing();
    void tabbingOutUnchangedStillSends();
    void dacWithoutReplyIsOk();
    void dacWithLinkDownShowsError();
    void destroyingWithFocusInTriggerBoxSendsNothing();

private:
    QSpinBox *triggerBox(int channel) const;
    QList<int> triggerValues() const;
    void showAndActivate();

    Form *form = nullptr;
};

void ParametersTest::init()
{
    form = new Form;
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
}

void ParametersTest::cleanup()
{
    delete form;
    form = nullptr;
}

QSpinBox *ParametersTest::triggerBox(int channel) const
{
    return form->findChild<QSpinBox *>(QStringLiteral("sbTrigger%1").arg(channel));
}

QList<int> ParametersTest::triggerValues() const
{
    QList<int> values;
    for (int channel = 0; channel < 4; ++channel)
        values << triggerBox(channel)->value();
    return values;
}

void ParametersTest::showAndActivate()
{
    form->show();
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
}

void ParametersTest::updateReadsParameters_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<QList<int>>("levels");
    QTest::addColumn<QString>("limited"); // the parameters the boxes cannot hold

    QTest::newRow("typical") << QByteArray(R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})") << 0.5
                             << QList<int>{ 250, 300, 0, 1200 } << QString();
    QTest::newRow("half a millivolt rounds up")
        << QByteArray(R"({"TimeConst":1,"Ref0":0.0625,"Ref1":0.0624,"Ref2":0.0005,"Ref3":0.9995})") << 1.0
        << QList<int>{ 63, 62, 1, 1000 } << QString();
    QTest::newRow("limited by the boxes")
        << QByteArray(R"({"TimeConst":20,"Ref0":2,"Ref1":-0.1,"Ref2":2147483.647,"Ref3":-5})") << 10.0
        << QList<int>{ 1200, 0, 1200, 0 }
        << QStringLiteral("TimeConst, Ref0, Ref1, Ref2, Ref3");
    // An object with trigger levels is the reply, whatever else it holds.
    QTest::newRow("counts among further members")
        << QByteArray(R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2,"Channel0":0,"Channel1":0,"Channel2":0,"Channel3":0})")
        << 0.5 << QList<int>{ 250, 300, 0, 1200 } << QString();
    // What comes ahead of the object belongs to no reply.
    QTest::newRow("late answer to an earlier command ahead")
        << QByteArray("DONE\r\n" R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})") << 0.5
        << QList<int>{ 250, 300, 0, 1200 } << QString();
    QTest::newRow("zero byte ahead")
        << QByteArray(1, '\0') + R"({"TimeConst":0.5,"Ref0":0.25,"Ref1":0.3,"Ref2":0,"Ref3":1.2})" << 0.5
        << QList<int>{ 250, 300, 0, 1200 } << QString();
    QTest::newRow("time constant keeps two decimals")
        << QByteArray("\r\n{\"Ref3\":0.7,\"TimeConst\":0.123,\"Ref2\":0.6,\"Ref1\":0.5,\"Ref0\":0.4}\r\n") << 0.12
        << QList<int>{ 400, 500, 600, 700 } << QString();
}

void ParametersTest::updateReadsParameters()
{
    QFETCH(QByteArray, reply);
    QFETCH(double, timeConstant);
    QFETCH(QList<int>, levels);
    QFETCH(QString, limited);

    FakeUnit unit;
    unit.setReply("PARAMS?", reply);
    auto *status = form->findChild<QLabel *>(QStringLiteral("lbStatus"));

    QTest::ignoreMessage(QtDebugMsg, "Update params");
    form->updateParams();

    QCOMPARE(form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->value(), timeConstant);
    QCOMPARE(triggerValues(), levels);
    QString expected = QStringLiteral("Parameters read from the control unit at 127.0.0.1");
    if (!limited.isEmpty())
        expected += QStringLiteral("; outside the boxes' range, shown at their limit: ") + limited;
    QCOMPARE(status->text(), expected);
    // Setting the boxes from the program writes nothing back to the unit.
    form->tcpIpQuery(QStringLiteral("DATA?"), 1000);
    QCOMPARE(unit.commands(), (QList<QByteArray>{ "PARAMS?\r\n", "DATA?" }));
}

void ParametersTest::updateButtonRunsUpdateOnce()
{
    FakeUnit unit;
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("pbUpdateParams")), Qt::LeftButton);
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("pbUpdateParams")), Qt::LeftButton);
    QCOMPARE(unit.commands(), (QList<QByteArray>{ "PARAMS?\r\n", "PARAMS?\r\n" }));
    QCOMPARE(triggerBox(3)->value(), 1200);
}

void ParametersTest::updateWithoutUsableReply_data()
{
    QTest::addColumn<bool>("unitListens");
    QTest::addColumn<FakeUnit::Reply>("reply");
    QTest::addColumn<QString>("status");

    const QString prefix = QStringLiteral("Update failed: ");
    QTest::newRow("nothing listening") << false << FakeUnit::Reply()
                                       << prefix + "the control unit at 127.0.0.1 cannot be reached";
    QTest::newRow("no reply") << true << FakeUnit::Reply()
                              << prefix + "no reply from the control unit at 127.0.0.1 within 50 ms";
    QTest::newRow("reply later than the wait")
        << true << FakeUnit::scripted(R"({"TimeConst":0.5,"Ref0":0.25})", 200)
        << prefix + "no reply from the control unit at 127.0.0.1 within 50 ms";
    QTest::newRow("second part later than the wait")
        << true << FakeUnit::scripted(R"({"TimeConst":0.5,"Ref0":0.25})", 0, 12, 200)
        << prefix + "the reply of the control unit at 127.0.0.1 was incomplete after 50 ms";
    FakeUnit::Reply closing;
    closing.closeAfter = true;
    QTest::newRow("connection closed") << true << closing
                                       << prefix + "the control unit at 127.0.0.1 closed the connection without a reply";
    QTest::newRow("not JSON") << true << FakeUnit::scripted("ERROR")
                              << prefix + "the reply is not valid JSON (control unit at 127.0.0.1)";
    QTest::newRow("array") << true << FakeUnit::scripted(R"([0.5,0.25])")
                           << prefix + "the reply is not a JSON object (control unit at 127.0.0.1)";
    QTest::newRow("U+00E9 in a string") << true << FakeUnit::scripted("{\"Unit\":\"caf\xc3\xa9\",\"Ref0\":0.25}")
                                        << prefix + "the reply is not valid JSON (control unit at 127.0.0.1)";
    QTest::newRow("no parameter in it")
        << true << FakeUnit::scripted(R"({"TimeConst":"2","Ref0":"0.5","Ref1":true,"Ref3":null,"Extra":[1]})")
        << prefix + "the reply holds no parameters (control unit at 127.0.0.1)";
    QTest::newRow("zero byte inside") << true << FakeUnit::scripted(QByteArray(R"({"Ref0")") + '\0' + ":0.25}")
                                      << prefix + "the reply is not valid JSON (control unit at 127.0.0.1)";
}

void ParametersTest::updateWithoutUsableReply()
{
    QFETCH(bool, unitListens);
    QFETCH(FakeUnit::Reply, reply);
    QFETCH(QString, status);

    QScopedPointer<FakeUnit> unit(unitListens ? new FakeUnit : nullptr);
    if (unit)
        unit->setReply("PARAMS?", reply);
    auto *timeConstant = form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"));
    timeConstant->setValue(2.5);
    const QList<int> levels { 10, 20, 30, 40 };
    for (int channel = 0; channel < 4; ++channel)
        triggerBox(channel)->setValue(levels[channel]);

    form->updateParams();

    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(), status);
    QCOMPARE(timeConstant->value(), 2.5);
    QCOMPARE(triggerValues(), levels);
}

void ParametersTest::updateLeavesWhatTheReplyLacks_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<QList<int>>("levels");
    QTest::addColumn<QString>("lacking");   // what the status line says of it

    const QString noNumber = QStringLiteral("; the reply holds no number for ");
    QTest::newRow("no TimeConst") << QByteArray(R"({"Ref0":0.1,"Ref1":0.2,"Ref2":0.3,"Ref3":0.4})") << 2.5
                                  << QList<int>{ 100, 200, 300, 400 } << noNumber + "TimeConst";
    QTest::newRow("Ref0 alone") << QByteArray(R"({"Ref0":0.25})") << 2.5 << QList<int>{ 250, 20, 30, 40 }
                                << noNumber + "TimeConst, Ref1, Ref2, Ref3";
    QTest::newRow("members that are no numbers")
        << QByteArray(R"({"TimeConst":"2","Ref0":"0.5","Ref1":true,"Ref2":0.3,"Ref3":null})") << 2.5
        << QList<int>{ 10, 20, 300, 40 } << noNumber + "TimeConst, Ref0, Ref1, Ref3";
    QTest::newRow("levels beyond any count")
        << QByteArray(R"({"TimeConst":0.5,"Ref0":1e300,"Ref1":-1e300,"Ref2":3e6,"Ref3":0.4})") << 0.5
        << QList<int>{ 10, 20, 30, 400 } << "; the reply holds levels out of range: Ref0, Ref1, Ref2";
}

// Nothing the unit did not send: a box whose member is missing or not a number
// keeps its value (so leaving it writes back that value, not an invented 0), and
// the status line names what the reply lacked.
void ParametersTest::updateLeavesWhatTheReplyLacks()
{
    QFETCH(QByteArray, reply);
    QFETCH(double, timeConstant);
    QFETCH(QList<int>, levels);
    QFETCH(QString, lacking);

    FakeUnit unit;
    unit.setReply("PARAMS?", reply);
    form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(2.5);
    for (int channel = 0; channel < 4; ++channel)
        triggerBox(channel)->setValue(10 * (channel + 1));

    form->updateParams();
    QCOMPARE(form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->value(), timeConstant);
    QCOMPARE(triggerValues(), levels);
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Parameters read from the control unit at 127.0.0.1") + lacking);

    emit triggerBox(1)->editingFinished();
    QVERIFY(unit.waitForCommands(2));
    QCOMPARE(unit.commands().last(), QStringLiteral("DAC 1,%1").arg(levels[1] / 1000.0).toLatin1());
}

void ParametersTest::triggerBoxSendsOnEditingFinished_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("channel 0, 0 mV") << 0 << 0 << QByteArray("DAC 0,0");
    QTest::newRow("channel 1, 5 mV") << 1 << 5 << QByteArray("DAC 1,0.005");
    QTest::newRow("channel 2, 350 mV") << 2 << 350 << QByteArray("DAC 2,0.35");
    QTest::newRow("channel 3, 1000 mV") << 3 << 1000 << QByteArray("DAC 3,1");
    QTest::newRow("channel 0, 1200 mV") << 0 << 1200 << QByteArray("DAC 0,1.2");
}

void ParametersTest::triggerBoxSendsOnEditingFinished()
{
    QFETCH(int, channel);
    QFETCH(int, millivolts);
    QFETCH(QByteArray, command);

    FakeUnit unit;
    showAndActivate();
    QSpinBox *box = triggerBox(channel);
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    box->setValue(millivolts);
    QVERIFY(unit.commands().isEmpty());

    QTest::ignoreMessage(QtDebugMsg, QStringLiteral("setDacValue %1 %2").arg(channel).arg(millivolts / 1000.0).toUtf8());
    QTest::keyClick(box, Qt::Key_Return);

    QVERIFY(unit.waitForCommands(1));
    QCOMPARE(unit.commands(), QList<QByteArray>{ command });
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Query: \"%1\", Status: OK").arg(QString::fromLatin1(command)));
}

void ParametersTest::valueChangesSendNothing()
{
    FakeUnit unit;
    showAndActivate();
    QSpinBox *box = triggerBox(1);
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());

    box->setValue(500);
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_PageDown);
    QCOMPARE(box->value(), 410);
    form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(3);

    // The exchange below is the first thing the unit sees: nothing went before it.
    form->tcpIpQuery(QStringLiteral("DATA?"), 1000);
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DATA?" });
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(), QStringLiteral("Status:"));
}

void ParametersTest::tabbingOutUnchangedStillSends()
{
    FakeUnit unit;
    showAndActivate();
    QSpinBox *box = triggerBox(2);
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());

    QTest::keyClick(box, Qt::Key_Tab);

    QVERIFY(!box->hasFocus());
    QVERIFY(unit.waitForCommands(1));
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DAC 2,0.1" });
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Query: \"DAC 2,0.1\", Status: OK"));
}

void ParametersTest::dacWithoutReplyIsOk()
{
    FakeUnit unit;
    unit.setReplies("DAC", {});
    form->setDacValue(1, 0.25);
    QVERIFY(unit.waitForCommands(1));
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DAC 1,0.25" });
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Query: \"DAC 1,0.25\", Status: OK"));
}

// The operator must not believe a level was set that never left the program.
void ParametersTest::dacWithLinkDownShowsError()
{
    QSpinBox *box = triggerBox(1);
    box->setValue(250);
    emit box->editingFinished();
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Query: \"DAC 1,0.25\", Status: Error (the control unit at 127.0.0.1 cannot be reached)"));

    FakeUnit unit;
    emit box->editingFinished();
    QVERIFY(unit.waitForCommands(1));
    QCOMPARE(unit.commands(), QList<QByteArray>{ "DAC 1,0.25" });
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(),
             QStringLiteral("Query: \"DAC 1,0.25\", Status: OK"));
}

// The focused box emits editingFinished while the window's widgets are destroyed.
void ParametersTest::destroyingWithFocusInTriggerBoxSendsNothing()
{
    FakeUnit unit;
    showAndActivate();
    QSpinBox *box = triggerBox(3);
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    QVERIFY(form->initialize());

    delete form;
    form = nullptr;
    QTest::qWait(100);
    QVERIFY(unit.commands().isEmpty());
}

QTEST_MAIN(ParametersTest)
#include "tst_parameters.moc"
