#include "small_dialogs.h"

#include <QCoreApplication>
#include <QDir>
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

QString installedDataDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(QUORVANE_INSTALLED_DATA_DIR));
}

namespace {

// Reads the file's lines into text; false when it can't be opened.
bool readLines(const QString& path, QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    text.clear();
    QTextStream stream(&file);
    while (!stream.atEnd()) text += stream.readLine() + QLatin1Char('\n');
    return true;
}

}  // namespace

QString faqText(const QString& dataDir) {
    QString text = QStringLiteral("Missing FAQ File");
    QString path = QStringLiteral("FAQ.txt");
    bool found = false;
    // Five tries; once a file is found the path stays, and reading it again
    // gives the same text.
    for (int i = 0; i < 5; ++i) {
        if (!QFile::exists(path)) {
            path.prepend(QStringLiteral("../"));
            continue;
        }
        found = readLines(path, text) || found;
    }
    // An installed program runs from anywhere: its own copy comes last.
    if (!found) readLines(dataDir + QStringLiteral("/FAQ.txt"), text);
    return text;
}

void showFaq() {
    QMessageBox box;
    box.setText(faqText());
    box.exec();
}

}  // namespace TrackerConfig
