// The small windows: About, additional ports and the FAQ lookup, and the
// calibration dialog's form and table edits.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <string>
#include <vector>

#include "calibration_dialog.h"
#include "calibration_form.h"
#include "sensor_array.h"
#include "small_dialogs.h"
#include "views_fixture.h"

namespace {

using namespace Quorvane::testing;

TEST(AboutDialog, ShowsTheVersionEveryTimeAndTheProjectsLinks) {
    QDialog dialog;
    Ui::AboutDialog form;
    form.setupUi(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Quorvane - Fenlark");
    EXPECT_EQ(dialog.minimumSize(), QSize(570, 370));
    EXPECT_EQ(dialog.maximumSize(), QSize(570, 370));
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_TRUE(form.label->openExternalLinks());
    EXPECT_TRUE(form.label->text().contains(QStringLiteral(QUORVANE_TEST_REPOSITORY_URL)));
    EXPECT_TRUE(form.label_2->text().contains("README.md"));
    EXPECT_FALSE(form.textEdit->toPlainText().isEmpty());

    for (int showing = 0; showing < 2; ++showing) {
        form.versionLabel->setText("stale");
        QString shown;
        ModalAnswer close([&](QWidget* modal) {
            shown = form.versionLabel->text();
            form.closeButton->pressed();
            EXPECT_EQ(modal, &dialog);
        });
        TrackerConfig::showAbout(dialog, form);
        EXPECT_EQ(shown, "2.0.2");
    }
}

TEST(AdditionalPortsDialog, CancelEmptiesTheListAndOkKeepsIt) {
    QDialog dialog;
    Ui::AdditionalComPortsToScanDialog form;
    form.setupUi(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Additional COM-ports to scan");
    EXPECT_EQ(dialog.maximumSize(), QSize(400, 150));
    EXPECT_EQ(form.label->text(),
              "Enter additional sensors by specifying the sensors separated by commas, e.g.: "
              "COM12,COM14,COM16");

    struct Case {
        QDialogButtonBox::StandardButton press;
        int result;
        QString after;
    };
    for (const Case& c : {Case{QDialogButtonBox::Ok, QDialog::Accepted, "COM3,COM4"},
                          Case{QDialogButtonBox::Cancel, QDialog::Rejected, ""}}) {
        form.portList->setText("COM3,COM4");
        ModalAnswer answer([&](QWidget*) { form.buttonBox->button(c.press)->click(); });
        EXPECT_EQ(TrackerConfig::runAdditionalPorts(dialog, form), c.result);
        EXPECT_EQ(form.portList->text(), c.after);
    }
}

// Runs faqText() with the working directory `dir` and the installation's
// data folder `dataDir`.
QString faqFrom(const QString& dir, const QString& dataDir = QStringLiteral("/nonexistent")) {
    const QString previous = QDir::currentPath();
    EXPECT_TRUE(QDir::setCurrent(dir));
    const QString text = TrackerConfig::faqText(dataDir);
    QDir::setCurrent(previous);
    return text;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

TEST(Faq, FoundUpToFourDirectoriesAboveTheNearestWinning) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString deep = root.path() + "/1/2/3/4/5";
    ASSERT_TRUE(QDir().mkpath(deep));

    writeFile(root.path() + "/FAQ.txt", "too far\n");
    EXPECT_EQ(faqFrom(deep), "Missing FAQ File");  // five levels up

    writeFile(root.path() + "/1/2/3/FAQ.txt", "two up\nsecond line");
    EXPECT_EQ(faqFrom(deep), "two up\nsecond line\n");
    writeFile(root.path() + "/1/2/3/4/FAQ.txt", "one up\n");
    EXPECT_EQ(faqFrom(deep), "one up\n");
    writeFile(deep + "/FAQ.txt", "");
    EXPECT_EQ(faqFrom(deep), "");
    EXPECT_EQ(faqFrom(root.path() + "/1"), "too far\n");
}

TEST(Faq, TheInstalledCopyComesAfterTheFiveFolders) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString deep = root.path() + "/1/2/3/4/5";
    const QString data = root.path() + "/share/quorvane";
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QDir().mkpath(data));

    EXPECT_EQ(faqFrom(deep, data), "Missing FAQ File");
    writeFile(data + "/FAQ.txt", "installed\n");
    writeFile(root.path() + "/FAQ.txt", "too far\n");
    EXPECT_EQ(faqFrom(deep, data), "installed\n");
    writeFile(root.path() + "/1/FAQ.txt", "four up\n");
    EXPECT_EQ(faqFrom(deep, data), "four up\n");
    // An empty file in the five still wins: it was found.
    writeFile(deep + "/FAQ.txt", "");
    EXPECT_EQ(faqFrom(deep, data), "");
}

TEST(Faq, ShippedBesideTheProgramWithRealAnswers) {
    QFile faq(QCoreApplication::applicationDirPath() + "/FAQ.txt");
    ASSERT_TRUE(faq.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(faq.readAll());
    for (const char* topic : {"70-quorvane-tracker.rules", "dialout", "ModemManager",
                              "Run Calibration", "robust", "RAW mode", "Rescan"})
        EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
}

TEST(Faq, ShownInABoxWithoutTitle) {
    QString text, title;
    ModalAnswer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    TrackerConfig::showFaq();
    QDir::setCurrent(previous);
    EXPECT_TRUE(text.startsWith("Quorvane tracker configuration")) << text.toStdString();
    EXPECT_EQ(title, QString());
}

// A SensorArray with one entry whose calibration record counts 1, 2, ... 54.
struct CalibrationForm : ::testing::Test {
    CalibrationForm() {
        array.addManualPort("/dev/no-such-tracker");
        sensor = array.currentSensor();
        float values[54];
        for (int i = 0; i < 54; ++i) values[i] = static_cast<float>(i + 1) + 0.5f;
        sensor->setAR(values);
        sensor->setAb(values + 9);
        sensor->setAk(values + 12);
        sensor->setGR(values + 15);
        sensor->setGb(values + 24);
        sensor->setGk(values + 27);
        sensor->setGK(values + 30);
        sensor->setMR(values + 39);
        sensor->setMb(values + 48);
        sensor->setMk(values + 51);
        sensor->setId("CAL1");
    }
    SensorArray array;
    SensorObject* sensor = nullptr;
};

TEST_F(CalibrationForm, TextsSizesAndTables) {
    CalibrationDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Calibration Parameters");
    EXPECT_EQ(dialog.minimumSize(), QSize(1200, 300));
    EXPECT_EQ(dialog.maximumSize(), QSize(1200, 300));
    auto* tabs = dialog.findChild<QTabWidget*>("tabWidget");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(tabs->tabText(0), "Magnetometer");
    EXPECT_EQ(tabs->tabText(1), "Acceleration");
    EXPECT_EQ(tabs->tabText(2), "Gyroscope");
    EXPECT_EQ(dialog.findChild<QPushButton*>("calibrateMagnetometersPushButton")->text(),
              "Run Calibration");
    EXPECT_EQ(dialog.findChild<QPushButton*>("pushButton")->text(), "Close");
    EXPECT_EQ(dialog.findChild<QTextEdit*>("textEditRunCalibration")->toPlainText(),
              "Starting to collect data for magnetometer calibration ...\n"
              "Slowly rotate the sensor in all directions to acquire data ...");
    EXPECT_FALSE(dialog.findChild<QProgressBar*>("progressBar")->isTextVisible());
    EXPECT_TRUE(dialog.findChild<QTextEdit*>("textEdit_3")->toPlainText().contains("divider"));

    EXPECT_EQ(dialog.fillTables(), -1);  // no tracker yet
    dialog.setSensor(nullptr, "CAL1");
    EXPECT_EQ(dialog.windowTitle(), "Calibration Parameters");
    dialog.setSensor(&array, "");
    EXPECT_EQ(dialog.windowTitle(), "Calibration Parameters for CAL1");
    EXPECT_TRUE(dialog.findChild<QWidget*>("widgetRunCalibration")->isHidden());

    std::map<std::string, std::vector<QString>> shown;
    ModalAnswer look([&](QWidget*) {
        for (const char* name : {"tableWidgetMatrixA_R", "tableWidgetMatrixA_k",
                                 "tableWidgetMatrixM_b", "tableWidgetMatrixG_K"}) {
            auto* t = dialog.findChild<QTableWidget*>(name);
            for (int r = 0; r < t->rowCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c) {
                    shown[name].push_back(t->item(r, c)->text());
                    EXPECT_EQ(t->item(r, c)->textAlignment(), Qt::AlignCenter);
                }
            EXPECT_EQ(t->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        }
        dialog.close();
    });
    dialog.fillTables();
    EXPECT_EQ(shown["tableWidgetMatrixA_R"],
              (std::vector<QString>{"1.500000", "2.500000", "3.500000", "4.500000", "5.500000",
                                    "6.500000", "7.500000", "8.500000", "9.500000"}));
    // Vectors as columns, element i in row i.
    EXPECT_EQ(shown["tableWidgetMatrixA_k"],
              (std::vector<QString>{"13.500000", "14.500000", "15.500000"}));
    EXPECT_EQ(shown["tableWidgetMatrixM_b"],
              (std::vector<QString>{"49.500000", "50.500000", "51.500000"}));
    EXPECT_EQ(shown["tableWidgetMatrixG_K"].front(), "31.500000");
}

TEST_F(CalibrationForm, AREditReachesTheTrackerOnlyAsANumber) {
    CalibrationDialog dialog;
    dialog.setSensor(&array, "CAL1");
    auto* ar = dialog.findChild<QTableWidget*>("tableWidgetMatrixA_R");
    auto* mr = dialog.findChild<QTableWidget*>("tableWidgetMatrixM_R");
    ModalAnswer edit([&](QWidget*) {
        ar->item(2, 0)->setText("1.25");
        ar->item(0, 1)->setText("abc");
        mr->item(0, 0)->setText("9.75");  // only A_R is wired to the tracker
        dialog.close();
    });
    dialog.fillTables();
    EXPECT_FLOAT_EQ(sensor->getAR()[6], 1.25f);
    EXPECT_FLOAT_EQ(sensor->getAR()[1], 2.5f);
    EXPECT_FLOAT_EQ(sensor->getMR()[0], 40.5f);
    EXPECT_EQ(ar->item(0, 1)->text(), "abc");
}

TEST(CalibrationDialogMeta, SlotsInTheirOrderAndNoSignals) {
    const QMetaObject& meta = CalibrationDialog::staticMetaObject;
    QStringList slotList;
    int signalCount = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == QMetaMethod::Slot)
            slotList << QString::fromLatin1(m.methodSignature());
        if (m.methodType() == QMetaMethod::Signal) ++signalCount;
    }
    EXPECT_EQ(signalCount, 0);
    EXPECT_EQ(slotList,
              (QStringList{
                  "matrixARChanged(QTableWidgetItem*)", "matrixAbChanged(QTableWidgetItem*)",
                  "matrixAkChanged(QTableWidgetItem*)", "matrixGRChanged(QTableWidgetItem*)",
                  "matrixGKChanged(QTableWidgetItem*)", "matrixGbChanged(QTableWidgetItem*)",
                  "matrixGkChanged(QTableWidgetItem*)", "matrixMRChanged(QTableWidgetItem*)",
                  "matrixMbChanged(QTableWidgetItem*)", "matrixMkChanged(QTableWidgetItem*)",
                  "initializeProgressBar(int)", "advanceProgressBar(int)",
                  "calibrationFinished(bool)", "calibrateMagnetometers()", "updateProgressBar()"}));
}

}  // namespace
