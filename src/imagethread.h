#ifndef IMAGETHREAD_H
#define IMAGETHREAD_H

#include "framedecoder.h"

#include <QImage>
#include <QThread>

#include <atomic>

// The frame thread: pulls encoded frames from the camera library without pause, decodes each
// and hands it to the GUI thread through a queued signal.
class ImageThread : public QThread {
    Q_OBJECT

public:
    ImageThread();

    // Asks the loop to end after its current pass and returns at once; the caller waits.
    void stop();

signals:
    void SendImageProcessing(QImage image, int result);

protected:
    void run() override;

private:
    bool allocateFrameBuffer(int width, int height);

    unsigned char *m_pFrameBuf;
    std::atomic<bool> m_bRun;
    int m_iFrameBufSize;
    FrameDecoder m_decoder;
};

#endif  // IMAGETHREAD_H
