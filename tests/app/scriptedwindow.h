#ifndef SCRIPTEDWINDOW_H
#define SCRIPTEDWINDOW_H

#include "mainwindow.h"
#include "scriptedlibrary.h"
#include "stdoutcapture.h"

#include <QComboBox>
#include <QTest>
#include <QThread>

#include <memory>

// Two cameras with three sizes each; the main one is the second.
inline ScriptedLibrary::Script twoCameras()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Document Camera"), 0x1234, 0xabcd}, {QByteArray("Side Camera"), 0x0042, 0x00ff}};
    script.mainCamera = 1;
    script.auxCamera = 0;
    script.resolutions = {QSize(3264, 2448), QSize(1920, 1080), QSize(640, 480)};
    return script;
}

// The calls of the test's thread, which is the window's.
inline QStringList guiCalls()
{
    return ScriptedLibrary::trace(QThread::currentThread());
}

inline bool waitForFrameReads(int count)
{
    return ScriptedLibrary::waitForMoreCalls("GetFrameBuffer", count);
}

// A window started on the scripted library, with standard output captured and the script installed
// before its start-up runs.
struct ScriptedWindow {
    explicit ScriptedWindow(ScriptedLibrary::Script script = twoCameras())
    {
        ScriptedLibrary::reset(std::move(script));
        window = std::make_unique<MainWindow>();
    }

    template <typename Widget = QWidget>
    Widget *find(const char *name)
    {
        return window->findChild<Widget *>(name);
    }
    QComboBox *devices() { return find<QComboBox>("comboBoxDev"); }
    QComboBox *resolutions() { return find<QComboBox>("comboBoxRes"); }
    void click(const char *name) { QTest::mouseClick(find(name), Qt::LeftButton); }

    StdoutCapture output;
    std::unique_ptr<MainWindow> window;
};

#endif  // SCRIPTEDWINDOW_H
