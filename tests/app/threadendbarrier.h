#ifndef THREADENDBARRIER_H
#define THREADENDBARRIER_H

#include <QMetaObject>

#include <mutex>

class QThread;

// Hands a thread's end over to the test once more, through a std::mutex that ThreadSanitizer can
// see. QThread::wait() learns that a thread ended before the wait began through a futex inside
// Qt, which is not instrumented, so the sanitizer would take what the test then does with the
// thread's memory (destroying the thread object, reusing its stack slot) for a race. The thread
// passes the barrier in finished(), its last signal, before wait() can return.
class ThreadEndBarrier {
public:
    explicit ThreadEndBarrier(QThread &thread);
    ~ThreadEndBarrier();
    ThreadEndBarrier(const ThreadEndBarrier &) = delete;
    ThreadEndBarrier &operator=(const ThreadEndBarrier &) = delete;

    // Call after QThread::wait() has returned.
    void pass();

private:
    std::mutex m_mutex;
    QMetaObject::Connection m_connection;
};

#endif  // THREADENDBARRIER_H
