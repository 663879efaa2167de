// SensorArray's list operations against simulated trackers: rescan with
// additional ports, configuration transfer, and the selection rules.
#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QStringList>

#include "chip_model.h"
#include "gui_fixture.h"
#include "tracker_settings.h"

namespace {

using namespace Quorvane::testing;

TEST(SensorArray, SignalsInTheirDeclaredOrderAndNoSlots) {
    const QMetaObject& meta = SensorArray::staticMetaObject;
    QStringList signalList;
    int slotCount = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == QMetaMethod::Signal)
            signalList << QString::fromLatin1(m.methodSignature());
        if (m.methodType() == QMetaMethod::Slot) ++slotCount;
    }
    EXPECT_EQ(signalList,
              (QStringList{
                  "accDataChanged(double,double,double)", "gyroDataChanged(double,double,double)",
                  "magDataChanged(double,double,double)",
                  "quaternionChanged(double,double,double,double)",
                  "eulerOrientationChanged(float,float,float)", "changeTempStatusBar(QString)",
                  "advanceProgressBar(int)", "initializeProgressBar(int)",
                  "calibrationFinished(bool)", "streamEnded(QString)",
                  "calibrationEnded(bool,QString)", "sampleTimestampChanged(uint)"}));
    EXPECT_EQ(slotCount, 0);
}

std::vector<std::string> ports(const SensorArray& array) {
    std::vector<std::string> out;
    for (SensorObject* s : array.sensors()) out.push_back(s->getPort());
    return out;
}

std::vector<int> origins(const SensorArray& array) {
    std::vector<int> out;
    for (SensorObject* s : array.sensors()) out.push_back(s->getOrigin());
    return out;
}

TEST(Rescan, ScannedTrackersThenAdditionalPortsWithDuplicateAndUnreachableOnes) {
    sim::TrackerSim first(simOptions("FIRST"));
    sim::TrackerSim second(simOptions("SECOND"));
    sim::TrackerSim extra(simOptions("EXTRA"));
    SensorArray array;
    const std::string missing = "/dev/pts/no-such-tracker";
    array.setAdditionalPorts(second.devicePath() + ", " + missing + ",," + extra.devicePath());
    EXPECT_EQ(ports(array),
              (std::vector<std::string>{second.devicePath(), missing, extra.devicePath()}));

    listPorts({first.devicePath(), second.devicePath()});
    BoxAnswerer boxes;
    // As the main window does: the additional ports right before each rescan.
    // A loaded machine may make a tracker miss a reply's window; then again.
    std::size_t boxesBefore = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        array.setAdditionalPorts(second.devicePath() + ", " + missing + ",," + extra.devicePath());
        boxesBefore = boxes.texts().size();
        array.rescan();
        if (array.sensors().size() == 3) break;
    }
    const std::vector<std::string> expected = {first.devicePath(), second.devicePath(),
                                               extra.devicePath()};
    EXPECT_EQ(ports(array), expected);
    EXPECT_EQ(origins(array), (std::vector<int>{1, 1, 2}));
    // The additional port the scan found too is reported once; the unreachable
    // one is left out silently.
    ASSERT_EQ(boxes.texts().size(), boxesBefore + 1);
    EXPECT_EQ(boxes.texts().back(), QString::fromStdString("The sensor " + second.devicePath() +
                                                           "is already in the list!"));
    EXPECT_EQ(boxes.seen.back().title, QString());
    for (const QString& text : boxes.texts())
        EXPECT_FALSE(text.contains(QString::fromStdString(missing))) << text.toStdString();
    ASSERT_EQ(array.sensors().size(), 3u);
    EXPECT_EQ(array.sensors()[0]->getId(), "FIRST");
    EXPECT_EQ(array.sensors()[2]->getId(), "EXTRA");

    // Everything was read from the device: settings and the calibration record.
    const SensorObject& read = *array.sensors()[1];
    EXPECT_EQ(read.getId(), "SECOND");
    EXPECT_EQ(read.getFreq(), 100);
    EXPECT_EQ(read.getMagDiv(), 3);
    EXPECT_TRUE(read.isEnabledTemp());
    EXPECT_FALSE(read.isEnabledNav());
    const CalibrationData factory = sim::factoryCalibration(sim::ChipModel::unit());
    EXPECT_EQ(std::vector<float>(array.sensors()[1]->getMR(), array.sensors()[1]->getMR() + 9),
              std::vector<float>(factory.MR, factory.MR + 9));
    EXPECT_EQ(std::vector<float>(array.sensors()[1]->getGb(), array.sensors()[1]->getGb() + 3),
              std::vector<float>(factory.Gb, factory.Gb + 3));

    // The next rescan re-creates the additional port's entry from the device.
    array.sensors()[2]->setFreq(5);
    ASSERT_TRUE(rescanUntil(array, 3));
    EXPECT_EQ(ports(array), expected);
    EXPECT_EQ(origins(array), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(array.sensors()[2]->getFreq(), 100);

    // An empty list removes the additional ports' entries.
    array.setAdditionalPorts("");
    EXPECT_EQ(ports(array), (std::vector<std::string>{first.devicePath(), second.devicePath()}));
    ASSERT_TRUE(rescanUntil(array, 2));
    EXPECT_EQ(ports(array), (std::vector<std::string>{first.devicePath(), second.devicePath()}));
    unsetenv(Quorvane::kExtraPortsVariable);
}

TEST(AdditionalPorts, NamesGetTheDevicePrefixAndAreAddedOnce) {
    SensorArray array;
    array.setAdditionalPorts("ttyUSB0, /dev/pts/3,,ttyACM1");
    const std::vector<std::string> expected = {"/dev/ttyUSB0", "/dev/pts/3", "/dev/ttyACM1"};
    EXPECT_EQ(ports(array), expected);
    EXPECT_EQ(origins(array), (std::vector<int>{2, 2, 2}));
    array.setAdditionalPorts("ttyUSB0, /dev/pts/3,,ttyACM1");
    EXPECT_EQ(ports(array), expected);
    array.setAdditionalPorts("ttyACM1");  // a non-empty list only adds
    EXPECT_EQ(ports(array), expected);
    array.setAdditionalPorts("");
    EXPECT_TRUE(array.sensors().empty());
}

TEST(TransmitConfiguration, SendsTheEncodedSettingsToTheTrackersWithTheId) {
    sim::TrackerSim first(simOptions("FIRST"));
    sim::TrackerSim second(simOptions("SECOND"));
    SensorArray array;
    scan(array, {&first, &second});
    ASSERT_EQ(array.sensors().size(), 2u);
    for (SensorObject* s : array.sensors()) {
        s->enableTemp(0);
        s->enableNav(1);
        s->setMagDiv(5);
        s->setFreq(3000);  // beyond the wire's 11 bits: the library masks it
    }
    const SensorConfig before = deviceConfig(first);

    first.resetCounters();
    second.resetCounters();
    EXPECT_TRUE(array.transmitConfiguration("NOBODY", false));  // no match: nothing opened
    EXPECT_EQ(first.commandCount('I') + second.commandCount('I'), 0u);

    EXPECT_TRUE(array.transmitConfiguration("SECOND", true));
    EXPECT_EQ(second.commandCount('9'), 1u);  // saved
    EXPECT_EQ(first.commandCount('I'), 0u);
    const SensorConfig sent = deviceConfig(second);
    const SensorConfig expected = GuiCommon::encodeConfiguration(array.sensors()[1]->settings());
    EXPECT_EQ(sent.channels, expected.channels);
    EXPECT_EQ(sent.channels, 0x5FF);
    EXPECT_EQ(sent.magDivider, 5);
    EXPECT_EQ(sent.frequency, 3000 & 0x7FF);
    EXPECT_EQ(sent.raw, expected.raw);
    EXPECT_EQ(sent.autoStart, expected.autoStart);
    EXPECT_EQ(deviceConfig(first).channels, before.channels);

    EXPECT_TRUE(array.transmitConfiguration("", false));  // every entry
    EXPECT_EQ(deviceConfig(first).channels, 0x5FF);
    EXPECT_EQ(first.commandCount('9'), 0u);

    // A tracker that cannot be opened ends the transfer with false.
    array.addManualPort("/dev/pts/no-such-tracker");
    array.sensors()[2]->setId("GONE");
    EXPECT_FALSE(array.transmitConfiguration("GONE", false));
}

TEST(Selection, SelectTakesTheLastMatchFindTheFirst) {
    SensorArray array;
    EXPECT_FALSE(array.selectSensor(std::string("A")));
    EXPECT_EQ(array.currentSensor(), nullptr);
    EXPECT_FALSE(array.prepareCalibration(""));
    for (const char* port : {"ttyS0", "ttyS1", "ttyS2"}) array.addManualPort(port);
    const std::vector<SensorObject*> s = array.sensors();
    s[0]->setId("A");
    s[1]->setId("B");
    s[2]->setId("A");

    EXPECT_EQ(array.findSensor("A"), s[0]);
    EXPECT_EQ(array.findSensor("B"), s[1]);
    EXPECT_EQ(array.findSensor(""), nullptr);
    EXPECT_EQ(array.findSensor("C"), nullptr);

    EXPECT_EQ(array.currentSensor(), s[0]);
    EXPECT_TRUE(array.selectSensor(std::string("A")));
    EXPECT_EQ(array.currentSensor(), s[2]);
    EXPECT_FALSE(array.selectSensor(std::string("")));
    EXPECT_FALSE(array.selectSensor(std::string("C")));
    EXPECT_EQ(array.currentSensor(), s[2]);
    EXPECT_TRUE(array.selectSensor(1));
    EXPECT_EQ(array.currentSensor(), s[1]);
    EXPECT_FALSE(array.selectSensor(3));
    EXPECT_FALSE(array.selectSensor(-1));

    EXPECT_FALSE(array.prepareCalibration("C"));
    EXPECT_FALSE(array.isCalibrationPending());
    EXPECT_TRUE(array.prepareCalibration(""));  // the current entry
    EXPECT_TRUE(array.isCalibrationPending());
    array.stopPolling();
    EXPECT_FALSE(array.isCalibrationPending());
}

TEST(Boresight, WithoutAStreamingTrackerTheUserIsTold) {
    SensorArray array;
    BoxAnswerer boxes;
    EXPECT_FALSE(array.boresight(1));
    EXPECT_EQ(boxes.texts(),
              std::vector<QString>{"Boresighting can only be done, if a sensor is active"});
}

}  // namespace
