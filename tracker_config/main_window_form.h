// The main window's widgets: the device tree with its buttons and the
// yaw, pitch and roll labels on the left, the chart column on the right
// (filled by MainWindow), the menus and the status bar.
#pragma once

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace Ui {

class MainWindow {
  public:
    void setupUi(QMainWindow* window);
    void retranslateUi(QMainWindow* window);

    QAction* actionStart;
    QAction* actionAddTrackersByPort;
    QAction* actionRescan;
    QAction* actionCalibrationParameters;
    QAction* actionQuit;
    QAction* actionEnableTextures;
    QAction* actionHeading;
    QAction* actionObject;
    QAction* actionAlignment;
    QAction* actionAbout;
    QAction* actionFAQ;
    QWidget* centralWidget;
    QWidget* horizontalLayoutWidget;
    QHBoxLayout* horizontalLayout;
    QVBoxLayout* verticalLayoutLeft;
    QTreeWidget* DeviceTreeWidget;
    QHBoxLayout* horizontalLayoutForButtons;
    QPushButton* StartPushButton;
    QPushButton* RescanPushButton;
    QPushButton* SaveConfigurationPushButton;
    QHBoxLayout* horizontalLayoutOpenGL;
    QVBoxLayout* verticalLayout;
    QLabel* label_3;
    QLabel* labelYawParameter;
    QLabel* label_2;
    QLabel* labelPitchParameter;
    QLabel* label;
    QLabel* labelRollParameter;
    QVBoxLayout* verticalLayoutRight;
    QMenuBar* menuBar;
    QMenu* menuDevice;
    QMenu* menuConfiguration;
    QMenu* menuBoresight;
    QMenu* menu;
    QStatusBar* statusBar;
};

}  // namespace Ui
