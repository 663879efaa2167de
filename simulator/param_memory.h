// The tracker's parameter memory: two banks of bytes addressed by the
// read, write, set-bits and clear-bits commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Bank 0: 6 configuration bytes, then the 216-byte calibration record.
constexpr std::size_t kBank0Size = 222;
// Bank 1: feature flags, Ka, Kg, Km (9 floats each), boresight record.
constexpr std::size_t kBank1Size = 141;

constexpr std::size_t kConfigAddress = 0;
constexpr std::size_t kConfigSize = 6;
constexpr std::size_t kCalibrationAddress = 6;
constexpr std::size_t kCalibrationSize = 216;
constexpr std::size_t kFeatureFlagsAddress = 0;
constexpr std::size_t kKaAddress = 1;
constexpr std::size_t kKgAddress = 37;
constexpr std::size_t kKmAddress = 73;
constexpr std::size_t kMatrixSize = 36;
constexpr std::size_t kBoresightAddress = 109;
constexpr std::size_t kBoresightSize = 32;

// Status byte that starts every reply to R, W, S and C.
enum Status : std::uint8_t {
    kStatusOk = 0x00,
    kStatusBadChecksum = 0x01,  // payload checksum of W/S/C does not match
    kStatusOutOfRange = 0x02,   // address + length runs past the end of the bank
    kStatusUnknownBank = 0x03,  // bank other than 0 or 1
};

enum class MemoryOp { Write, SetBits, ClearBits };

using ConfigBytes = std::array<std::uint8_t, kConfigSize>;

class ParameterMemory {
  public:
    // Contents of a tracker fresh from the factory.
    static ParameterMemory factory();

    // Size of a bank in bytes, 0 for a bank that does not exist.
    static std::size_t bankSize(int bank);

    // Checks bank and range; returns kStatusOk or the rejecting status.
    static std::uint8_t check(int bank, unsigned address, unsigned length);

    // On success appends the bytes to out.
    std::uint8_t read(int bank, unsigned address, unsigned length,
                      std::vector<std::uint8_t>& out) const;
    // Writes, ORs or AND-NOTs data into the bank; nothing changes on failure.
    std::uint8_t modify(MemoryOp op, int bank, unsigned address, const std::uint8_t* data,
                        std::size_t length);

    // Throws std::out_of_range for an unknown bank.
    const std::vector<std::uint8_t>& bank(int bank) const;
    std::vector<std::uint8_t>& bank(int bank);

    ConfigBytes configBytes() const;
    // Configuration byte 2, bit 1: stream right after power-up.
    bool autoStart() const;
    // Output frequency in Hz (bytes 3-4, 11 bits).
    unsigned frequency() const;

    bool operator==(const ParameterMemory& other) const {
        return bank0_ == other.bank0_ && bank1_ == other.bank1_;
    }

  private:
    std::vector<std::uint8_t> bank0_ = std::vector<std::uint8_t>(kBank0Size, 0);
    std::vector<std::uint8_t> bank1_ = std::vector<std::uint8_t>(kBank1Size, 0);
};

}  // namespace sim
