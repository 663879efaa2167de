#include "param_memory.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "chip_model.h"
#include "quorvane.h"

namespace sim {
namespace {

// Floats are stored little-endian regardless of the host's byte order.
void putFloat(std::vector<std::uint8_t>& bank, std::size_t address, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) bank[address + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void putFloats(std::vector<std::uint8_t>& bank, std::size_t address, const float* values,
               std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) putFloat(bank, address + 4 * i, values[i]);
}

}  // namespace

ParameterMemory ParameterMemory::factory() {
    ParameterMemory m;
    // channels 0x3FF, byte 2 = autoStart | bit 2, frequency 100, magDivider 3
    const ConfigBytes config = {0xFF, 0x03, 0x06, 0x64, 0x00, 0x03};
    std::memcpy(m.bank0_.data() + kConfigAddress, config.data(), config.size());

    // The record that turns this unit's readings into physical values.
    const CalibrationData calibration = factoryCalibration(ChipModel::unit());
    float values[kCalibrationSize / 4];
    static_assert(sizeof calibration == sizeof values, "calibration record is 54 floats");
    std::memcpy(values, &calibration, sizeof values);
    putFloats(m.bank0_, kCalibrationAddress, values, kCalibrationSize / 4);

    m.bank1_[kFeatureFlagsAddress] = 0;
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (std::size_t address : {kKaAddress, kKgAddress, kKmAddress})
        putFloats(m.bank1_, address, identity, 9);
    const float boresight[8] = {1, 0, 0, 0, 1, 0, 0, 0};  // heading, alignment (w, x, y, z)
    putFloats(m.bank1_, kBoresightAddress, boresight, 8);
    return m;
}

std::size_t ParameterMemory::bankSize(int bank) {
    switch (bank) {
        case 0:
            return kBank0Size;
        case 1:
            return kBank1Size;
        default:
            return 0;
    }
}

std::uint8_t ParameterMemory::check(int bank, unsigned address, unsigned length) {
    const std::size_t size = bankSize(bank);
    if (size == 0) return kStatusUnknownBank;
    if (std::size_t{address} + length > size) return kStatusOutOfRange;
    return kStatusOk;
}

std::uint8_t ParameterMemory::read(int bank, unsigned address, unsigned length,
                                   std::vector<std::uint8_t>& out) const {
    const std::uint8_t status = check(bank, address, length);
    if (status != kStatusOk) return status;
    const auto& bytes = this->bank(bank);
    out.insert(out.end(), bytes.begin() + address, bytes.begin() + address + length);
    return kStatusOk;
}

std::uint8_t ParameterMemory::modify(MemoryOp op, int bank, unsigned address,
                                     const std::uint8_t* data, std::size_t length) {
    const std::uint8_t status = check(bank, address, static_cast<unsigned>(length));
    if (status != kStatusOk) return status;
    std::uint8_t* target = this->bank(bank).data() + address;
    for (std::size_t i = 0; i < length; ++i) {
        switch (op) {
            case MemoryOp::Write:
                target[i] = data[i];
                break;
            case MemoryOp::SetBits:
                target[i] |= data[i];
                break;
            case MemoryOp::ClearBits:
                target[i] &= static_cast<std::uint8_t>(~data[i]);
                break;
        }
    }
    return kStatusOk;
}

const std::vector<std::uint8_t>& ParameterMemory::bank(int bank) const {
    if (bank == 0) return bank0_;
    if (bank == 1) return bank1_;
    throw std::out_of_range("tracker_sim: no parameter bank " + std::to_string(bank));
}

std::vector<std::uint8_t>& ParameterMemory::bank(int bank) {
    return const_cast<std::vector<std::uint8_t>&>(std::as_const(*this).bank(bank));
}

ConfigBytes ParameterMemory::configBytes() const {
    ConfigBytes config;
    std::memcpy(config.data(), bank0_.data() + kConfigAddress, config.size());
    return config;
}

bool ParameterMemory::autoStart() const {
    return (bank0_[kConfigAddress + 2] & 0x02) != 0;
}

unsigned ParameterMemory::frequency() const {
    return (bank0_[kConfigAddress + 3] | (bank0_[kConfigAddress + 4] << 8)) & 0x7FF;
}

}  // namespace sim
