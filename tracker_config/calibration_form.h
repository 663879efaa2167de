// The calibration dialog's widgets: three tabs that lay the parameter
// tables out inside the formulas the tracker applies,
//   a_calib     = A_R diag(A_k) (a - A_b)
//   omega_calib = G_R diag(G_k) (omega - G_b - G_K a_calib)
//   H_calib     = M_R diag(M_k) (4096 / divider H - M_b),
// the magnetometer tab's run controls, and the close button. Widgets carry
// the object names the rest of the program and the tests look them up by.
#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>

namespace Ui {

class CalibrationParameterDialog {
  public:
    void setupUi(QDialog* dialog);
    void retranslateUi(QDialog* dialog);

    QTabWidget* tabWidget;
    QWidget* tabMagnetometer;
    QWidget* horizontalLayoutWidget;
    QHBoxLayout* horizontalLayout;
    QTextEdit* textEdit;
    QTableWidget* tableWidgetMatrixM_R;
    QTextEdit* textEdit_22;
    QTableWidget* tableWidgetMatrixM_k;
    QTextEdit* textEdit_21;
    QTextEdit* textEdit_10;
    QTextEdit* textEdit_3;
    QTableWidget* tableWidgetMatrixM_b;
    QTextEdit* textEdit_4;
    QPushButton* calibrateMagnetometersPushButton;
    QWidget* widgetRunCalibration;
    QProgressBar* progressBar;
    QTextEdit* textEditRunCalibration;
    // Added to the run controls: which directions the field has not yet
    // taken, and after a run how good it was.
    QLabel* labelMissingDirections;
    QLabel* labelCalibrationReport;

    QWidget* tabAcceleration;
    QWidget* horizontalLayoutWidget_2;
    QHBoxLayout* horizontalLayout_2;
    QTextEdit* textEdit_5;
    QTableWidget* tableWidgetMatrixA_R;
    QTextEdit* textEdit_23;
    QTableWidget* tableWidgetMatrixA_k;
    QTextEdit* textEdit_20;
    QTextEdit* textEdit_18;
    QTextEdit* textEdit_8;
    QTableWidget* tableWidgetMatrixA_b;
    QTextEdit* textEdit_19;

    QWidget* tabGyroscope;
    QWidget* horizontalLayoutWidget_3;
    QHBoxLayout* horizontalLayout_3;
    QTextEdit* textEdit_2;
    QTableWidget* tableWidgetMatrixG_R;
    QTextEdit* textEdit_11;
    QTableWidget* tableWidgetMatrixG_k;
    QTextEdit* textEdit_15;
    QTextEdit* textEdit_12;
    QTextEdit* textEdit_16;
    QTableWidget* tableWidgetMatrixG_b;
    QTextEdit* textEdit_13;
    QTableWidget* tableWidgetMatrixG_K;
    QTextEdit* textEdit_14;
    QTextEdit* textEdit_17;

    QPushButton* pushButton;
};

}  // namespace Ui
