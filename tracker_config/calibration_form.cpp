#include "calibration_form.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QIcon>
#include <QVBoxLayout>

#include "resources.h"

namespace {

const char* const kContext = "CalibrationParameterDialog";
const QString kWhite = QStringLiteral("background-color: rgb(255, 255, 255);");

QString tr(const char* text) {
    return QCoreApplication::translate(kContext, text);
}

// A piece of a formula: frameless rich text, 12 pt (parentheses 72 pt),
// appended to its formula row.
QTextEdit* piece(QWidget* row, const char* name, int width) {
    auto* edit = new QTextEdit(row);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setFrameShape(QFrame::NoFrame);
    edit->setReadOnly(true);
    edit->setStyleSheet(kWhite);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setFixedWidth(width);
    row->layout()->addWidget(edit);
    return edit;
}

// A matrix of a formula, appended to its formula row.
QTableWidget* table(QWidget* row, const char* name, int rows, int columns) {
    auto* t = new QTableWidget(rows, columns, row);
    t->setObjectName(QString::fromLatin1(name));
    t->setStyleSheet(kWhite);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->horizontalHeader()->setVisible(false);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setDefaultSectionSize(90);
    t->verticalHeader()->setDefaultSectionSize(30);
    t->setFixedSize(columns * 90 + 2, rows * 30 + 2);
    row->layout()->addWidget(t);
    return t;
}

QString text12(const QString& body) {
    return QStringLiteral("<p style=\"margin-top:40px; font-size:12pt;\">") + body +
           QStringLiteral("</p>");
}

QString parenthesis(const char* which) {
    return QStringLiteral("<p style=\"font-size:72pt; margin:0;\">") + QString::fromLatin1(which) +
           QStringLiteral("</p>");
}

// A row for one formula; its pieces and matrices append themselves.
QWidget* formulaRow(QWidget* tab, const char* widgetName, const char* layoutName,
                    QHBoxLayout** layout) {
    auto* row = new QWidget(tab);
    row->setObjectName(QString::fromLatin1(widgetName));
    *layout = new QHBoxLayout(row);
    (*layout)->setObjectName(QString::fromLatin1(layoutName));
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(2);
    return row;
}

}  // namespace

namespace Ui {

void CalibrationParameterDialog::setupUi(QDialog* dialog) {
    TrackerConfig::ensureResources();
    dialog->setObjectName(QStringLiteral("CalibrationParameterDialog"));
    dialog->setWindowIcon(QIcon(QStringLiteral(":/images/quorvane/fenlark_logo_32x32.png")));
    dialog->setFixedSize(1200, 300);
    auto* outer = new QVBoxLayout(dialog);

    tabWidget = new QTabWidget(dialog);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    tabWidget->setStyleSheet(kWhite);
    outer->addWidget(tabWidget);

    // Magnetometer
    tabMagnetometer = new QWidget();
    tabMagnetometer->setObjectName(QStringLiteral("tabMagnetometer"));
    auto* magColumn = new QVBoxLayout(tabMagnetometer);
    horizontalLayoutWidget = formulaRow(tabMagnetometer, "horizontalLayoutWidget",
                                        "horizontalLayout", &horizontalLayout);
    QWidget* row = horizontalLayoutWidget;
    textEdit = piece(row, "textEdit", 110);
    tableWidgetMatrixM_R = table(row, "tableWidgetMatrixM_R", 3, 3);
    textEdit_22 = piece(row, "textEdit_22", 70);
    tableWidgetMatrixM_k = table(row, "tableWidgetMatrixM_k", 3, 1);
    textEdit_21 = piece(row, "textEdit_21", 30);
    textEdit_10 = piece(row, "textEdit_10", 50);
    textEdit_3 = piece(row, "textEdit_3", 130);
    tableWidgetMatrixM_b = table(row, "tableWidgetMatrixM_b", 3, 1);
    textEdit_4 = piece(row, "textEdit_4", 50);
    horizontalLayout->addStretch();
    magColumn->addWidget(row);

    auto* runRow = new QHBoxLayout();
    calibrateMagnetometersPushButton = new QPushButton(tabMagnetometer);
    calibrateMagnetometersPushButton->setObjectName(
        QStringLiteral("calibrateMagnetometersPushButton"));
    runRow->addWidget(calibrateMagnetometersPushButton, 0, Qt::AlignTop);
    widgetRunCalibration = new QWidget(tabMagnetometer);
    widgetRunCalibration->setObjectName(QStringLiteral("widgetRunCalibration"));
    auto* runColumn = new QVBoxLayout(widgetRunCalibration);
    runColumn->setContentsMargins(0, 0, 0, 0);
    progressBar = new QProgressBar(widgetRunCalibration);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    textEditRunCalibration = new QTextEdit(widgetRunCalibration);
    textEditRunCalibration->setObjectName(QStringLiteral("textEditRunCalibration"));
    textEditRunCalibration->setReadOnly(true);
    textEditRunCalibration->setFrameShape(QFrame::NoFrame);
    textEditRunCalibration->setFixedHeight(40);
    labelMissingDirections = new QLabel(widgetRunCalibration);
    labelMissingDirections->setObjectName(QStringLiteral("labelMissingDirections"));
    runColumn->addWidget(progressBar);
    runColumn->addWidget(textEditRunCalibration);
    runColumn->addWidget(labelMissingDirections);
    runRow->addWidget(widgetRunCalibration, 1);
    labelCalibrationReport = new QLabel(tabMagnetometer);
    labelCalibrationReport->setObjectName(QStringLiteral("labelCalibrationReport"));
    labelCalibrationReport->setWordWrap(true);
    labelCalibrationReport->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    labelCalibrationReport->setMinimumWidth(420);
    runRow->addWidget(labelCalibrationReport, 1);
    magColumn->addLayout(runRow);
    widgetRunCalibration->hide();
    tabWidget->addTab(tabMagnetometer, QString());

    // Acceleration
    tabAcceleration = new QWidget();
    tabAcceleration->setObjectName(QStringLiteral("tabAcceleration"));
    auto* accColumn = new QVBoxLayout(tabAcceleration);
    horizontalLayoutWidget_2 = formulaRow(tabAcceleration, "horizontalLayoutWidget_2",
                                          "horizontalLayout_2", &horizontalLayout_2);
    row = horizontalLayoutWidget_2;
    textEdit_5 = piece(row, "textEdit_5", 110);
    tableWidgetMatrixA_R = table(row, "tableWidgetMatrixA_R", 3, 3);
    textEdit_23 = piece(row, "textEdit_23", 70);
    tableWidgetMatrixA_k = table(row, "tableWidgetMatrixA_k", 3, 1);
    textEdit_20 = piece(row, "textEdit_20", 30);
    textEdit_18 = piece(row, "textEdit_18", 50);
    textEdit_8 = piece(row, "textEdit_8", 60);
    tableWidgetMatrixA_b = table(row, "tableWidgetMatrixA_b", 3, 1);
    textEdit_19 = piece(row, "textEdit_19", 50);
    horizontalLayout_2->addStretch();
    accColumn->addWidget(row);
    accColumn->addStretch();
    tabWidget->addTab(tabAcceleration, QString());

    // Gyroscope
    tabGyroscope = new QWidget();
    tabGyroscope->setObjectName(QStringLiteral("tabGyroscope"));
    auto* gyrColumn = new QVBoxLayout(tabGyroscope);
    horizontalLayoutWidget_3 = formulaRow(tabGyroscope, "horizontalLayoutWidget_3",
                                          "horizontalLayout_3", &horizontalLayout_3);
    row = horizontalLayoutWidget_3;
    textEdit_2 = piece(row, "textEdit_2", 100);
    tableWidgetMatrixG_R = table(row, "tableWidgetMatrixG_R", 3, 3);
    textEdit_11 = piece(row, "textEdit_11", 70);
    tableWidgetMatrixG_k = table(row, "tableWidgetMatrixG_k", 3, 1);
    textEdit_15 = piece(row, "textEdit_15", 30);
    textEdit_12 = piece(row, "textEdit_12", 50);
    textEdit_16 = piece(row, "textEdit_16", 70);
    tableWidgetMatrixG_b = table(row, "tableWidgetMatrixG_b", 3, 1);
    textEdit_13 = piece(row, "textEdit_13", 30);
    tableWidgetMatrixG_K = table(row, "tableWidgetMatrixG_K", 3, 3);
    textEdit_14 = piece(row, "textEdit_14", 70);
    textEdit_17 = piece(row, "textEdit_17", 50);
    // The gyroscope row holds two 3 x 3 tables: narrower columns.
    for (QTableWidget* t : {tableWidgetMatrixG_R, tableWidgetMatrixG_K}) {
        t->horizontalHeader()->setDefaultSectionSize(80);
        t->setFixedWidth(3 * 80 + 2);
    }
    horizontalLayout_3->addStretch();
    gyrColumn->addWidget(row);
    gyrColumn->addStretch();
    tabWidget->addTab(tabGyroscope, QString());

    pushButton = new QPushButton(dialog);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    outer->addWidget(pushButton, 0, Qt::AlignRight);

    retranslateUi(dialog);
    tabWidget->setCurrentIndex(0);
    QObject::connect(pushButton, &QPushButton::pressed, dialog, &QDialog::close);
}

void CalibrationParameterDialog::retranslateUi(QDialog* dialog) {
    dialog->setWindowTitle(tr("Calibration Parameters"));
    tabWidget->setTabText(tabWidget->indexOf(tabMagnetometer), tr("Magnetometer"));
    tabWidget->setTabText(tabWidget->indexOf(tabAcceleration), tr("Acceleration"));
    tabWidget->setTabText(tabWidget->indexOf(tabGyroscope), tr("Gyroscope"));

    textEdit->setHtml(text12(QStringLiteral("H<sub>calib </sub>=")));
    textEdit_22->setHtml(text12(QStringLiteral("* diag")));
    textEdit_21->setHtml(text12(QStringLiteral("*")));
    textEdit_10->setHtml(parenthesis("("));
    textEdit_3->setHtml(
        QStringLiteral("<p style=\"margin-top:18px; font-size:12pt;\"> 4096<br>"
                       "--------&nbsp;&nbsp;* H - <br>divider</p>"));
    textEdit_4->setHtml(parenthesis(")"));
    calibrateMagnetometersPushButton->setText(tr("Run Calibration"));
    textEditRunCalibration->setPlainText(
        tr("Starting to collect data for magnetometer calibration ...\n"
           "Slowly rotate the sensor in all directions to acquire data ..."));

    textEdit_5->setHtml(text12(QStringLiteral("a<sub>calib </sub>=")));
    textEdit_23->setHtml(text12(QStringLiteral("* diag")));
    textEdit_20->setHtml(text12(QStringLiteral("*")));
    textEdit_18->setHtml(parenthesis("("));
    textEdit_8->setHtml(text12(QStringLiteral("a -")));
    textEdit_19->setHtml(parenthesis(")"));

    textEdit_2->setHtml(text12(QStringLiteral("omega<sub>calib </sub>=")));
    textEdit_11->setHtml(text12(QStringLiteral("* diag")));
    textEdit_15->setHtml(text12(QStringLiteral("*")));
    textEdit_12->setHtml(parenthesis("("));
    textEdit_16->setHtml(text12(QStringLiteral("omega -")));
    textEdit_13->setHtml(text12(QStringLiteral("-")));
    textEdit_14->setHtml(text12(QStringLiteral("* a<sub>calib</sub>")));
    textEdit_17->setHtml(parenthesis(")"));

    pushButton->setText(tr("Close"));
}

}  // namespace Ui
