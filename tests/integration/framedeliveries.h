#ifndef FRAMEDELIVERIES_H
#define FRAMEDELIVERIES_H

#include <QObject>

// Counts the frames that reach a window: the frame thread's signal crosses to the GUI thread as a
// queued call, one event per frame, which the counter sees on its way to the window's slot.
class FrameDeliveries : public QObject
{
public:
    explicit FrameDeliveries(QObject &window);

    int count() const { return m_count; }
    // Processes events until frames more frames than so far have arrived; false if they do not
    // within a minute, far longer than any fault here lasts.
    bool waitForMore(int frames);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_count = 0;
};

#endif // FRAMEDELIVERIES_H
