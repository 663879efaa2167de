#include "chip_model.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

// Nominal scale times per-axis scale error times a small misalignment.
Mat3 chipMatrix(double counts, const Vec3& scaleError, const Mat3& misalignment) {
    Mat3 m = diag({1 + scaleError[0], 1 + scaleError[1], 1 + scaleError[2]}) * misalignment;
    for (auto& row : m)
        for (double& v : row) v *= counts;
    return m;
}

std::int16_t saturate(double counts) {
    return static_cast<std::int16_t>(std::clamp(std::round(counts), -32768.0, 32767.0));
}

Raw3 saturate(const Vec3& counts) {
    return {saturate(counts[0]), saturate(counts[1]), saturate(counts[2])};
}

Vec3 toVec(const Raw3& raw) {
    return {double(raw[0]), double(raw[1]), double(raw[2])};
}
Vec3 toVec(const float* v) {
    return {v[0], v[1], v[2]};
}
Mat3 toMat(const float* m) {
    return {{{m[0], m[1], m[2]}, {m[3], m[4], m[5]}, {m[6], m[7], m[8]}}};
}

void store(const Vec3& v, float* out) {
    for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(v[static_cast<std::size_t>(i)]);
}
void store(const Mat3& m, float* out) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[3 * i + j] =
                static_cast<float>(m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]);
}

// m = diag(k) R with unit rows in R.
void splitRows(const Mat3& m, Mat3& R, Vec3& k) {
    for (std::size_t i = 0; i < 3; ++i) {
        k[i] = norm(m[i]);
        R[i] = (1 / k[i]) * m[i];
    }
}

// m = R diag(k) with unit columns in R.
void splitColumns(const Mat3& m, Mat3& R, Vec3& k) {
    Mat3 Rt;
    splitRows(transpose(m), Rt, k);
    R = transpose(Rt);
}

}  // namespace

const ChipModel& ChipModel::unit() {
    static const ChipModel chip{
        chipMatrix(kAccCountsPerMps2, {0.012, -0.008, 0.005},
                   {{{1, 0.004, -0.006}, {-0.003, 1, 0.005}, {0.007, -0.002, 1}}}),
        {120, -85, 210},
        chipMatrix(kGyroCountsPerRadps, {-0.009, 0.011, 0.004},
                   {{{1, -0.005, 0.003}, {0.004, 1, -0.006}, {-0.002, 0.007, 1}}}),
        {-23, 41, 12},
        {{{0.05, 0, 0.02}, {0, 0.04, -0.03}, {0.01, 0.02, 0.06}}},
        chipMatrix(kMagCountsPerMicrotesla, {0.02, -0.015, 0.007},
                   {{{1, 0.01, -0.008}, {-0.012, 1, 0.006}, {0.009, -0.004, 1}}}),
        {150, -90, 60},
    };
    return chip;
}

double magDivider(unsigned magDividerSetting) {
    return std::ldexp(1.0, static_cast<int>(magDividerSetting & 7) + 5);
}

RawReading toRaw(const ChipModel& chip, const PhysicalReading& p, unsigned magDividerSetting) {
    RawReading raw;
    // raw_a = C_a f + o_a
    raw.acc = saturate(chip.acc * p.acc + chip.accOffset);
    // raw_g = C_g w + o_g + G f: the gyroscope also feels the specific force.
    raw.gyr = saturate(chip.gyr * p.gyr + chip.gyrOffset + chip.gyrFromAcc * p.acc);
    // Full-resolution counts C_m H + o_m, scaled down by divider / 4096.
    const double scale = magDivider(magDividerSetting) / 4096;
    raw.mag = saturate(scale * (chip.mag * p.mag + chip.magOffset));
    raw.temperature = saturate(kTemperatureCountsPerDegree * p.temperature);
    return raw;
}

CalibratedReading applyCalibration(const CalibrationData& c, const RawReading& raw,
                                   unsigned magDividerSetting) {
    CalibratedReading out;
    // a = diag(Ak) AR (raw - Ab)
    out.acc = diag(toVec(c.Ak)) * (toMat(c.AR) * (toVec(raw.acc) - toVec(c.Ab)));
    // omega = GR diag(Gk) (raw - Gb - GK a)
    out.gyr =
        toMat(c.GR) * (diag(toVec(c.Gk)) * (toVec(raw.gyr) - toVec(c.Gb) - toMat(c.GK) * out.acc));
    // H = MR diag(Mk) ((4096 / divider) raw - Mb)
    const double scale = 4096 / magDivider(magDividerSetting);
    out.mag = toMat(c.MR) * (diag(toVec(c.Mk)) * (scale * toVec(raw.mag) - toVec(c.Mb)));
    out.temperature = raw.temperature / kTemperatureCountsPerDegree;
    return out;
}

CalibrationData factoryCalibration(const ChipModel& chip) {
    CalibrationData c{};
    Mat3 R;
    Vec3 k;
    // diag(Ak) AR = C_a^-1, Ab = o_a
    splitRows(inverse(chip.acc), R, k);
    store(R, c.AR);
    store(k, c.Ak);
    store(chip.accOffset, c.Ab);
    // GR diag(Gk) = C_g^-1, Gb = o_g, GK = G
    splitColumns(inverse(chip.gyr), R, k);
    store(R, c.GR);
    store(k, c.Gk);
    store(chip.gyrOffset, c.Gb);
    store(chip.gyrFromAcc, c.GK);
    // MR diag(Mk) = C_m^-1, Mb = o_m (full-resolution counts)
    splitColumns(inverse(chip.mag), R, k);
    store(R, c.MR);
    store(k, c.Mk);
    store(chip.magOffset, c.Mb);
    return c;
}

}  // namespace sim
