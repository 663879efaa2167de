// The chips' readings and the factory record that undoes their imperfections.
#include "chip_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "param_memory.h"

namespace {

CalibrationData storedFactoryRecord() {
    CalibrationData record;
    const auto memory = sim::ParameterMemory::factory();
    std::memcpy(&record, memory.bank(0).data() + sim::kCalibrationAddress, sizeof record);
    return record;
}

TEST(ChipModel, FactoryRecordTakesReadingsBackToPhysicalValues) {
    const CalibrationData record = storedFactoryRecord();
    const sim::PhysicalReading cases[] = {
        {{0, 0, 9.81}, {0, 0, 0}, {21, 0, -43}, 24.5},
        {{-3.2, 8.1, 4.4}, {1.5, -0.7, 3.9}, {-30, 12, 25}, 19.99},
        {{14, -9, 2}, {-20, 11, -8}, {50, -60, 10}, 31.2},
    };
    for (unsigned divider : {3u, 7u}) {
        // One count of the magnetometer in uT at this divider, for the bound.
        const double magCount = 4096 / sim::magDivider(divider) / sim::kMagCountsPerMicrotesla;
        for (const auto& p : cases) {
            const auto raw = sim::toRaw(sim::ChipModel::unit(), p, divider);
            const auto back = sim::applyCalibration(record, raw, divider);
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_NEAR(back.acc[i], p.acc[i], 2e-3);
                EXPECT_NEAR(back.gyr[i], p.gyr[i], 3e-3);
                EXPECT_NEAR(back.mag[i], p.mag[i], 1.5 * magCount);
            }
            EXPECT_NEAR(back.temperature, p.temperature, 0.006);
        }
    }
}

TEST(ChipModel, ReadingsHaveRealisticScalesAndSaturate) {
    const auto& chip = sim::ChipModel::unit();
    const auto g = sim::toRaw(chip, {{0, 0, 9.81}, {0, 0, 0}, {0, 0, 0}, 25}, 3);
    EXPECT_NEAR(g.acc[2], 16384, 16384 * 0.03);  // +-2 g over 16 bits
    EXPECT_EQ(g.temperature, 2500);
    const auto turn = sim::toRaw(chip, {{0, 0, 0}, {0, 0, 3.14159265 / 2}, {0, 0, 0}, 25}, 3);
    EXPECT_NEAR(turn.gyr[2], 90 * 16.384, 90 * 16.384 * 0.03);  // +-2000 deg/s
    // The magnetometer's counts grow with the divider, 38 per uT at 4096.
    const auto full = sim::toRaw(chip, {{0, 0, 0}, {0, 0, 0}, {0, 0, 100}, 25}, 7);
    EXPECT_NEAR(full.mag[2], 3800, 3800 * 0.05);
    const auto coarse = sim::toRaw(chip, {{0, 0, 0}, {0, 0, 0}, {0, 0, 100}, 25}, 3);
    EXPECT_NEAR(coarse.mag[2], 3800 / 16.0, 3800 / 16.0 * 0.05);

    const auto over = sim::toRaw(chip, {{0, 0, 40}, {-50, 0, 0}, {0, 0, 0}, 25}, 3);
    EXPECT_EQ(over.acc[2], 32767);
    EXPECT_EQ(over.gyr[0], -32768);
}

}  // namespace
