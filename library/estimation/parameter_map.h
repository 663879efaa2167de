// Textual parameter map through which models are configured, and the named
// state identifiers used as its keys.
#pragma once

#include <map>
#include <string>

namespace Filtering {

// Ordered key -> value text. Integers are written in decimal, doubles with
// 20 significant digits, so a value read back is the value written.
using ParameterMap = std::map<std::string, std::string>;

// Builds a map from "key=value&key=value...": pairs split at '&', key and
// value at the first '='. A pair with an empty value that is followed by '&'
// is skipped; parsing stops at a pair with an empty key or without '='.
// A later pair with the same key replaces the earlier one.
ParameterMap parseParameterMap(const std::string& text);

void putInt(ParameterMap& map, const std::string& key, int value);
void putDouble(ParameterMap& map, const std::string& key, double value);

// Read key into value when the key is present (returns true); an absent key
// leaves value unchanged (false). A present value that does not start with a
// number raises Utils::Exception "ParameterMap: cannot read <key>".
bool getInt(const ParameterMap& map, const std::string& key, int& value);
bool getDouble(const ParameterMap& map, const std::string& key, double& value);

// Named states. The value stored under each key is the index of the first
// element of the quantity in the state x, the input u or the measurement y;
// -1 means the quantity is absent. Suffix S: sensor frame, W: world frame.
inline constexpr char Q_SW[] = "Q_SW";    // x, 4: quaternion (w, x, y, z), world -> sensor
inline constexpr char W_S[] = "W_S";      // x, 3: angular velocity, rad/s
inline constexpr char BW_S[] = "BW_S";    // x, 3: gyroscope bias, rad/s
inline constexpr char UYW_S[] = "UYW_S";  // u, 3: gyroscope reading as control input, rad/s
inline constexpr char YM_S[] = "YM_S";    // y, 3: magnetometer reading
inline constexpr char YA_S[] = "YA_S";    // y, 3: accelerometer reading, m/s^2
inline constexpr char G_W[] = "G_W";      // parameter, 3: gravity direction in the world
// Declared for completeness of the set; no model here uses them.
inline constexpr char A_S[] = "A_S";
inline constexpr char S_W[] = "S_W";
inline constexpr char DS_W[] = "DS_W";
inline constexpr char DDS_W[] = "DDS_W";
inline constexpr char BA_S[] = "BA_S";
inline constexpr char DQ_SS[] = "DQ_SS";
inline constexpr char UM_W[] = "UM_W";
inline constexpr char YM_W[] = "YM_W";
inline constexpr char YM_N[] = "YM_N";
inline constexpr char UYA_S[] = "UYA_S";
inline constexpr char YR_N[] = "YR_N";
// State dimension, written by the dynamic model and read by none.
inline constexpr char NX[] = "nx";

}  // namespace Filtering
