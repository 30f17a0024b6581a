#include "controlunitdiscovery.h"
#include "discoveryrequest.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <utility>

#include <sys/socket.h>

namespace {

// One host that connects back to the answer port: from its own loopback
// address (127.0.0.x, which the list keeps, unlike 127.0.0.1), after delayMs,
// with count connections that each say bytes after speakAfterMs; empty bytes
// stay silent. A host that resets closes each connection with a reset once it
// has said its bytes, as units do that keep no closed connections around.
// A host with more bytes says them moreAfterMs after its first ones, on the
// same connection.
struct Host
{
    QString source;
    int delayMs = 0;
    int count = 1;
    QByteArray bytes = "KESTRAVA\r\n";
    int speakAfterMs = 0;
    bool resets = false;
    QByteArray more = QByteArray();
    int moreAfterMs = 0;
};

Host silent(const QString &source, int delayMs, int count)
{
    return { source, delayMs, count, QByteArray(), 0 };
}

// Sends what is buffered, then closes with a reset instead of a FIN.
void resetOnceSent(QTcpSocket *socket)
{
    socket->flush();
    const linger immediately = { 1, 0 };
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
    socket->abort();
}

// Calls action after ms, unless parent is gone by then.
template<typename Action>
void after(int ms, QObject *parent, Action action)
{
    auto *timer = new QTimer(parent);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, parent, action);
    timer->start(ms);
}

// Hosts that answer a discovery run from a thread of their own, so that they
// connect and speak while the run turns the event loop of the main thread.
class AnswerHosts : public QObject
{
public:
    AnswerHosts()
    {
        moveToThread(&m_thread);
        m_thread.start();
    }
    ~AnswerHosts() override
    {
        QMetaObject::invokeMethod(this, [this] { qDeleteAll(children()); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void schedule(const Host &host)
    {
        QMetaObject::invokeMethod(this, [this, host] {
            after(host.delayMs, this, [this, host] {
                for (int i = 0; i < host.count; ++i)
                    connectBack(host);
            });
        }, Qt::BlockingQueuedConnection);
    }

private:
    void connectBack(const Host &host)
    {
        auto *socket = new QTcpSocket(this);
        socket->setProxy(QNetworkProxy::NoProxy);
        socket->bind(QHostAddress(host.source));
        if (!host.bytes.isEmpty()) {
            connect(socket, &QTcpSocket::connected, socket, [socket, host] {
                after(host.speakAfterMs, socket, [socket, host] {
                    socket->write(host.bytes);
                    if (host.resets)
                        resetOnceSent(socket);
                    else if (!host.more.isEmpty())
                        after(host.moreAfterMs, socket, [socket, host] { socket->write(host.more); });
                });
            });
        }
        socket->connectToHost(QHostAddress::LocalHost, 9802);
    }

    QThread m_thread;
};

// Counts the deletions left for an event loop to carry out.
class DeferredDeleteCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::DeferredDelete)
            ++count;
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(Host)

// Discovery from a program with no event loop running, as a command-line tool
// calls it, in a namespace with a loopback only: no request leaves, and the
// answers come from hosts in this process.
class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void answerClosedWithAResetBeforeItIsTaken();
    void answerBeforeABusyThreadWithMoreAfterTheWindow();
    void requestSentBefore_data();
    void requestSentBefore();
    void nothingLeftForTheEventLoop();
    void answerPortHeldByAnother();
};

void DiscoveryTest::initTestCase()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces) {
        if (!netInterface.flags().testFlag(QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable(QStringLiteral("interface %1 found: run this test through tests/netns-run.sh")
                                     .arg(netInterface.name())));
    }
}

void DiscoveryTest::answers_data()
{
    QTest::addColumn<QList<Host>>("hosts");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("in the order they arrived")
        << QList<Host>{ { "127.0.0.4", 60 }, { "127.0.0.2", 30 } } << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("behind silent connections")
        << QList<Host>{ silent("127.0.0.3", 0, 8), { "127.0.0.2", 30 }, { "127.0.0.4", 60 } }
        << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("silent connections all through the window")
        << QList<Host>{ silent("127.0.0.3", 0, 20), silent("127.0.0.3", 200, 20), { "127.0.0.2", 250 },
                        silent("127.0.0.3", 400, 20), { "127.0.0.4", 420 } }
        << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("an answer later than its connection's bound")
        << QList<Host>{ { "127.0.0.2", 0, 1, "KESTRAVA", 200 }, { "127.0.0.4", 30 } } << QStringList{ "127.0.0.4" };
    QTest::newRow("a host that answers twice") << QList<Host>{ { "127.0.0.2", 0 }, { "127.0.0.2", 40 } }
                                               << QStringList{ "127.0.0.2" };
    QTest::newRow("a burst of silent connections just ahead")
        << QList<Host>{ silent("127.0.0.3", 0, 300), { "127.0.0.2", 0 }, { "127.0.0.4", 200 } }
        << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("an answer after the window") << QList<Host>{ { "127.0.0.2", 700 } } << QStringList();
    QTest::newRow("this machine's own loopback") << QList<Host>{ { "127.0.0.1", 0 } } << QStringList();
}

void DiscoveryTest::answers()
{
    QFETCH(QList<Host>, hosts);
    QFETCH(QStringList, expected);

    // The hosts' times count from the sending: none connects before the
    // answer port is listened on, however slowly this thread gets there.
    AnswerHosts answerHosts;
    DiscoveryRequest request;
    for (const Host &host : hosts)
        answerHosts.schedule(host);
    QCOMPARE(ControlUnitDiscovery().run(std::move(request)), expected);
}

// A unit that resets its connection as soon as it has answered is listed,
// though the reset came before the connection was accepted and left no peer
// to ask for: the run's thread was busy with other events of the same turns
// (the dialog's, when the window runs it).
void DiscoveryTest::answerClosedWithAResetBeforeItIsTaken()
{
    AnswerHosts answerHosts;
    answerHosts.schedule({ "127.0.0.2", 30, 1, "KESTRAVA\r\n", 0, true });
    QTimer::singleShot(10, [] { QThread::msleep(100); });
    QCOMPARE(ControlUnitDiscovery().run(), QStringList{ "127.0.0.2" });
}

// The run's thread is busy with another event from before the unit's answer
// until after the window, as the dialog's can be; the unit answered in the
// window and said more on the same connection after it. Its answer was in
// time and it is listed, as the tool and "Update..." listed it before.
void DiscoveryTest::answerBeforeABusyThreadWithMoreAfterTheWindow()
{
    AnswerHosts answerHosts;
    answerHosts.schedule({ "127.0.0.2", 30, 1, "KESTRAVA\r\n", 0, false, "READY\r\n", 500 });
    QTimer::singleShot(10, [] { QThread::msleep(650); });
    QCOMPARE(ControlUnitDiscovery().run(), QStringList{ "127.0.0.2" });
}

// A request sent before the run, as the window's program sends it before its
// toolkit starts: the answers that came while nothing turned the event loop
// are listed, and the window is counted from the sending, so the run takes
// only what is left of it.
void DiscoveryTest::requestSentBefore_data()
{
    QTest::addColumn<QList<Host>>("hosts");
    QTest::addColumn<int>("runStartsAfterMs");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("answers before and during the run")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 350 } } << 200
        << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("behind silent connections that came before the run")
        << QList<Host>{ silent("127.0.0.3", 0, 8), { "127.0.0.2", 30 } } << 200 << QStringList{ "127.0.0.2" };
    // The answer can still be read, but a connection reset in the queue has
    // no peer left to ask for its address.
    QTest::newRow("an answer closed with a reset before the run")
        << QList<Host>{ { "127.0.0.2", 30, 1, "KESTRAVA\r\n", 0, true } } << 200 << QStringList{ "127.0.0.2" };
    QTest::newRow("a run that starts after the window")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 100 } } << 600
        << QStringList{ "127.0.0.2", "127.0.0.4" };
    // The window closes half a second after the sending however late the run
    // starts, as it does for a run that sends its own request.
    QTest::newRow("an answer after the window, before a late run")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 700 } } << 900 << QStringList{ "127.0.0.2" };
    QTest::newRow("a connection in the window, its answer after it")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 300, 1, "KESTRAVA\r\n", 400 } } << 900
        << QStringList{ "127.0.0.2" };
    // What a unit says after its answer is not its answer: the answer came
    // within the window, and a run on time lists it.
    QTest::newRow("an answer in the window, more after it, before a late run")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 100, 1, "KESTRAVA\r\n", 0, false, "READY\r\n", 500 } }
        << 900 << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("an answer in pieces, the first in the window, before a late run")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 300, 1, "KEST", 0, false, "RAVA\r\n", 400 } }
        << 900 << QStringList{ "127.0.0.2", "127.0.0.4" };
    QTest::newRow("an answer in pieces, the first in the window, run on time")
        << QList<Host>{ { "127.0.0.2", 30 }, { "127.0.0.4", 300, 1, "KEST", 0, false, "RAVA\r\n", 400 } }
        << 0 << QStringList{ "127.0.0.2", "127.0.0.4" };
}

void DiscoveryTest::requestSentBefore()
{
    QFETCH(QList<Host>, hosts);
    QFETCH(int, runStartsAfterMs);
    QFETCH(QStringList, expected);

    AnswerHosts answerHosts;
    DiscoveryRequest request;
    QCOMPARE(request.failure(), QString());
    for (const Host &host : hosts)
        answerHosts.schedule(host);
    QThread::msleep(runStartsAfterMs);

    QElapsedTimer run;
    run.start();
    QCOMPARE(ControlUnitDiscovery().run(std::move(request)), expected);
    QVERIFY2(run.elapsed() < qMax(0, 500 - runStartsAfterMs) + 100, qPrintable(QString::number(run.elapsed())));
}

// Every answer connection and the listener are gone when the run returns, and
// the answer port is free: a program whose event loop never runs leaks nothing.
void DiscoveryTest::nothingLeftForTheEventLoop()
{
    AnswerHosts answerHosts;
    answerHosts.schedule({ "127.0.0.2", 30 });
    answerHosts.schedule(silent("127.0.0.3", 0, 4));
    answerHosts.schedule(silent("127.0.0.3", 480, 4));
    QCOMPARE(ControlUnitDiscovery().run(), QStringList{ "127.0.0.2" });

    DeferredDeleteCounter counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::instance()->removeEventFilter(&counter);
    QCOMPARE(counter.count, 0);

    QTcpServer answerPort;
    QVERIFY(answerPort.listen(QHostAddress::Any, 9802));
}

// Another program holds the port the units answer on: the run finds nothing
// at once, and says why, in its failure and in the log the window shows.
void DiscoveryTest::answerPortHeldByAnother()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 9802));
    ControlUnitDiscovery discovery;
    const QString failure = QStringLiteral("cannot listen for answers on port 9802: Address already in use");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(failure));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(discovery.run(), QStringList());
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(discovery.failure(), failure);

    holder.close();
    discovery.run();
    QCOMPARE(discovery.failure(), QString());
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
