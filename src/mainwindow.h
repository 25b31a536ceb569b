#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QImage>
#include <QMainWindow>
#include <QString>

class ImageThread;
class Ui_MainWindow;

// The document camera's window: start-up of the camera library, the live preview, photos,
// rotation, auto crop, and the switching of camera and resolution.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void fillResList();

public slots:
    void onGetImage();
    void onAutoCrop(bool checked);
    void onDevChange();
    void onResChange();

private slots:
    void ReceiveImage(QImage image, int result);
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();

private:
    void listCameras();
    void stopFrameThreadAndCloseCamera();
    QString photoPath(int number) const;

    Ui_MainWindow *ui;
    ImageThread *m_pImageThread;
    QString m_strAppPath;
    int m_iCaptureCount;
    int m_iCurIndex;
    int m_iResIndex;
};

#endif  // MAINWINDOW_H
