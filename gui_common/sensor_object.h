// The GUI programs' image of one attached tracker: its identity, the
// settings to send to it, the device library's host-side options and a copy
// of its calibration record.
//
// The slots run in the GUI thread. The polling thread of SensorArray reads
// the enables, divider, frequency, flags, boresight and jitter reduction
// while the GUI thread may change them, so those are atomics. id and port
// change only while the polling thread is stopped. The calibration groups
// are written by the polling thread only at the end of a magnetometer
// calibration, while the calibration dialog waits for it.
#pragma once

#include <QObject>
#include <atomic>
#include <string>

#include "tracker_settings.h"

class SensorObject : public QObject {
    Q_OBJECT

  public:
    // Position codes of updateTreeFocus, one per setting.
    enum Position {
        PosMagX = 1,
        PosMagY,
        PosMagZ,
        PosAccX,
        PosAccY,
        PosAccZ,
        PosGyrX,
        PosGyrY,
        PosGyrZ,
        PosTemp,
        PosNav,
        PosMagDiv,
        PosFreq,
        PosAscii,
        PosAutostart,
        PosRaw,
        PosBoresight,
        PosJitterReduction,
        PosFilterProfile
    };
    // The host filter's profiles (fenlarkSetFilterProfile).
    enum FilterProfile { StandardFilter = 0, RobustFilter = 1 };
    // How the entry came into the list.
    enum Origin { FromScan = 1, FromAdditionalPorts = 2 };

    SensorObject();

    std::string getId() const { return id; }
    std::string getPort() const { return port; }
    bool isEnabledMagX() const { return magX; }
    bool isEnabledMagY() const { return magY; }
    bool isEnabledMagZ() const { return magZ; }
    bool isEnabledAccX() const { return accX; }
    bool isEnabledAccY() const { return accY; }
    bool isEnabledAccZ() const { return accZ; }
    bool isEnabledTemp() const { return temp; }
    bool isEnabledNav() const { return nav; }
    bool isEnabledAscii() const { return ascii; }
    bool isEnabledAutostart() const { return autostart; }
    bool isEnabledRaw() const { return raw; }
    bool isEnabledJitterReduction() const { return jitterReduction; }
    int getMagDiv() const { return magDiv; }
    int getFreq() const { return freq; }
    int getFilterProfile() const { return filterProfile; }

    // Pointers into the object's own calibration storage: 9 floats for the
    // matrices, 3 for the vectors; valid while the object lives.
    float* getAR() { return calibration + kAR; }
    float* getAb() { return calibration + kAb; }
    float* getAk() { return calibration + kAk; }
    float* getGR() { return calibration + kGR; }
    float* getGb() { return calibration + kGb; }
    float* getGk() { return calibration + kGk; }
    float* getGK() { return calibration + kGK; }
    float* getMR() { return calibration + kMR; }
    float* getMb() { return calibration + kMb; }
    float* getMk() { return calibration + kMk; }

    void setOrigin(int value) { origin = value; }
    int getOrigin() const { return origin; }

    // Bit 0: acceleration, 1: gyroscope, 2: magnetometer can be shown; bit 3:
    // all nine axes in float mode (an orientation). 0 in ASCII mode.
    int displayMask() const;

    // A consistent copy of the settings sent to the device.
    GuiCommon::TrackerSettings settings() const;

  signals:
    void updateTreeFocus(std::string id, int pos);

  public slots:
    void setId(std::string value);
    void setPort(std::string value);
    void enableAccX(int on);
    void enableAccY(int on);
    void enableAccZ(int on);
    void enableGyrX(int on);
    bool isEnabledGyrX() const;
    void enableGyrY(int on);
    bool isEnabledGyrY() const;
    void enableGyrZ(int on);
    bool isEnabledGyrZ() const;
    void enableBoresight(int on);
    bool isEnabledBoresight() const;
    void enableMagX(int on);
    void enableMagY(int on);
    void enableMagZ(int on);
    void enableTemp(int on);
    void enableNav(int on);
    void setMagDiv(int value);
    void setFreq(int value);
    void enableAscii(int on);
    void enableAutostart(int on);
    void enableRaw(int on);
    void setAR(float* values);
    void setAk(float* values);
    void setAb(float* values);
    void setGR(float* values);
    void setGK(float* values);
    void setGk(float* values);
    void setGb(float* values);
    void setMR(float* values);
    void setMk(float* values);
    void setMb(float* values);
    void setAR(float value, int row = 0, int col = 0);
    void setGR(float value, int row = 0, int col = 0);
    void setGK(float value, int row = 0, int col = 0);
    void setMR(float value, int row = 0, int col = 0);
    void setAk(float value, int row = 0);
    void setAb(float value, int row = 0);
    void setGk(float value, int row = 0);
    void setGb(float value, int row = 0);
    void setMk(float value, int row = 0);
    void setMb(float value, int row = 0);
    void enableJitterReduction(int on);
    // Standard or robust host filter, used from the next start on.
    void setFilterProfile(int profile);

  private:
    // Offsets of the groups in the calibration block, in record order.
    static constexpr int kAR = 0, kAb = 9, kAk = 12, kGR = 15, kGb = 24, kGk = 27, kGK = 30,
                         kMR = 39, kMb = 48, kMk = 51, kCalibrationSize = 54;

    void store(std::atomic<bool>& field, int on, Position pos);
    void setMatrixElement(int group, float value, int row, int col);
    void setVectorElement(int group, float value, int row);

    std::string id;
    std::string port;
    std::atomic<bool> magX{false}, magY{false}, magZ{false};
    std::atomic<bool> accX{false}, accY{false}, accZ{false};
    std::atomic<bool> gyrX{false}, gyrY{false}, gyrZ{false};
    std::atomic<bool> temp{false};
    std::atomic<bool> nav{false};
    std::atomic<int> magDiv{3};
    std::atomic<int> freq{100};
    std::atomic<bool> ascii{false};
    std::atomic<bool> autostart{false};
    std::atomic<bool> raw{false};
    float calibration[kCalibrationSize] = {};
    std::atomic<int> origin{FromScan};
    std::atomic<bool> boresight{false};
    std::atomic<bool> jitterReduction{false};
    std::atomic<int> filterProfile{StandardFilter};
};
