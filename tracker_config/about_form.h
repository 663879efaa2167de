// The About dialog's widgets: the banner, the version, the project's
// contact details in two columns with a link below each, and Close.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace Ui {

class AboutDialog {
  public:
    void setupUi(QDialog* dialog);
    void retranslateUi(QDialog* dialog);

    QWidget* verticalLayoutWidget;
    QVBoxLayout* verticalLayout;
    QFrame* frame;
    QLabel* versionLabel;
    QFrame* line;
    QHBoxLayout* horizontalLayout_2;
    QVBoxLayout* verticalLayout_2;
    QVBoxLayout* verticalLayout_3;
    QTextEdit* textEdit;
    QTextEdit* textEdit_2;
    QLabel* label;
    QLabel* label_2;
    QHBoxLayout* horizontalLayout;
    QPushButton* closeButton;
};

}  // namespace Ui
