#include "sensor_object.h"

#include <algorithm>

SensorObject::SensorObject() : QObject(nullptr) {}

void SensorObject::store(std::atomic<bool>& field, int on, Position pos) {
    field = on != 0;
    emit updateTreeFocus(id, pos);
}

void SensorObject::setId(std::string value) {
    id = std::move(value);
}

void SensorObject::setPort(std::string value) {
    port = std::move(value);
}

void SensorObject::enableAccX(int on) {
    store(accX, on, PosAccX);
}
void SensorObject::enableAccY(int on) {
    store(accY, on, PosAccY);
}
void SensorObject::enableAccZ(int on) {
    store(accZ, on, PosAccZ);
}
void SensorObject::enableGyrX(int on) {
    store(gyrX, on, PosGyrX);
}
bool SensorObject::isEnabledGyrX() const {
    return gyrX;
}
void SensorObject::enableGyrY(int on) {
    store(gyrY, on, PosGyrY);
}
bool SensorObject::isEnabledGyrY() const {
    return gyrY;
}
void SensorObject::enableGyrZ(int on) {
    store(gyrZ, on, PosGyrZ);
}
bool SensorObject::isEnabledGyrZ() const {
    return gyrZ;
}
void SensorObject::enableBoresight(int on) {
    store(boresight, on, PosBoresight);
}
bool SensorObject::isEnabledBoresight() const {
    return boresight;
}
void SensorObject::enableMagX(int on) {
    store(magX, on, PosMagX);
}
void SensorObject::enableMagY(int on) {
    store(magY, on, PosMagY);
}
void SensorObject::enableMagZ(int on) {
    store(magZ, on, PosMagZ);
}
void SensorObject::enableTemp(int on) {
    store(temp, on, PosTemp);
}
void SensorObject::enableNav(int on) {
    store(nav, on, PosNav);
}

void SensorObject::setMagDiv(int value) {
    magDiv = value;
    emit updateTreeFocus(id, PosMagDiv);
}

void SensorObject::setFreq(int value) {
    freq = value;
    emit updateTreeFocus(id, PosFreq);
}

void SensorObject::enableAscii(int on) {
    store(ascii, on, PosAscii);
}
void SensorObject::enableAutostart(int on) {
    store(autostart, on, PosAutostart);
}
void SensorObject::enableRaw(int on) {
    store(raw, on, PosRaw);
}
void SensorObject::enableJitterReduction(int on) {
    store(jitterReduction, on, PosJitterReduction);
}

void SensorObject::setAR(float* values) {
    std::copy(values, values + 9, calibration + kAR);
}
void SensorObject::setAk(float* values) {
    std::copy(values, values + 3, calibration + kAk);
}
void SensorObject::setAb(float* values) {
    std::copy(values, values + 3, calibration + kAb);
}
void SensorObject::setGR(float* values) {
    std::copy(values, values + 9, calibration + kGR);
}
void SensorObject::setGK(float* values) {
    std::copy(values, values + 9, calibration + kGK);
}
void SensorObject::setGk(float* values) {
    std::copy(values, values + 3, calibration + kGk);
}
void SensorObject::setGb(float* values) {
    std::copy(values, values + 3, calibration + kGb);
}
void SensorObject::setMR(float* values) {
    std::copy(values, values + 9, calibration + kMR);
}
void SensorObject::setMk(float* values) {
    std::copy(values, values + 3, calibration + kMk);
}
void SensorObject::setMb(float* values) {
    std::copy(values, values + 3, calibration + kMb);
}

void SensorObject::setMatrixElement(int group, float value, int row, int col) {
    if (row < 0 || row >= 3 || col < 0 || col >= 3) return;
    calibration[group + 3 * row + col] = value;
}

void SensorObject::setVectorElement(int group, float value, int row) {
    if (row < 0 || row >= 3) return;
    calibration[group + row] = value;
}

void SensorObject::setAR(float value, int row, int col) {
    setMatrixElement(kAR, value, row, col);
}
void SensorObject::setGR(float value, int row, int col) {
    setMatrixElement(kGR, value, row, col);
}
void SensorObject::setGK(float value, int row, int col) {
    setMatrixElement(kGK, value, row, col);
}
void SensorObject::setMR(float value, int row, int col) {
    setMatrixElement(kMR, value, row, col);
}
void SensorObject::setAk(float value, int row) {
    setVectorElement(kAk, value, row);
}
void SensorObject::setAb(float value, int row) {
    setVectorElement(kAb, value, row);
}
void SensorObject::setGk(float value, int row) {
    setVectorElement(kGk, value, row);
}
void SensorObject::setGb(float value, int row) {
    setVectorElement(kGb, value, row);
}
void SensorObject::setMk(float value, int row) {
    setVectorElement(kMk, value, row);
}
void SensorObject::setMb(float value, int row) {
    setVectorElement(kMb, value, row);
}

int SensorObject::displayMask() const {
    if (ascii) return 0;
    int mask = 0;
    if (accX || accY || accZ) mask |= 1;
    if (gyrX || gyrY || gyrZ) mask |= 2;
    if (magX || magY || magZ) mask |= 4;
    if (!raw && magX && magY && magZ && accX && accY && accZ && gyrX && gyrY && gyrZ) mask |= 8;
    return mask;
}

GuiCommon::TrackerSettings SensorObject::settings() const {
    GuiCommon::TrackerSettings s;
    s.magX = magX;
    s.magY = magY;
    s.magZ = magZ;
    s.accX = accX;
    s.accY = accY;
    s.accZ = accZ;
    s.gyrX = gyrX;
    s.gyrY = gyrY;
    s.gyrZ = gyrZ;
    s.temp = temp;
    s.nav = nav;
    s.magDiv = magDiv;
    s.freq = freq;
    s.ascii = ascii;
    s.autostart = autostart;
    s.raw = raw;
    return s;
}

void SensorObject::setFilterProfile(int profile) {
    const int value = profile == RobustFilter ? RobustFilter : StandardFilter;
    filterProfile = value;
    emit updateTreeFocus(id, PosFilterProfile);
}
