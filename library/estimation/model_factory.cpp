#include "model_factory.h"

#include "combined_meas_model.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "stacked_noise.h"

namespace Filtering {

namespace {

template <class Base, class T>
std::unique_ptr<Base> make() {
    return std::make_unique<T>();
}

}  // namespace

Utils::Factory<Noise>& noiseFactory() {
    // Function-local static: built once, thread-safely, on first use.
    static Utils::Factory<Noise>& registry = []() -> Utils::Factory<Noise>& {
        static Utils::Factory<Noise> f;
        f.registerType("GaussNoise", &make<Noise, GaussNoise>);
        f.registerType("StackedNoise", &make<Noise, StackedNoise>);
        return f;
    }();
    return registry;
}

Utils::Factory<MeasModel>& measModelFactory() {
    static Utils::Factory<MeasModel>& registry = []() -> Utils::Factory<MeasModel>& {
        static Utils::Factory<MeasModel> f;
        f.registerType("GyroMeasModel", &make<MeasModel, GyroMeasModel>);
        f.registerType("InclinometerMeasModel", &make<MeasModel, InclinometerMeasModel>);
        f.registerType("MagnetometerMeasModel", &make<MeasModel, MagnetometerMeasModel>);
        f.registerType("CombinedMeasModel", &make<MeasModel, CombinedMeasModel>);
        return f;
    }();
    return registry;
}

}  // namespace Filtering
