// The main window's chart column with its scale labels and legends, the
// status bar, and what the charts show for a tracker's display mask.
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QPalette>
#include <QSpacerItem>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>

#include "chart_view.h"
#include "main_window.h"
#include "main_window_form.h"
#include "opengl_view.h"
#include "sensor_object.h"

namespace {

constexpr unsigned kChartCapacity = 500;

QLabel* swatch(QWidget* parent, const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setFixedSize(15, 15);
    QPalette palette = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Window, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    return label;
}

QLabel* letter(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setFixedSize(30, 15);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// Title, the nine scale labels beside the chart, and the x/y/z legend.
void addChartBlock(QVBoxLayout* column, QWidget* parent, const QString& title,
                   ChartViewOpenGL* chart, QLabel** scaleLabels) {
    const QString name = chart->objectName();
    auto* titleLabel = new QLabel(title, parent);
    titleLabel->setFixedHeight(15);
    titleLabel->setAlignment(Qt::AlignCenter);
    column->addWidget(titleLabel);

    auto* row = new QHBoxLayout();
    auto* scale = new QVBoxLayout();
    for (int i = 0; i < 9; ++i) {
        scaleLabels[i] = new QLabel(i == 4 ? QStringLiteral("0.0") : QString(), parent);
        scaleLabels[i]->setObjectName(name + QStringLiteral("Scale") + QString::number(i));
        scaleLabels[i]->setFixedSize(40, 20);
        scaleLabels[i]->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        scale->addWidget(scaleLabels[i]);
    }
    row->addLayout(scale);
    chart->resize(600, 200);
    chart->setMinimumSize(600, 150);
    row->addWidget(chart);
    column->addLayout(row);

    auto* legend = new QHBoxLayout();
    legend->setAlignment(Qt::AlignRight | Qt::AlignTop);
    legend->addWidget(swatch(parent, QColor(255, 0, 0)));
    legend->addWidget(letter(parent, "x"));
    legend->addWidget(swatch(parent, QColor(0, 255, 0)));
    legend->addWidget(letter(parent, "y"));
    legend->addWidget(swatch(parent, QColor(0, 0, 255)));
    legend->addWidget(letter(parent, "z"));
    column->addLayout(legend);
}

}  // namespace

void MainWindow::buildChartColumn() {
    QWidget* parent = ui->horizontalLayoutWidget;
    QVBoxLayout* column = ui->verticalLayoutRight;
    column->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    magChart = new ChartViewOpenGL(kChartCapacity, parent);
    magChart->setObjectName(QStringLiteral("magChart"));
    magChart->setXAxis(1, 50, true, true);
    magChart->setYAxis(1, 25, false);
    magChart->setScale(1, 1, 1);
    addChartBlock(column, parent, tr("Magnetometer"), magChart, magScaleLabels);

    accChart = new ChartViewOpenGL(kChartCapacity, parent);
    accChart->setObjectName(QStringLiteral("accChart"));
    accChart->setXAxis(1, 50, true, true);
    accChart->setYAxis(1, 25, false);
    addChartBlock(column, parent, tr("Acceleration"), accChart, accScaleLabels);

    gyrChart = new ChartViewOpenGL(kChartCapacity, parent);
    gyrChart->setObjectName(QStringLiteral("gyrChart"));
    gyrChart->setXAxis(1, 50, true, true);
    gyrChart->setYAxis(1, 25, false);
    gyrChart->setScale(1, 100.0f / 7.0f, 1);
    addChartBlock(column, parent, tr("Gyroscope"), gyrChart, gyrScaleLabels);
}

void MainWindow::buildStatusBar() {
    statusLabel.setObjectName(QStringLiteral("statusLabel"));
    statusLabel.setFrameShadow(QFrame::Sunken);
    statusLabel.setFrameShape(QFrame::Panel);
    statusLabel.setText(QStringLiteral("---"));
    auto* temperatureName = new QLabel(tr("Temperature : "));
    temperatureName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    temperatureLabel.setObjectName(QStringLiteral("temperatureLabel"));
    temperatureLabel.setFrameShadow(QFrame::Sunken);
    temperatureLabel.setFrameShape(QFrame::Panel);
    temperatureLabel.setText(QStringLiteral("---"));
    temperatureLabel.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    streamLabel.setObjectName(QStringLiteral("streamLabel"));
    streamLabel.setFrameShadow(QFrame::Sunken);
    streamLabel.setFrameShape(QFrame::Panel);
    ui->statusBar->addWidget(&statusLabel, 1);
    ui->statusBar->addWidget(temperatureName, 1);
    ui->statusBar->addWidget(&temperatureLabel, 1);
    ui->statusBar->addWidget(&streamLabel, 1);
}

void MainWindow::enableDisplays(int mask) {
    accChart->setEnabled(mask & 1);
    gyrChart->setEnabled(mask & 2);
    magChart->setEnabled(mask & 4);
    orientationView->setEnabled(mask & 8);
    if (mask == 3) {
        for (ChartViewOpenGL* chart : {accChart, gyrChart, magChart}) {
            chart->setYAxis(1, 30, true);
            chart->setScale(1, 1, 1);
        }
        temperatureLabel.setText(QStringLiteral("---"));
        return;
    }
    magChart->setYAxis(1, 20, true);
    magChart->setScale(1, 1, 1);
    accChart->setYAxis(1, 25, true);
    accChart->setScale(1, 1, 1);
    gyrChart->setScale(1, 2000, 1);
    gyrChart->setYAxis(1, 20, true);
}

void MainWindow::updateScaleLabels(QLabel* const* labels, float maximum) {
    SensorObject* sensor = sensorArray.currentSensor();
    const bool raw = sensor && sensor->isEnabledRaw();
    const float step = maximum * 0.25f;
    for (int k = 4; k >= 1; --k) {
        const float value = k * step;
        const QString up = raw ? QString::number(static_cast<long long>(std::trunc(value)))
                               : QString::number(value, 'g', 3);
        const QString down = raw ? QString::number(static_cast<long long>(std::trunc(-value)))
                                 : QString::number(-value, 'g', 3);
        labels[4 - k]->setText(up);
        labels[4 + k]->setText(down);
    }
}

void MainWindow::updateAccLabels(float maximum) {
    updateScaleLabels(accScaleLabels, maximum);
}
void MainWindow::updateGyrLabels(float maximum) {
    updateScaleLabels(gyrScaleLabels, maximum);
}
void MainWindow::updateMagLabels(float maximum) {
    updateScaleLabels(magScaleLabels, maximum);
}
