// The device tree: one block of settings per tracker, built from its
// SensorObject, and the mapping between the object's focus positions and
// the block's rows.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QSpinBox>
#include <QTreeWidget>

#include "main_window.h"
#include "main_window_form.h"
#include "sensor_object.h"

namespace {

using CheckSlot = void (SensorObject::*)(int);

struct CheckRow {
    const char* text;
    bool (SensorObject::*value)() const;
    CheckSlot slot;
};

// The rows under "Sensor config", in focus position order 1 to 11.
const CheckRow kSensorConfigRows[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "Magnetometer X"), &SensorObject::isEnabledMagX,
     &SensorObject::enableMagX},
    {QT_TRANSLATE_NOOP("MainWindow", "Magnetometer Y"), &SensorObject::isEnabledMagY,
     &SensorObject::enableMagY},
    {QT_TRANSLATE_NOOP("MainWindow", "Magnetometer Z"), &SensorObject::isEnabledMagZ,
     &SensorObject::enableMagZ},
    {QT_TRANSLATE_NOOP("MainWindow", "Acceleration X"), &SensorObject::isEnabledAccX,
     &SensorObject::enableAccX},
    {QT_TRANSLATE_NOOP("MainWindow", "Acceleration Y"), &SensorObject::isEnabledAccY,
     &SensorObject::enableAccY},
    {QT_TRANSLATE_NOOP("MainWindow", "Acceleration Z"), &SensorObject::isEnabledAccZ,
     &SensorObject::enableAccZ},
    {QT_TRANSLATE_NOOP("MainWindow", "Gyroscope X"), &SensorObject::isEnabledGyrX,
     &SensorObject::enableGyrX},
    {QT_TRANSLATE_NOOP("MainWindow", "Gyroscope Y"), &SensorObject::isEnabledGyrY,
     &SensorObject::enableGyrY},
    {QT_TRANSLATE_NOOP("MainWindow", "Gyroscope Z"), &SensorObject::isEnabledGyrZ,
     &SensorObject::enableGyrZ},
    {QT_TRANSLATE_NOOP("MainWindow", "Temperature"), &SensorObject::isEnabledTemp,
     &SensorObject::enableTemp},
    {QT_TRANSLATE_NOOP("MainWindow", "Navigation"), &SensorObject::isEnabledNav,
     &SensorObject::enableNav},
};
constexpr int kNavigationRow = 10;

// The check-box rows of the block itself, from "ASCII output" on.
const CheckRow kBlockCheckRows[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "ASCII output"), &SensorObject::isEnabledAscii,
     &SensorObject::enableAscii},
    {QT_TRANSLATE_NOOP("MainWindow", "AutoStart"), &SensorObject::isEnabledAutostart,
     &SensorObject::enableAutostart},
    {QT_TRANSLATE_NOOP("MainWindow", "RAW mode"), &SensorObject::isEnabledRaw,
     &SensorObject::enableRaw},
    {QT_TRANSLATE_NOOP("MainWindow", "Enable boresight"), &SensorObject::isEnabledBoresight,
     &SensorObject::enableBoresight},
    {QT_TRANSLATE_NOOP("MainWindow", "Jitter reduction"), &SensorObject::isEnabledJitterReduction,
     &SensorObject::enableJitterReduction},
};

QString translated(const char* text) {
    return QCoreApplication::translate("MainWindow", text);
}

// A row with a check box connected to the object before it shows the
// stored value, so showing it writes the same value back.
void addCheckRow(QTreeWidget* tree, QTreeWidgetItem* parent, SensorObject* sensor,
                 const CheckRow& row) {
    auto* item = new QTreeWidgetItem(parent, QStringList(translated(row.text)));
    auto* box = new QCheckBox();
    QObject::connect(box, &QCheckBox::stateChanged, sensor, row.slot);
    box->setChecked((sensor->*row.value)());
    tree->setItemWidget(item, 1, box);
}

}  // namespace

void MainWindow::addSensorBlock(SensorObject* sensor) {
    QTreeWidget* tree = ui->DeviceTreeWidget;
    auto* top = new QTreeWidgetItem(tree, QStringList(QString::fromStdString(sensor->getId())));
    auto* config = new QTreeWidgetItem(top, QStringList(tr("Sensor config")));
    for (const CheckRow& row : kSensorConfigRows) addCheckRow(tree, config, sensor, row);
    tree->itemWidget(config->child(kNavigationRow), 1)->setEnabled(false);

    auto* magDivItem = new QTreeWidgetItem(top, QStringList(tr("Magnetic div")));
    auto* magDiv = new QComboBox();
    magDiv->addItems({"32", "64", "128", "256", "512", "1024", "2048", "4096"});
    connect(magDiv, qOverload<int>(&QComboBox::activated), sensor, &SensorObject::setMagDiv);
    magDiv->setCurrentIndex(sensor->getMagDiv());
    tree->setItemWidget(magDivItem, 1, magDiv);

    auto* freqItem = new QTreeWidgetItem(top, QStringList(tr("Frequency")));
    auto* freq = new QSpinBox();
    freq->setRange(10, 2047);
    connect(freq, qOverload<int>(&QSpinBox::valueChanged), sensor, &SensorObject::setFreq);
    freq->setValue(sensor->getFreq());
    tree->setItemWidget(freqItem, 1, freq);

    for (const CheckRow& row : kBlockCheckRows) addCheckRow(tree, top, sensor, row);

    // The host filter's profile, used from the next start on.
    auto* profileItem = new QTreeWidgetItem(top, QStringList(tr("Filter profile")));
    auto* profile = new QComboBox();
    profile->addItems({tr("Standard"), tr("Robust")});
    connect(profile, qOverload<int>(&QComboBox::activated), sensor,
            &SensorObject::setFilterProfile);
    profile->setCurrentIndex(sensor->getFilterProfile());
    tree->setItemWidget(profileItem, 1, profile);
}

void MainWindow::disconnectSensorBlock(QTreeWidgetItem* top, SensorObject* sensor) {
    QTreeWidget* tree = ui->DeviceTreeWidget;
    for (int i = 0; i < top->childCount(); ++i) {
        QTreeWidgetItem* row = top->child(i);
        if (QWidget* w = tree->itemWidget(row, 1)) w->disconnect(sensor);
        for (int j = 0; j < row->childCount(); ++j)
            if (QWidget* w = tree->itemWidget(row->child(j), 1)) w->disconnect(sensor);
    }
    sensor->disconnect(this);
}

void MainWindow::focusTreeItem(std::string id, int pos) {
    QTreeWidget* tree = ui->DeviceTreeWidget;
    for (QTreeWidgetItem* item : tree->selectedItems()) item->setSelected(false);
    const QString text = QString::fromStdString(id);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        if (top->text(0) != text) continue;
        if (pos >= SensorObject::PosMagX && pos <= SensorObject::PosNav) {
            top->child(RowSensorConfig)->child(pos - 1)->setSelected(true);
        } else if (pos == SensorObject::PosBoresight) {
            if (SensorObject* sensor = sensorArray.findSensor(id))
                if (auto* box =
                        qobject_cast<QCheckBox*>(tree->itemWidget(top->child(RowBoresight), 1)))
                    box->setChecked(sensor->isEnabledBoresight());
            top->child(RowBoresight)->setSelected(true);
        } else if (pos >= SensorObject::PosMagDiv && pos <= SensorObject::PosFilterProfile) {
            top->child(pos - SensorObject::PosNav)->setSelected(true);
        }
    }
}

void MainWindow::setTreeWidgetsDisabled(bool disabled) {
    QTreeWidget* tree = ui->DeviceTreeWidget;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        QTreeWidgetItem* config = top->child(RowSensorConfig);
        for (int j = 0; j < config->childCount(); ++j)
            if (j != kNavigationRow)
                if (QWidget* w = tree->itemWidget(config->child(j), 1)) w->setEnabled(!disabled);
        for (int row : {RowMagDiv, RowFrequency, RowAscii, RowAutostart, RowRaw, RowJitterReduction,
                        RowFilterProfile})
            if (QWidget* w = tree->itemWidget(top->child(row), 1)) w->setEnabled(!disabled);
    }
}
