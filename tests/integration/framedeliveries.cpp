#include "framedeliveries.h"

#include <QEvent>
#include <QTest>

FrameDeliveries::FrameDeliveries(QObject &window)
    : QObject(&window)
{
    window.installEventFilter(this);
}

bool FrameDeliveries::waitForMore(int frames)
{
    const int target = m_count + frames;
    return QTest::qWaitFor([&] { return m_count >= target; }, 60000);
}

bool FrameDeliveries::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MetaCall)
        ++m_count;
    return QObject::eventFilter(watched, event);
}
