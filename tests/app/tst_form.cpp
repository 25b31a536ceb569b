// The window's form: widget tree, geometry, texts and the by-name wiring of the rotate buttons.
#include "scriptedlibrary.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { ScriptedLibrary::reset(); }

    void widgetTree_data();
    void widgetTree();
    void childrenInCreationOrder();
    void windowSizeAndBars();
    void existingObjectNameIsKept();
    void combosStartEmptyAndPreviewBlack();
    void rotateButtonsReachTheLibraryByName();
};

void FormTest::widgetTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("photo") << "pushButton" << "QPushButton" << QRect(620, 480, 101, 41) << "拍照";
    QTest::newRow("preview") << "videoLabel" << "QLabel" << QRect(10, 10, 571, 441) << "";
    QTest::newRow("autocrop") << "checkBoxAutoCrop" << "QCheckBox" << QRect(630, 270, 82, 24) << "自动寻边";
    QTest::newRow("devices") << "comboBoxDev" << "QComboBox" << QRect(80, 480, 161, 26) << "";
    QTest::newRow("device caption") << "label" << "QLabel" << QRect(30, 480, 41, 18) << "设备";
    QTest::newRow("resolutions") << "comboBoxRes" << "QComboBox" << QRect(330, 480, 181, 26) << "";
    QTest::newRow("resolution caption") << "label_2" << "QLabel" << QRect(280, 480, 41, 18) << "分辨率";
    QTest::newRow("rotate left") << "pushButton_2" << "QPushButton" << QRect(630, 340, 80, 26) << "左转";
    QTest::newRow("rotate right") << "pushButton_3" << "QPushButton" << QRect(630, 410, 80, 26) << "右转";
}

void FormTest::widgetTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    QMainWindow window;
    Ui_MainWindow form;
    form.setupUi(&window);

    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QCOMPARE(widget->parent(), form.centralWidget);
    QCOMPARE(widget->geometry(), geometry);
    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    QCOMPARE(shown, text);
}

void FormTest::childrenInCreationOrder()
{
    QMainWindow window;
    Ui_MainWindow form;
    form.setupUi(&window);

    QStringList names;
    for (QObject *child : form.centralWidget->children())
        names << child->objectName();
    QCOMPARE(names, QStringList({"pushButton", "videoLabel", "checkBoxAutoCrop", "comboBoxDev", "label",
                                 "comboBoxRes", "label_2", "pushButton_2", "pushButton_3"}));
    QCOMPARE(window.centralWidget(), form.centralWidget);
}

void FormTest::windowSizeAndBars()
{
    QMainWindow window;
    Ui_MainWindow form;
    form.setupUi(&window);

    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("MainWindow"));
    QCOMPARE(window.size(), QSize(755, 603));
    QCOMPARE(window.menuBar(), form.menuBar);
    QCOMPARE(form.menuBar->parent(), &window);
    QCOMPARE(form.menuBar->geometry(), QRect(0, 0, 755, 23));
    QVERIFY(form.menuBar->actions().isEmpty());
    QCOMPARE(form.mainToolBar->parent(), &window);
    QCOMPARE(window.toolBarArea(form.mainToolBar), Qt::TopToolBarArea);
    QVERIFY(form.mainToolBar->actions().isEmpty());
    QVERIFY(!window.findChild<QStatusBar *>());
}

void FormTest::existingObjectNameIsKept()
{
    QMainWindow window;
    window.setObjectName("scanner");
    Ui_MainWindow form;
    form.setupUi(&window);
    QCOMPARE(window.objectName(), QString("scanner"));
}

void FormTest::combosStartEmptyAndPreviewBlack()
{
    QMainWindow window;
    Ui_MainWindow form;
    form.setupUi(&window);

    QCOMPARE(form.comboBoxDev->count(), 0);
    QCOMPARE(form.comboBoxRes->count(), 0);
    QVERIFY(!form.checkBoxAutoCrop->isChecked());
    QCOMPARE(form.videoLabel->styleSheet(), QString("background-color: rgb(0, 0, 0);"));

    window.show();
    const QImage shot = form.videoLabel->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() / 2), QColor(Qt::black));
}

void FormTest::rotateButtonsReachTheLibraryByName()
{
    MainWindow window;
    auto *left = window.findChild<QPushButton *>("pushButton_2");
    auto *right = window.findChild<QPushButton *>("pushButton_3");
    QTest::mouseClick(left, Qt::LeftButton);
    QTest::mouseClick(right, Qt::LeftButton);
    QTest::mouseClick(right, Qt::LeftButton);

    QStringList rotations;
    for (const ScriptedLibrary::Call &call : ScriptedLibrary::callsFrom(QThread::currentThread())) {
        if (call.function == "RotateLeft" || call.function == "RotateRight") {
            QCOMPARE(call.args, std::vector<int>({0}));
            rotations << QString::fromStdString(call.function);
        }
    }
    QCOMPARE(rotations, QStringList({"RotateLeft", "RotateRight", "RotateRight"}));
}

QTEST_MAIN(FormTest)
#include "tst_form.moc"
