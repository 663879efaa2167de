// The framework's two registries: measurement models and noises by type name.
#pragma once

#include "factory.h"
#include "model.h"
#include "noise.h"

namespace Filtering {

// Each registry is created on first use with the framework's own types
// registered under the names they report: "GaussNoise", "StackedNoise";
// "GyroMeasModel", "InclinometerMeasModel", "MagnetometerMeasModel",
// "CombinedMeasModel". Further types may be registered at any time.
Utils::Factory<Noise>& noiseFactory();
Utils::Factory<MeasModel>& measModelFactory();

}  // namespace Filtering
