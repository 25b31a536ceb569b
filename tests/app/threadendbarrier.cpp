#include "threadendbarrier.h"

#include <QThread>

ThreadEndBarrier::ThreadEndBarrier(QThread &thread)
{
    m_connection = QObject::connect(
        &thread, &QThread::finished, &thread, [this] { std::lock_guard<std::mutex> lock(m_mutex); },
        Qt::DirectConnection);
}

ThreadEndBarrier::~ThreadEndBarrier()
{
    QObject::disconnect(m_connection);
}

void ThreadEndBarrier::pass()
{
    std::lock_guard<std::mutex> lock(m_mutex);
}
