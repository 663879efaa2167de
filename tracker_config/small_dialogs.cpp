#include "small_dialogs.h"

#include <QFile>
#include <QMessageBox>
#include <QTextStream>

namespace TrackerConfig {

void showAbout(QDialog& dialog, Ui::AboutDialog& form) {
    form.versionLabel->setText(QString::fromLatin1(kVersion));
    dialog.exec();
}

int runAdditionalPorts(QDialog& dialog, Ui::AdditionalComPortsToScanDialog& form) {
    const int result = dialog.exec();
    if (result == QDialog::Rejected) form.portList->setText(QString());
    return result;
}

QString faqText() {
    QString text = QStringLiteral("Missing FAQ File");
    QString path = QStringLiteral("FAQ.txt");
    // Five tries; once a file is found the path stays, and reading it again
    // gives the same text.
    for (int i = 0; i < 5; ++i) {
        if (!QFile::exists(path)) {
            path.prepend(QStringLiteral("../"));
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
        text.clear();
        QTextStream stream(&file);
        while (!stream.atEnd()) text += stream.readLine() + QLatin1Char('\n');
    }
    return text;
}

void showFaq() {
    QMessageBox box;
    box.setText(faqText());
    box.exec();
}

}  // namespace TrackerConfig
