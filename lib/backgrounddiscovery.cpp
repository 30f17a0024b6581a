#include "backgrounddiscovery.h"

#include <QCoreApplication>
#include <QThread>

BackgroundDiscovery::BackgroundDiscovery(quint16 controlUnitPort)
    : m_discovery(controlUnitPort)
    , m_thread(QThread::create([this] {
        m_units = m_discovery.run();
        m_over = true;
    }))
{
    // Queued to the thread that waits: once the run is over, it wakes.
    QObject::connect(m_thread.get(), &QThread::finished, &m_waker, [] {});
    m_thread->start();
}

BackgroundDiscovery::~BackgroundDiscovery()
{
    m_thread->wait();
}

QStringList BackgroundDiscovery::result()
{
    while (!m_over)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_thread->wait();
    return m_units;
}

QString BackgroundDiscovery::failure() const
{
    return m_over ? m_discovery.failure() : QString();
}
