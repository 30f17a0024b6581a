#include "controlunitlist.h"
#include "dialog.h"
#include "discoveryrequest.h"

#include <QtTest/QtTest>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QVBoxLayout>

#include <functional>
#include <utility>
#include <memory>

namespace {

const QString updateItem = QStringLiteral("Update...");
const QString manualItem = QStringLiteral("Manual...");

// A control unit inside this process. It answers every discovery request the
// way a unit does, by connecting back to the sender and saying something, and
// it finishes the answer before returning so that the dialog's blocking wait
// finds the bytes already there.
class LocalUnit
{
public:
    bool start()
    {
        requests.clear();
        QObject::connect(&requestSocket, &QUdpSocket::readyRead, [this] { answerRequests(); });
        return requestSocket.bind(QHostAddress::AnyIPv4, 9801);
    }
    void stop()
    {
        requestSocket.close();
        requestSocket.disconnect();
    }

    QByteArrayList requests;

private:
    void answerRequests()
    {
        while (requestSocket.hasPendingDatagrams()) {
            const QNetworkDatagram request = requestSocket.receiveDatagram();
            requests.append(request.data());
            QTcpSocket answer;
            answer.setProxy(QNetworkProxy::NoProxy);
            answer.connectToHost(request.senderAddress(), 9802);
            if (answer.waitForConnected(200)) {
                answer.write("KESTRAVA");
                answer.waitForBytesWritten(200);
            }
            answer.close();
        }
    }

    QUdpSocket requestSocket;
};

// Acts on the text-input dialog once it runs modally.
class InputDialogDriver
{
public:
    explicit InputDialogDriver(std::function<void(QInputDialog *)> action)
    {
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [this, action] {
            auto *input = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!input)
                return;
            poll.stop();
            shown = true;
            title = input->windowTitle();
            label = input->labelText();
            initialText = input->textValue();
            echoMode = input->textEchoMode();
            action(input);
        });
        poll.start();
    }

    bool shown = false;
    QString title;
    QString label;
    QString initialText;
    QLineEdit::EchoMode echoMode = QLineEdit::NoEcho;

private:
    QTimer poll;
};

void typeAndConfirm(QInputDialog *input, const QString &text)
{
    input->setTextValue(text);
    input->accept();
}

QComboBox *addressBox(Dialog *dialog)
{
    return dialog->findChild<QComboBox *>(QStringLiteral("cbTcpIpAddress"));
}

QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

// The operator's choice of an item: the box emits the item's text, with
// activated in Qt 5 and textActivated in Qt 6.
void activate(QComboBox *box, const QString &text)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    emit box->textActivated(text);
#else
    QVERIFY(QMetaObject::invokeMethod(box, "activated", Qt::DirectConnection, Q_ARG(QString, text)));
#endif
}

bool run(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

QString settingsFile()
{
    return QSettings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration")).fileName();
}

enum class Reaction { Refresh, ManualEntry, Nothing };

} // namespace

Q_DECLARE_METATYPE(Reaction)
Q_DECLARE_METATYPE(QHostAddress)

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void layout();
    void constructionWarnsOfNothing();
    void discoveryFillsList();
    void nothingFound();
    void firstDiscoveryTakesARequestSentBefore();
    void firstDiscoveryAfterTheWindowListsAUnitThatSaidMore();
    void activation_data();
    void activation();
    void currentItemChosenAgain();
    void manualEntry_data();
    void manualEntry();
    void manualEntryAbandoned_data();
    void manualEntryAbandoned();
    void addressFits_data();
    void addressFits();
    void storedAddress_data();
    void storedAddress();
    void convertToHostAddress_data();
    void convertToHostAddress();
    void cleanControlUnitList_data();
    void cleanControlUnitList();

private:
    void insertStaleEntry();

    LocalUnit unit;
    std::unique_ptr<Dialog> dialog;
    QComboBox *box = nullptr;
};

void TestDialog::initTestCase()
{
    // Discovery broadcasts on every interface that is up: refuse to run
    // anywhere but in a namespace of our own that holds only a loopback.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces) {
        if (!netInterface.flags().testFlag(QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable(QStringLiteral("interface %1 found: run this test through tests/netns-run.sh")
                                     .arg(netInterface.name())));
    }
    // A veth pair with two networks on one end gives the unit in this process
    // local addresses other than 127.0.0.1 to answer from; both ends stay in
    // this namespace.
    QVERIFY(run(QStringLiteral("ip"), {"link", "add", "name", "tavik0", "type", "veth", "peer", "name", "tavik1"}));
    QVERIFY(run(QStringLiteral("ip"), {"addr", "add", "10.211.9.1/24", "dev", "tavik0"}));
    QVERIFY(run(QStringLiteral("ip"), {"addr", "add", "10.211.8.1/24", "dev", "tavik0"}));
    QVERIFY(run(QStringLiteral("ip"), {"link", "set", "tavik1", "up"}));
    QVERIFY(run(QStringLiteral("ip"), {"link", "set", "tavik0", "up"}));

    QVERIFY(unit.start());
    dialog.reset(new Dialog);
    box = addressBox(dialog.get());
    QVERIFY(box);
}

void TestDialog::cleanupTestCase()
{
    dialog.reset();
    QVERIFY(!QFile::exists(settingsFile()));
}

void TestDialog::insertStaleEntry()
{
    box->insertItem(0, QStringLiteral("10.9.9.9"));
    box->setCurrentIndex(box->count() - 1);
}

void TestDialog::layout()
{
    QCOMPARE(dialog->objectName(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Conecting..."));
    QCOMPARE(dialog->minimumSize(), QSize(0, 0));

    auto *vertical = dialog->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    auto *horizontal = dialog->findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    auto *label = dialog->findChild<QLabel *>(QStringLiteral("label"));
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(vertical && horizontal && label && buttons);
    QCOMPARE(dialog->layout(), vertical);
    QCOMPARE(vertical->count(), 2);
    QCOMPARE(vertical->itemAt(0)->layout(), horizontal);
    QCOMPARE(vertical->itemAt(1)->widget(), buttons);
    QCOMPARE(horizontal->count(), 2);
    QCOMPARE(horizontal->itemAt(0)->widget(), label);
    QCOMPARE(horizontal->itemAt(1)->widget(), box);

    QCOMPARE(label->text(), QStringLiteral("TcpIpAddress:"));
    QVERIFY(!box->isEditable());
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(accepted.count(), 1);
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    buttons->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(rejected.count(), 1);
}

// No slot is left without its signal, under either Qt.
void TestDialog::constructionWarnsOfNothing()
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    warnings.append(message);
            });
    { Dialog fresh; }
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());
}

// The unit in this process hears one request per network of the veth
// interface and answers each from a local address: it is listed once.
void TestDialog::discoveryFillsList()
{
    unit.requests.clear();
    Dialog fresh;
    QCOMPARE(unit.requests, QByteArrayList({"SERVER_REQUEST", "SERVER_REQUEST"}));
    QCOMPARE(items(addressBox(&fresh)), QStringList({"127.0.0.1", updateItem, manualItem}));
    QCOMPARE(addressBox(&fresh)->currentIndex(), 0);
    QVERIFY(fresh.isEnabled());
    QCOMPARE(fresh.getAddress(), QHostAddress(QHostAddress::LocalHost));

    // A run straight after another, with no event loop between them to
    // delete the first listener, still gets the answer port.
    QCOMPARE(fresh.availableControlUnits(), QStringList({"127.0.0.1"}));
}

void TestDialog::nothingFound()
{
    unit.stop();
    Dialog fresh;
    QVERIFY(unit.start());
    QCOMPARE(items(addressBox(&fresh)), QStringList({updateItem, manualItem}));
    QCOMPARE(addressBox(&fresh)->currentText(), updateItem);
    QVERIFY(fresh.getAddress().isNull());
}

// The window's program sends discovery's request before its toolkit starts
// and hands it to the dialog: no second request goes out, the unit that
// answered it is listed, and the dialog is ready one window after the
// sending, not one window after it was made.
void TestDialog::firstDiscoveryTakesARequestSentBefore()
{
    unit.requests.clear();
    QElapsedTimer sinceSending;
    sinceSending.start();
    DiscoveryRequest request;
    QThread::msleep(300);
    Dialog fresh(nullptr, std::move(request));
    const qint64 elapsed = sinceSending.elapsed();
    QCOMPARE(unit.requests, QByteArrayList({ "SERVER_REQUEST", "SERVER_REQUEST" }));
    QCOMPARE(items(addressBox(&fresh)), QStringList({ "127.0.0.1", updateItem, manualItem }));
    QVERIFY2(elapsed >= 500 && elapsed < 700, qPrintable(QString::number(elapsed)));
}

// The toolkit took longer than the window to start, so the first discovery
// comes to its answers after the window. A unit answered early in it and,
// on the same connection, said more after it: its answer was in time, and it
// is listed, as a discovery on time lists it.
void TestDialog::firstDiscoveryAfterTheWindowListsAUnitThatSaidMore()
{
    unit.stop();
    DiscoveryRequest request;
    QTcpSocket remote;
    remote.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(remote.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    remote.connectToHost(QHostAddress::LocalHost, 9802);
    QVERIFY(remote.waitForConnected(100));
    remote.write("KESTRAVA\r\n");
    QVERIFY(remote.waitForBytesWritten(100));
    QVERIFY(request.sentAt().elapsed() < 100);
    QThread::msleep(600);
    remote.write("READY\r\n");
    QVERIFY(remote.waitForBytesWritten(100));
    QThread::msleep(100);

    Dialog fresh(nullptr, std::move(request));
    QVERIFY(unit.start());
    QCOMPARE(items(addressBox(&fresh)), QStringList({ "127.0.0.2", updateItem, manualItem }));
}

void TestDialog::activation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Reaction>("reaction");

    QTest::newRow("Update...") << updateItem << Reaction::Refresh;
    QTest::newRow("Update inside") << QStringLiteral("xUpdatex") << Reaction::Refresh;
    QTest::newRow("both words") << QStringLiteral("Manual Update") << Reaction::Refresh;
    QTest::newRow("Manual...") << manualItem << Reaction::ManualEntry;
    QTest::newRow("Manual inside") << QStringLiteral("noManualx") << Reaction::ManualEntry;
    QTest::newRow("address") << QStringLiteral("10.9.9.9") << Reaction::Nothing;
    QTest::newRow("lower case update") << QStringLiteral("update...") << Reaction::Nothing;
    QTest::newRow("upper case manual") << QStringLiteral("MANUAL...") << Reaction::Nothing;
}

void TestDialog::activation()
{
    QFETCH(QString, text);
    QFETCH(Reaction, reaction);

    insertStaleEntry();
    const QStringList before = items(box);
    const int currentBefore = box->currentIndex();
    QList<bool> enabledStates;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] { enabledStates.append(dialog->isEnabled()); });
    watch.start(50);
    InputDialogDriver driver([](QInputDialog *input) { input->reject(); });

    activate(box, text);
    watch.stop();

    QCOMPARE(driver.shown, reaction == Reaction::ManualEntry);
    if (reaction == Reaction::Refresh) {
        QCOMPARE(items(box), QStringList({"127.0.0.1", updateItem, manualItem}));
        QCOMPARE(box->currentIndex(), 0);
        QVERIFY2(enabledStates.contains(false), "the dialog stays enabled during discovery");
        QVERIFY(!enabledStates.contains(true));
        QVERIFY(dialog->isEnabled());
    } else {
        QCOMPARE(items(box), before);
        QCOMPARE(box->currentIndex(), currentBefore);
    }
}

// Picked again in the open list, the current item still acts.
void TestDialog::currentItemChosenAgain()
{
    insertStaleEntry();
    box->setCurrentIndex(box->findText(updateItem));
    unit.requests.clear();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    box->showPopup();
    QCOMPARE(box->view()->currentIndex().data().toString(), updateItem);

    QTest::keyClick(box->view(), Qt::Key_Return);
    dialog->hide();

    QVERIFY(!unit.requests.isEmpty());
    QCOMPARE(items(box), QStringList({"127.0.0.1", updateItem, manualItem}));
    QCOMPARE(box->currentIndex(), 0);
}

void TestDialog::manualEntry_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expectedItems");
    QTest::addColumn<QString>("expectedCurrent");
    QTest::addColumn<QHostAddress>("expectedAddress");

    const QHostAddress localHost(QHostAddress::LocalHost);
    QTest::newRow("listed address")
            << "127.0.0.1" << QStringList({"127.0.0.1", updateItem, manualItem})
            << "127.0.0.1" << localHost;
    QTest::newRow("zero padded")
            << "127.000.000.001" << QStringList({"127.000.000.001", "127.0.0.1", updateItem, manualItem})
            << "127.000.000.001" << localHost;
    QTest::newRow("other address")
            << "10.211.7.20" << QStringList({"10.211.7.20", "127.0.0.1", updateItem, manualItem})
            << "10.211.7.20" << QHostAddress(QStringLiteral("10.211.7.20"));
    QTest::newRow("host name")
            << "kestrava-unit" << QStringList({"kestrava-unit", "127.0.0.1", updateItem, manualItem})
            << "kestrava-unit" << QHostAddress();
    QTest::newRow("part out of range")
            << "300.1.1.1" << QStringList({"300.1.1.1", "127.0.0.1", updateItem, manualItem})
            << "300.1.1.1" << QHostAddress();
    QTest::newRow("command text")
            << updateItem << QStringList({"127.0.0.1", updateItem, manualItem})
            << updateItem << QHostAddress();
}

// The typed text is placed only after a fresh discovery, so an entry typed
// earlier does not survive it.
void TestDialog::manualEntry()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expectedItems);
    QFETCH(QString, expectedCurrent);
    QFETCH(QHostAddress, expectedAddress);

    insertStaleEntry();
    unit.requests.clear();
    InputDialogDriver driver([typed](QInputDialog *input) { typeAndConfirm(input, typed); });
    activate(box, manualItem);

    QVERIFY(driver.shown);
    QVERIFY(!unit.requests.isEmpty());
    QCOMPARE(items(box), expectedItems);
    QCOMPARE(box->currentText(), expectedCurrent);
    QCOMPARE(dialog->getAddress(), expectedAddress);
}

void TestDialog::manualEntryAbandoned_data()
{
    QTest::addColumn<bool>("confirmEmpty");
    QTest::newRow("cancelled") << false;
    QTest::newRow("empty text confirmed") << true;
}

// Driven from the keyboard: Down from "Update..." activates "Manual...".
void TestDialog::manualEntryAbandoned()
{
    QFETCH(bool, confirmEmpty);

    insertStaleEntry();
    box->setCurrentIndex(box->findText(updateItem));
    const QStringList before = items(box);
    unit.requests.clear();
    InputDialogDriver driver([confirmEmpty](QInputDialog *input) {
        if (confirmEmpty)
            typeAndConfirm(input, QString());
        else
            input->reject();
    });
    QTest::keyClick(box, Qt::Key_Down);

    QVERIFY(driver.shown);
    QVERIFY(unit.requests.isEmpty());
    QCOMPARE(items(box), before);
    QCOMPARE(box->currentText(), manualItem);
    QVERIFY(dialog->getAddress().isNull());
}

void TestDialog::addressFits_data()
{
    QTest::addColumn<bool>("unitListed");
    QTest::newRow("nothing found") << false;
    QTest::newRow("a unit found") << true;
}

// The box is as wide as the longest address the operator may type, whatever
// discovery found before the dialog was shown: the text is shown whole, not
// cut or scrolled.
void TestDialog::addressFits()
{
    QFETCH(bool, unitListed);
    const QString longest = QStringLiteral("127.000.000.001");
    if (!unitListed)
        unit.stop();
    Dialog fresh;
    if (!unitListed)
        QVERIFY(unit.start());
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    InputDialogDriver driver([longest](QInputDialog *input) { typeAndConfirm(input, longest); });
    QComboBox *address = addressBox(&fresh);
    activate(address, manualItem);
    QVERIFY(driver.shown);
    QCOMPARE(address->currentText(), longest);
    QCoreApplication::processEvents();

    QStyleOptionComboBox option;
    option.initFrom(address);
    option.editable = address->isEditable();
    option.frame = address->hasFrame();
    option.currentText = longest;
    const QRect field = address->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, address);
    // The label is drawn a pixel inside the field on each side.
    QVERIFY2(field.width() - 2 >= address->fontMetrics().horizontalAdvance(longest),
             qPrintable(QStringLiteral("%1 px for the text, %2 px needed").arg(field.width() - 2)
                                .arg(address->fontMetrics().horizontalAdvance(longest))));
}

void TestDialog::storedAddress_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("offered");
    QTest::newRow("absent") << QVariant() << "127.000.000.001";
    QTest::newRow("zero padded") << QVariant("192.168.001.020") << "192.168.001.020";
    QTest::newRow("host name") << QVariant("kestrava-unit") << "kestrava-unit";
}

// The last address is offered as the starting text; the dialog only reads it.
void TestDialog::storedAddress()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, offered);

    const QString file = settingsFile();
    QFile::remove(file);
    QByteArray contentsBefore;
    if (stored.isValid()) {
        {
            QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
            settings.setValue(QStringLiteral("TcpIpAddress"), stored);
        }
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        contentsBefore = written.readAll();
    }

    InputDialogDriver driver([](QInputDialog *input) { input->reject(); });
    activate(box, manualItem);

    QVERIFY(driver.shown);
    QCOMPARE(driver.title, QStringLiteral("TcpIp Addresss..."));
    QCOMPARE(driver.label, QStringLiteral("Enter TcpIp Address manualy"));
    QCOMPARE(driver.echoMode, QLineEdit::Normal);
    QCOMPARE(driver.initialText, offered);

    if (stored.isValid()) {
        QFile after(file);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), contentsBefore);
        QFile::remove(file);
    } else {
        QVERIFY(!QFile::exists(file));
    }
}

void TestDialog::convertToHostAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QHostAddress>("expected");

    const auto ip = [](const char *text) { return QHostAddress(QString::fromLatin1(text)); };
    QTest::newRow("zero padded loopback") << "127.000.000.001" << ip("127.0.0.1");
    QTest::newRow("leading zeros stay decimal") << "010.001.002.003" << ip("10.1.2.3");
    QTest::newRow("padded private") << "192.168.010.020" << ip("192.168.10.20");
    QTest::newRow("plain") << "10.211.1.2" << ip("10.211.1.2");
    QTest::newRow("highest") << "255.255.255.255" << ip("255.255.255.255");
    QTest::newRow("zeros") << "0.0.0.0" << ip("0.0.0.0");
    QTest::newRow("long zero padding") << "0000127.0.0.00001" << ip("127.0.0.1");
    // Dotted decimal only: every other text is no address.
    QTest::newRow("three parts") << "10.1.2" << QHostAddress();
    QTest::newRow("three parts, zero padded") << "10.0.010" << QHostAddress();
    QTest::newRow("two parts, zero padded") << "010.020" << QHostAddress();
    QTest::newRow("one part") << "167772161" << QHostAddress();
    QTest::newRow("five parts") << "1.2.3.4.5" << QHostAddress();
    QTest::newRow("hex part") << "010.0.0.0x1" << QHostAddress();
    QTest::newRow("hex part, upper case") << "0X7F.0.0.1" << QHostAddress();
    QTest::newRow("leading zeros after a hex part") << "192.168.010.0x14" << QHostAddress();
    QTest::newRow("minus zero") << "-0.1.2.3" << QHostAddress();
    QTest::newRow("plus sign") << "+1.2.3.4" << QHostAddress();
    QTest::newRow("negative part") << "-1.2.3.4" << QHostAddress();
    QTest::newRow("blank around") << " 10.1.2.3" << QHostAddress();
    QTest::newRow("blank inside") << "10.1. 2.3" << QHostAddress();
    QTest::newRow("line end after") << "10.1.2.3\n" << QHostAddress();
    QTest::newRow("digits of another script") << QStringLiteral(u"10.1.2.\u0663") << QHostAddress();
    QTest::newRow("IPv6 loopback") << "::1" << QHostAddress();
    QTest::newRow("IPv4-mapped IPv6") << "::ffff:10.1.2.3" << QHostAddress();
    QTest::newRow("host name") << "kestrava-unit.local" << QHostAddress();
    QTest::newRow("four-part host name") << "unit.lab.example.com" << QHostAddress();
    QTest::newRow("part too large") << "300.1.1.1" << QHostAddress();
    QTest::newRow("last part too large") << "1.2.3.256" << QHostAddress();
    QTest::newRow("first part 256") << "256.0.0.1" << QHostAddress();
    QTest::newRow("huge part") << "4294967296.0.0.1" << QHostAddress();
    QTest::newRow("empty part") << "1.2.3." << QHostAddress();
    QTest::newRow("empty") << "" << QHostAddress();
    QTest::newRow("Update...") << updateItem << QHostAddress();
    QTest::newRow("Manual...") << manualItem << QHostAddress();
}

void TestDialog::convertToHostAddress()
{
    QFETCH(QString, text);
    QFETCH(QHostAddress, expected);

    const QHostAddress address = Dialog::convertToHostAddress(text);
    QCOMPARE(address.isNull(), expected.isNull());
    QCOMPARE(address, expected);
}

void TestDialog::cleanControlUnitList_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("localAddresses");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nothing") << QStringList() << QStringList({"127.0.0.1"}) << QStringList();
    QTest::newRow("order kept, not sorted")
            << QStringList({"10.0.0.9", "10.0.0.1"}) << QStringList() << QStringList({"10.0.0.9", "10.0.0.1"});
    QTest::newRow("empty and loopback dropped")
            << QStringList({"", "127.0.0.1", "10.0.0.5", "127.0.0.1"}) << QStringList({"127.0.0.1"})
            << QStringList({"10.0.0.5"});
    QTest::newRow("duplicates keep the first place")
            << QStringList({"10.0.0.5", "10.0.0.9", "10.0.0.5", "10.0.0.9"}) << QStringList()
            << QStringList({"10.0.0.5", "10.0.0.9"});
    QTest::newRow("this machine once, at its first answer")
            << QStringList({"10.0.0.5", "192.168.1.7", "10.0.0.9", "192.168.2.7", "192.168.1.7"})
            << QStringList({"127.0.0.1", "192.168.1.7", "::1", "192.168.2.7"})
            << QStringList({"10.0.0.5", "127.0.0.1", "10.0.0.9"});
    QTest::newRow("IPv6 local addresses not compared")
            << QStringList({"10.0.0.5"}) << QStringList({"::ffff:10.0.0.5", "fe80::1"})
            << QStringList({"10.0.0.5"});
}

void TestDialog::cleanControlUnitList()
{
    QFETCH(QStringList, answers);
    QFETCH(QStringList, localAddresses);
    QFETCH(QStringList, expected);

    QList<QHostAddress> locals;
    for (const QString &text : qAsConst(localAddresses))
        locals.append(QHostAddress(text));
    QCOMPARE(ControlUnitList::cleaned(answers, locals), expected);
}

int main(int argc, char *argv[])
{
    // Settings go to a directory of this run only, never the user's own.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QString(home.path() + QStringLiteral("/config")).toLocal8Bit());

    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialog.moc"
