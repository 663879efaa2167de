// The dialog in which the user lists COM ports the next scan probes in
// addition to the ones it discovers.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace Ui {

class AdditionalComPortsToScanDialog {
  public:
    void setupUi(QDialog* dialog);
    void retranslateUi(QDialog* dialog);

    QWidget* verticalLayoutWidget;
    QVBoxLayout* verticalLayout;
    QLabel* label;
    QLineEdit* portList;
    QDialogButtonBox* buttonBox;
};

}  // namespace Ui
