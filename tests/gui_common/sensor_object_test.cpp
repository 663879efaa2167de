// SensorObject: its meta-object (string-based connections resolve against
// it), the position codes of its settings, the element setters' ranges and
// displayMask.
#include "sensor_object.h"

#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QStringList>

namespace {

QStringList methods(const QMetaObject& meta, QMetaMethod::MethodType type) {
    QStringList out;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == type)
            out << QString::fromLatin1(meta.method(i).methodSignature());
    return out;
}

TEST(SensorObject, SlotsAndSignalInTheirDeclaredOrder) {
    const QMetaObject& meta = SensorObject::staticMetaObject;
    EXPECT_EQ(methods(meta, QMetaMethod::Signal), QStringList{"updateTreeFocus(std::string,int)"});
    const QStringList expected = {
        "setId(std::string)", "setPort(std::string)", "enableAccX(int)", "enableAccY(int)",
        "enableAccZ(int)", "enableGyrX(int)", "isEnabledGyrX()", "enableGyrY(int)",
        "isEnabledGyrY()", "enableGyrZ(int)", "isEnabledGyrZ()", "enableBoresight(int)",
        "isEnabledBoresight()", "enableMagX(int)", "enableMagY(int)", "enableMagZ(int)",
        "enableTemp(int)", "enableNav(int)", "setMagDiv(int)", "setFreq(int)", "enableAscii(int)",
        "enableAutostart(int)", "enableRaw(int)", "setAR(float*)", "setAk(float*)", "setAb(float*)",
        "setGR(float*)", "setGK(float*)", "setGk(float*)", "setGb(float*)", "setMR(float*)",
        "setMk(float*)", "setMb(float*)",
        // The element setters with their default arguments, each length registered.
        "setAR(float,int,int)", "setAR(float,int)", "setAR(float)", "setGR(float,int,int)",
        "setGR(float,int)", "setGR(float)", "setGK(float,int,int)", "setGK(float,int)",
        "setGK(float)", "setMR(float,int,int)", "setMR(float,int)", "setMR(float)",
        "setAk(float,int)", "setAk(float)", "setAb(float,int)", "setAb(float)", "setGk(float,int)",
        "setGk(float)", "setGb(float,int)", "setGb(float)", "setMk(float,int)", "setMk(float)",
        "setMb(float,int)", "setMb(float)", "enableJitterReduction(int)",
        // Beyond the Part, after its slots: the host filter's profile.
        "setFilterProfile(int)"};
    EXPECT_EQ(methods(meta, QMetaMethod::Slot), expected);
}

// Each setting's slot, called by name as the device tree's connections do,
// stores its value and emits its position code, also when nothing changes.
TEST(SensorObject, SettingSlotsEmitTheirPositionCodes) {
    const struct {
        const char* slot;
        int pos;
        bool (SensorObject::*query)() const;
    } cases[] = {
        {"enableMagX", 1, &SensorObject::isEnabledMagX},
        {"enableMagY", 2, &SensorObject::isEnabledMagY},
        {"enableMagZ", 3, &SensorObject::isEnabledMagZ},
        {"enableAccX", 4, &SensorObject::isEnabledAccX},
        {"enableAccY", 5, &SensorObject::isEnabledAccY},
        {"enableAccZ", 6, &SensorObject::isEnabledAccZ},
        {"enableGyrX", 7, &SensorObject::isEnabledGyrX},
        {"enableGyrY", 8, &SensorObject::isEnabledGyrY},
        {"enableGyrZ", 9, &SensorObject::isEnabledGyrZ},
        {"enableTemp", 10, &SensorObject::isEnabledTemp},
        {"enableNav", 11, &SensorObject::isEnabledNav},
        {"enableAscii", 14, &SensorObject::isEnabledAscii},
        {"enableAutostart", 15, &SensorObject::isEnabledAutostart},
        {"enableRaw", 16, &SensorObject::isEnabledRaw},
        {"enableBoresight", 17, &SensorObject::isEnabledBoresight},
        {"enableJitterReduction", 18, &SensorObject::isEnabledJitterReduction},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        SensorObject s;
        s.setId("QV1");
        std::vector<std::pair<std::string, int>> emitted;
        QObject::connect(&s, &SensorObject::updateTreeFocus,
                         [&](std::string id, int pos) { emitted.emplace_back(id, pos); });
        ASSERT_TRUE(QMetaObject::invokeMethod(&s, c.slot, Q_ARG(int, 5)));
        EXPECT_TRUE((s.*c.query)());
        ASSERT_TRUE(QMetaObject::invokeMethod(&s, c.slot, Q_ARG(int, 0)));
        EXPECT_FALSE((s.*c.query)());
        ASSERT_TRUE(QMetaObject::invokeMethod(&s, c.slot, Q_ARG(int, 0)));
        const std::pair<std::string, int> expected{"QV1", c.pos};
        EXPECT_EQ(emitted, (std::vector<std::pair<std::string, int>>(3, expected)));
    }
}

TEST(SensorObject, DividerAndFrequencyAreStoredUncheckedAndEmit) {
    SensorObject s;
    std::vector<int> positions;
    QObject::connect(&s, &SensorObject::updateTreeFocus,
                     [&](std::string, int pos) { positions.push_back(pos); });
    s.setMagDiv(9);
    s.setFreq(-7);
    EXPECT_EQ(s.getMagDiv(), 9);
    EXPECT_EQ(s.getFreq(), -7);
    EXPECT_EQ(positions, (std::vector<int>{12, 13}));
}

TEST(SensorObject, ElementSettersIgnoreIndicesOutsideTheGroupAndNeverEmit) {
    SensorObject s;
    int emitted = 0;
    QObject::connect(&s, &SensorObject::updateTreeFocus, [&](std::string, int) { ++emitted; });
    const float nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const float three[3] = {7, 8, 9};
    s.setAR(const_cast<float*>(nine));
    s.setMk(const_cast<float*>(three));

    s.setAR(1.5f, 3, 0);
    s.setAR(1.5f, 0, -1);
    s.setAR(1.5f, -1, 0);
    s.setMk(1.5f, 3);
    s.setMk(1.5f, -1);
    EXPECT_EQ(std::vector<float>(s.getAR(), s.getAR() + 9), std::vector<float>(nine, nine + 9));
    EXPECT_EQ(std::vector<float>(s.getMk(), s.getMk() + 3), std::vector<float>(three, three + 3));

    // Connections by name with one, two or three arguments all resolve.
    ASSERT_TRUE(QMetaObject::invokeMethod(&s, "setAk", Q_ARG(float, 2.0f)));
    ASSERT_TRUE(QMetaObject::invokeMethod(&s, "setGK", Q_ARG(float, 2.0f), Q_ARG(int, 2)));
    ASSERT_TRUE(
        QMetaObject::invokeMethod(&s, "setMR", Q_ARG(float, 4.0f), Q_ARG(int, 1), Q_ARG(int, 2)));
    EXPECT_EQ(s.getAk()[0], 2.0f);
    EXPECT_EQ(s.getGK()[6], 2.0f);  // element (2, 0)
    EXPECT_EQ(s.getMR()[5], 4.0f);  // element (1, 2)
    EXPECT_EQ(s.getMR()[0], 0.0f);
    EXPECT_EQ(emitted, 0);
}

TEST(SensorObject, DisplayMaskFollowsTheEnabledGroups) {
    const std::vector<const char*> nineAxes = {"enableMagX", "enableMagY", "enableMagZ",
                                               "enableAccX", "enableAccY", "enableAccZ",
                                               "enableGyrX", "enableGyrY", "enableGyrZ"};
    const struct {
        const char* name;
        std::vector<const char*> enables;
        int mask;
    } cases[] = {
        {"nothing", {}, 0},
        {"only gyrZ", {"enableGyrZ"}, 2},
        {"accY and magX", {"enableAccY", "enableMagX"}, 5},
        {"nine axes", nineAxes, 15},
        {"temperature and nav play no part", {"enableTemp", "enableNav", "enableAccZ"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SensorObject s;
        for (const char* slot : c.enables) QMetaObject::invokeMethod(&s, slot, Q_ARG(int, 1));
        EXPECT_EQ(s.displayMask(), c.mask);
        s.enableRaw(1);
        EXPECT_EQ(s.displayMask(), c.mask & 7);  // no orientation from RAW readings
        s.enableAscii(1);
        EXPECT_EQ(s.displayMask(), 0);
    }
}

}  // namespace
