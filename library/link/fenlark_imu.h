// The tracker's command protocol over an open port: identification, stream
// control, and the parameter memory (configuration, calibration record,
// device matrices, feature flags, boresight record).
#pragma once

#include <atomic>
#include <cstdint>

#include "fenlark_io.h"
#include "packet_screen.h"
#include "quorvane.h"

namespace Quorvane {

// Every operation that talks to the device blocks for its fixed pauses and
// the reply (quorvane.h gives the measured times) and raises std::runtime_error with
// a message starting "FenlarkIMU: " on failure. Not synchronised: one thread
// at a time.
class FenlarkIMU {
  public:
    // Parameter memory map (bank, address, length).
    static constexpr unsigned char kBankConfig = 0;
    static constexpr unsigned char kBankFeatures = 1;
    static constexpr unsigned char kConfigAddress = 0;
    static constexpr unsigned char kConfigLength = 6;
    static constexpr unsigned char kCalibrationAddress = 6;
    static constexpr unsigned char kCalibrationLength = 216;
    static constexpr unsigned char kFlagsAddress = 0;
    static constexpr unsigned char kMatrixAddress = 1;  // + 36 x index
    static constexpr unsigned char kMatrixLength = 36;
    static constexpr unsigned char kBoresightAddress = 109;
    static constexpr unsigned char kBoresightLength = 32;
    // Longest payload of one command (the calibration record).
    static constexpr unsigned char kMaxPayload = 216;

    // Feature flag bits in bank 1, address 0.
    enum StatusBit { KaBit = 0, KgBit = 1, KmBit = 2, BoresightBit = 3, JitterBit = 4 };
    // Matrix indices.
    enum Matrix { Ka = 0, Kg = 1, Km = 2 };

    // Identifies the device on the open port and sets configuration bit 2.
    // Raises the identification errors; the port stays open on failure.
    explicit FenlarkIMU(FenlarkIO* io);
    // Not copyable: the object stands for the one connection on the borrowed
    // port, and its destructor closes that port.
    FenlarkIMU(const FenlarkIMU&) = delete;
    FenlarkIMU& operator=(const FenlarkIMU&) = delete;
    // Stops the stream and closes the port.
    ~FenlarkIMU();

    // Reads `length` bytes from the parameter memory into payload(). A
    // length above kMaxPayload fails like a bad reply.
    bool readCommand(unsigned char bank, unsigned char address, unsigned char length);
    // Sends payload()[0..length-1] with command letter 'W', 'S' or 'C'.
    bool writeCommand(unsigned char bank, unsigned char address, unsigned char length, char letter);

    SensorConfig getConfig(bool refresh);
    // Writes the configuration; afterwards getConfig(false) reports what the
    // device got (the wire fields masked to their bits).
    bool setConfig(const SensorConfig& config);

    // `bit` is 0..7; others raise std::out_of_range.
    bool getStatusBit(int bit);
    bool setStatusBit(int bit, bool on);
    bool getMatrix(int index, float out[9]);
    bool setMatrix(int index, const float in[9]);
    bool getBoresight(float heading[4], float alignment[4]);
    bool setBoresight(const float heading[4], const float alignment[4]);
    bool getBoresightStatus() { return getStatusBit(BoresightBit); }
    bool setBoresightStatus(bool on) { return setStatusBit(BoresightBit, on); }
    bool getJitterStatus() { return getStatusBit(JitterBit); }
    bool setJitterStatus(bool on) { return setStatusBit(JitterBit, on); }
    bool getCalibration(CalibrationData* out);
    bool setCalibration(const CalibrationData* in);

    void startStreaming();
    void saveSettings();
    void stopStreaming(bool extraWait);

    // Decodes the next data packet of the stream into `sample` and consumes
    // it. Writes the timestamp, the set channels and, with channel bit 10,
    // quat[0..2]; other fields keep their values. Polls the port for up to
    // 5 rounds with 3 ms pauses. Raises "FenlarkIMU: No appropriate data"
    // (no packet start; buffer emptied), "FenlarkIMU: Not enough data"
    // (bytes kept) or "FenlarkIMU: Bad packet" (start byte dropped): the end
    // byte is not 'Z', or the packet is not believable (see PacketScreen).
    // A packet whose timestamp does not follow the last accepted one, or
    // that comes after a lost step before any was accepted, is judged by the
    // two packets after it: while they are late the call reports "Not
    // enough data" and keeps the bytes.
    void readPacket(SensorSample* sample);
    // readPacket without raising its three failures: returns nullptr when a
    // packet was decoded, else the message readPacket would raise (the
    // buffer handled alike). For loops that meet these failures often, such
    // as a poll of a stream that has stopped, where raising each would cost
    // more than the decoding. Port errors are still raised.
    const char* tryReadPacket(SensorSample* sample);

    // Packets with a correct frame that readPacket refused as not
    // believable (values that are no readings, a clock that neither
    // follows the last packet nor is continued by the next ones), since
    // construction. A stream that loses its
    // step shows them; a clean stream never does. Safe to read from any
    // thread.
    uint64_t rejectedPackets() const { return rejected_.load(std::memory_order_relaxed); }

    void getDeviceInfo(DeviceInfo* out);

    const unsigned char* payload() const { return message_ + kHeaderLength; }
    unsigned char* payload() { return message_ + kHeaderLength; }
    const char* id() const { return id_; }
    uint16_t firmwareMajor() const { return firmwareMajor_; }
    uint16_t firmwareMinor() const { return firmwareMinor_; }
    FenlarkIO* io() const { return io_; }

    // Wire encoding of the 6 configuration bytes (pure, for tests and tools).
    static void encodeConfig(const SensorConfig& config, unsigned char out[6]);
    // Updates only the wire-carried fields of `config` from the 6 bytes.
    static void decodeConfig(const unsigned char in[6], SensorConfig* config);

  private:
    void identify();
    void sendByte(char byte);
    void setHeader(char letter, unsigned char bank, unsigned char address, unsigned char length);

    FenlarkIO* io_;
    SensorConfig config_;
    PacketLayout layout_;  // of config_
    PacketScreen screen_;
    std::atomic<uint64_t> rejected_{0};
    static constexpr int kHeaderLength = 6;
    // Header (byte 0 always ESC), payload of at most 216 bytes and its
    // checksum lie back to back so that one write sends them.
    unsigned char message_[kHeaderLength + kMaxPayload + 2];
    uint16_t firmwareMajor_ = 0;
    uint16_t firmwareMinor_ = 0;
    char id_[8];
};

}  // namespace Quorvane
