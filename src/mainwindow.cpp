#include "mainwindow.h"

#include "imagethread.h"
#include "ui_mainwindow.h"

#include <qirmellib.h>

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QPixmap>
#include <QStringList>

#include <unistd.h>

#include <cstdio>

namespace {

// The library's start-up size request: larger than any camera, so it opens its largest size.
constexpr int kStartupWidth = 6000;
constexpr int kStartupHeight = 6000;
// The size asked of a newly chosen camera.
constexpr int kDeviceChangeWidth = 800;
constexpr int kDeviceChangeHeight = 600;
// Pause between closing the camera and opening it again, in microseconds.
constexpr useconds_t kReopenPauseUs = 200;

const char *printableName(const char *name)
{
    return name ? name : "(null)";
}

}  // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui_MainWindow),
      m_pImageThread(nullptr),
      m_iCaptureCount(0),
      m_iCurIndex(0),
      m_iResIndex(0)
{
    ui->setupUi(this);
    m_strAppPath = QCoreApplication::applicationDirPath();

    Init("CameraConf.ini");
    m_pImageThread = new ImageThread;

    listCameras();
    const int mainCamera = GetMainCamera();
    const int auxCamera = GetAuxCamera();
    std::printf("main_camera = %d, aux_camera = %d\n", mainCamera, auxCamera);

    SetMJPG(1);
    SetDefaultRes(kStartupWidth, kStartupHeight);
    qDebug() << "GetMainCamera() = " << GetMainCamera();

    const int ret = OpenCamera(m_iCurIndex);
    std::printf("open camera ret = %d\n", ret);
    fillResList();
    m_pImageThread->start();

    connect(ui->pushButton, SIGNAL(clicked()), this, SLOT(onGetImage()));
    connect(m_pImageThread, SIGNAL(SendImageProcessing(QImage, int)), this, SLOT(ReceiveImage(QImage, int)));
    connect(ui->checkBoxAutoCrop, SIGNAL(clicked(bool)), this, SLOT(onAutoCrop(bool)));
    connect(ui->comboBoxDev, SIGNAL(currentIndexChanged(int)), this, SLOT(onDevChange()));
    connect(ui->comboBoxRes, SIGNAL(currentIndexChanged(int)), this, SLOT(onResChange()));
}

MainWindow::~MainWindow()
{
    // The frame thread keeps calling the camera library and Qt's image classes until told to
    // stop, so it has to end, and the camera be closed, before the application object goes.
    m_pImageThread->stop();
    m_pImageThread->wait();
    CloseCamera();
    delete ui;
}

void MainWindow::listCameras()
{
    const int count = GetCameraCount();
    std::printf("find count = %d camera\n", count);
    for (int i = 0; i < count; ++i) {
        std::printf("camera %d name is %s\n", i, printableName(GetCamName(i)));
        ui->comboBoxDev->addItem(QString::fromLatin1(GetCamName(i)));
        const int pid = GetCameraPID(i);
        const int vid = GetCameraVID(i);
        std::printf("iDev = %d, pid = %x, vid = %x\n", i, pid, vid);
    }
}

void MainWindow::fillResList()
{
    ui->comboBoxRes->clear();
    const int count = GetResCount();
    const int curWidth = GetCurResWidth();
    const int curHeight = GetCurResHeight();
    // The library may open another size than the one asked for: the row shown, and the one that
    // choosing again does nothing for, is the size running. A turned picture reports its sides
    // swapped.
    int runningRow = -1;
    for (int i = 0; i < count; ++i) {
        const int width = GetResWidth(i);
        const int height = GetResHeight(i);
        ui->comboBoxRes->addItem(QString::number(width) + "X" + QString::number(height));
        if (i == m_iResIndex)
            ui->comboBoxRes->setCurrentIndex(i);
        if (runningRow < 0 &&
            ((width == curWidth && height == curHeight) || (width == curHeight && height == curWidth)))
            runningRow = i;
    }
    // Set before the row becomes current, so that onResChange, connected during a device change,
    // sees the row as the current size and doesn't reopen the camera.
    if (runningRow >= 0) {
        m_iResIndex = runningRow;
        ui->comboBoxRes->setCurrentIndex(runningRow);
    }
}

QString MainWindow::photoPath(int number) const
{
    char fileName[256] = {};
    std::snprintf(fileName, sizeof fileName, "/%05d.jpg", number);
    return m_strAppPath + QString::fromUtf8(fileName);
}

void MainWindow::onGetImage()
{
    // Numbering restarts at 0 with every run; numbers whose photo already exists are passed
    // over, so a new run continues after the last photo instead of overwriting it.
    int number = m_iCaptureCount;
    while (QFileInfo::exists(photoPath(number)))
        ++number;
    m_iCaptureCount = number + 1;

    const int ret = Capture(photoPath(number).toLocal8Bit().constData());
    if (ret < 0)
        std::printf("ret = %d, 路径不存在\n", ret);
}

void MainWindow::on_pushButton_2_clicked()
{
    RotateLeft(0);
}

void MainWindow::on_pushButton_3_clicked()
{
    RotateRight(0);
}

void MainWindow::onAutoCrop(bool checked)
{
    SetAutoCrop(checked ? 1 : 0);
}

void MainWindow::stopFrameThreadAndCloseCamera()
{
    m_pImageThread->stop();
    m_pImageThread->wait();
    CloseCamera();
    usleep(kReopenPauseUs);
}

void MainWindow::onDevChange()
{
    const int index = ui->comboBoxDev->currentIndex();
    if (index == m_iCurIndex)
        return;

    stopFrameThreadAndCloseCamera();
    m_iCurIndex = index;
    m_iResIndex = 0;
    SetDefaultRes(kDeviceChangeWidth, kDeviceChangeHeight);
    const int ret = OpenCamera(m_iCurIndex);
    std::printf("onDevChange open camera ret = %d, m_iCurIndex = %d\n", ret, m_iCurIndex);
    fillResList();
    m_pImageThread->start();
}

void MainWindow::onResChange()
{
    const int index = ui->comboBoxRes->currentIndex();
    const QStringList size = ui->comboBoxRes->currentText().split(QLatin1Char('X'));
    if (index == m_iResIndex || size.size() != 2)
        return;

    stopFrameThreadAndCloseCamera();
    m_iResIndex = index;
    SetDefaultRes(size.at(0).toInt(), size.at(1).toInt());
    const int ret = OpenCamera(m_iCurIndex);
    std::printf("onResChange open camera ret = %d, m_iCurIndex = %d\n", ret, m_iCurIndex);
    m_pImageThread->start();
}

void MainWindow::ReceiveImage(QImage image, int result)
{
    Q_UNUSED(result);
    // A frame that didn't decode clears the preview until the next good one.
    if (image.isNull()) {
        ui->videoLabel->setPixmap(QPixmap());
        return;
    }
    const QImage scaled = image.scaled(ui->videoLabel->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    ui->videoLabel->setPixmap(QPixmap::fromImage(scaled));
}
