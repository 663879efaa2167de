#include "main_window_form.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHeaderView>
#include <QIcon>

#include "resources.h"

namespace Ui {

namespace {

const char* const kTreeStyle =
    "QTreeView::branch { background: palette(base); }\n"
    "QTreeView::branch:has-siblings:!adjoins-item {"
    " border-image: url(:/images/icons/vline.png) 0; }\n"
    "QTreeView::branch:has-siblings:adjoins-item {"
    " border-image: url(:/images/icons/branch-more.png) 0; }\n"
    "QTreeView::branch:!has-children:!has-siblings:adjoins-item {"
    " border-image: url(:/images/icons/branch-end.png) 0; }\n"
    "QTreeView::branch:has-children:!has-siblings:closed,\n"
    "QTreeView::branch:closed:has-children:has-siblings {"
    " border-image: none; image: url(:/images/icons/plus.png); }\n"
    "QTreeView::branch:open:has-children:!has-siblings,\n"
    "QTreeView::branch:open:has-children:has-siblings {"
    " border-image: none; image: url(:/images/icons/minus.png); }\n";

QAction* newAction(QMainWindow* window, const char* name) {
    auto* action = new QAction(window);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QLabel* nameLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMaximumWidth(50);
    label->setFrameShape(QFrame::Box);
    return label;
}

QLabel* valueLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    // At its largest size for good: a label of fixed size changes its text
    // (100 times a second while streaming) without laying out its column again.
    label->setFixedSize(50, 20);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

void MainWindow::setupUi(QMainWindow* window) {
    TrackerConfig::ensureResources();
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(900, 603);
    window->setMaximumSize(900, 603);
    window->setWindowIcon(QIcon(QStringLiteral(":/images/quorvane/fenlark_logo_32x32.png")));

    actionStart = newAction(window, "actionStart");
    actionStart->setEnabled(false);
    actionAddTrackersByPort = newAction(window, "actionAddTrackersByPort");
    actionRescan = newAction(window, "actionRescan");
    actionCalibrationParameters = newAction(window, "actionCalibrationParameters");
    actionCalibrationParameters->setEnabled(false);
    actionQuit = newAction(window, "actionQuit");
    actionEnableTextures = newAction(window, "actionEnableTextures");
    actionEnableTextures->setCheckable(true);
    actionEnableTextures->setChecked(true);
    actionHeading = newAction(window, "actionHeading");
    actionObject = newAction(window, "actionObject");
    actionAlignment = newAction(window, "actionAlignment");
    actionAbout = newAction(window, "actionAbout");
    actionAbout->setIcon(QIcon(QStringLiteral(":/images/quorvane/fenlark_logo_16x16.png")));
    actionAbout->setIconVisibleInMenu(true);
    actionFAQ = newAction(window, "actionFAQ");

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    centralWidget->setMinimumSize(860, 560);
    horizontalLayoutWidget = new QWidget(centralWidget);
    horizontalLayoutWidget->setObjectName(QStringLiteral("horizontalLayoutWidget"));
    horizontalLayoutWidget->setGeometry(QRect(0, 0, 890, 550));
    horizontalLayout = new QHBoxLayout(horizontalLayoutWidget);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(0, 0, 0, 0);

    verticalLayoutLeft = new QVBoxLayout();
    verticalLayoutLeft->setObjectName(QStringLiteral("verticalLayoutLeft"));
    DeviceTreeWidget = new QTreeWidget(horizontalLayoutWidget);
    DeviceTreeWidget->setObjectName(QStringLiteral("DeviceTreeWidget"));
    DeviceTreeWidget->setColumnCount(2);
    DeviceTreeWidget->setMinimumSize(400, 250);
    DeviceTreeWidget->setEditTriggers(QAbstractItemView::DoubleClicked |
                                      QAbstractItemView::SelectedClicked |
                                      QAbstractItemView::EditKeyPressed);
    DeviceTreeWidget->header()->setDefaultSectionSize(250);
    DeviceTreeWidget->header()->setMinimumSectionSize(20);
    DeviceTreeWidget->header()->setStretchLastSection(true);
    DeviceTreeWidget->setStyleSheet(QString::fromLatin1(kTreeStyle));
    verticalLayoutLeft->addWidget(DeviceTreeWidget);

    horizontalLayoutForButtons = new QHBoxLayout();
    horizontalLayoutForButtons->setObjectName(QStringLiteral("horizontalLayoutForButtons"));
    StartPushButton = new QPushButton(horizontalLayoutWidget);
    StartPushButton->setObjectName(QStringLiteral("StartPushButton"));
    StartPushButton->setEnabled(false);
    RescanPushButton = new QPushButton(horizontalLayoutWidget);
    RescanPushButton->setObjectName(QStringLiteral("RescanPushButton"));
    SaveConfigurationPushButton = new QPushButton(horizontalLayoutWidget);
    SaveConfigurationPushButton->setObjectName(QStringLiteral("SaveConfigurationPushButton"));
    SaveConfigurationPushButton->setEnabled(false);
    horizontalLayoutForButtons->addWidget(StartPushButton);
    horizontalLayoutForButtons->addWidget(RescanPushButton);
    horizontalLayoutForButtons->addWidget(SaveConfigurationPushButton);
    verticalLayoutLeft->addLayout(horizontalLayoutForButtons);

    horizontalLayoutOpenGL = new QHBoxLayout();
    horizontalLayoutOpenGL->setObjectName(QStringLiteral("horizontalLayoutOpenGL"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    label_3 = nameLabel(horizontalLayoutWidget, "label_3");
    labelYawParameter = valueLabel(horizontalLayoutWidget, "labelYawParameter");
    label_2 = nameLabel(horizontalLayoutWidget, "label_2");
    labelPitchParameter = valueLabel(horizontalLayoutWidget, "labelPitchParameter");
    label = nameLabel(horizontalLayoutWidget, "label");
    labelRollParameter = valueLabel(horizontalLayoutWidget, "labelRollParameter");
    for (QLabel* l :
         {label_3, labelYawParameter, label_2, labelPitchParameter, label, labelRollParameter})
        verticalLayout->addWidget(l);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    horizontalLayoutOpenGL->addLayout(verticalLayout);
    verticalLayoutLeft->addLayout(horizontalLayoutOpenGL);
    horizontalLayout->addLayout(verticalLayoutLeft);

    verticalLayoutRight = new QVBoxLayout();
    verticalLayoutRight->setObjectName(QStringLiteral("verticalLayoutRight"));
    horizontalLayout->addLayout(verticalLayoutRight);
    window->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuDevice = new QMenu(menuBar);
    menuDevice->setObjectName(QStringLiteral("menuDevice"));
    menuConfiguration = new QMenu(menuBar);
    menuConfiguration->setObjectName(QStringLiteral("menuConfiguration"));
    menuBoresight = new QMenu(menuConfiguration);
    menuBoresight->setObjectName(QStringLiteral("menuBoresight"));
    menu = new QMenu(menuBar);
    menu->setObjectName(QStringLiteral("menu"));
    window->setMenuBar(menuBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    menuBar->addAction(menuDevice->menuAction());
    menuBar->addAction(menuConfiguration->menuAction());
    menuBar->addAction(menu->menuAction());
    menuDevice->addAction(actionStart);
    menuDevice->addSeparator();
    menuDevice->addAction(actionAddTrackersByPort);
    menuDevice->addAction(actionRescan);
    menuDevice->addSeparator();
    menuDevice->addAction(actionCalibrationParameters);
    menuDevice->addSeparator();
    menuDevice->addAction(actionQuit);
    menuConfiguration->addAction(actionEnableTextures);
    menuConfiguration->addAction(menuBoresight->menuAction());
    menuBoresight->addAction(actionHeading);
    menuBoresight->addAction(actionObject);
    menuBoresight->addAction(actionAlignment);
    menu->addAction(actionAbout);
    menu->addAction(actionFAQ);

    retranslateUi(window);
}

void MainWindow::retranslateUi(QMainWindow* window) {
    auto tr = [](const char* text) { return QCoreApplication::translate("MainWindow", text); };
    window->setWindowTitle(tr("Quorvane - Fenlark"));
    actionStart->setText(tr("Start"));
    actionAddTrackersByPort->setText(tr("Additional COM-ports to scan"));
    actionRescan->setText(tr("Rescan"));
    actionCalibrationParameters->setText(tr("Calibration Parameters"));
    actionQuit->setText(tr("Quit"));
    actionEnableTextures->setText(tr("View Textures"));
    actionHeading->setText(tr("Heading"));
    actionObject->setText(tr("Object"));
    actionAlignment->setText(tr("Alignment"));
    actionAbout->setText(tr("About"));
    actionFAQ->setText(tr("FAQ"));
    DeviceTreeWidget->headerItem()->setText(0, tr("Devices"));
    DeviceTreeWidget->headerItem()->setText(1, tr("Values"));
    StartPushButton->setText(tr("Start"));
    RescanPushButton->setText(tr("Rescan"));
    SaveConfigurationPushButton->setText(tr("Save Configuration"));
    label_3->setText(tr("Yaw"));
    labelYawParameter->setText(QStringLiteral("0.0"));
    label_2->setText(tr("Pitch"));
    labelPitchParameter->setText(QStringLiteral("0.0"));
    label->setText(tr("Roll"));
    labelRollParameter->setText(QStringLiteral("0.0"));
    menuDevice->setTitle(tr("Device"));
    menuConfiguration->setTitle(tr("Configuration"));
    menuBoresight->setTitle(tr("Boresight"));
    menu->setTitle(tr("?"));
}

}  // namespace Ui
