#include "additional_ports_form.h"

#include <QCoreApplication>

namespace Ui {

void AdditionalComPortsToScanDialog::setupUi(QDialog* dialog) {
    dialog->setObjectName(QStringLiteral("AdditionalComPortsToScanDialog"));
    dialog->resize(400, 150);
    dialog->setMaximumSize(400, 150);

    verticalLayoutWidget = new QWidget(dialog);
    verticalLayoutWidget->setObjectName(QStringLiteral("verticalLayoutWidget"));
    verticalLayoutWidget->setGeometry(QRect(10, 0, 390, 140));
    verticalLayout = new QVBoxLayout(verticalLayoutWidget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(10, 10, 10, 10);

    label = new QLabel(verticalLayoutWidget);
    label->setObjectName(QStringLiteral("label"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    verticalLayout->addWidget(label);

    portList = new QLineEdit(verticalLayoutWidget);
    portList->setObjectName(QStringLiteral("portList"));
    verticalLayout->addWidget(portList);

    buttonBox = new QDialogButtonBox(verticalLayoutWidget);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttonBox->setCenterButtons(true);
    verticalLayout->addWidget(buttonBox);

    retranslateUi(dialog);
    QObject::connect(buttonBox, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
}

void AdditionalComPortsToScanDialog::retranslateUi(QDialog* dialog) {
    const char* context = "AdditionalComPortsToScanDialog";
    dialog->setWindowTitle(QCoreApplication::translate(context, "Additional COM-ports to scan"));
    label->setText(QCoreApplication::translate(
        context,
        "Enter additional sensors by specifying the sensors separated by commas, e.g.: "
        "COM12,COM14,COM16"));
}

}  // namespace Ui
