// Every model and noise through writeParameters, the factories and
// readParameters; the readers' error cases; the registries under threads.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <typeinfo>
#include <vector>

#include "combined_meas_model.h"
#include "estimation_test_util.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "imu_ori_dyn_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "model_factory.h"
#include "utils_exception.h"

using namespace Filtering;
using EstimationTest::near;
using EstimationTest::Random;
using EstimationTest::sameTree;
using EstimationTest::throwsWith;

namespace {

Random rnd(99);

GaussNoise* randomGauss(int n) {
    return new GaussNoise(rnd.vector(n), rnd.spd(n));
}

StackedNoise* randomStack(int count) {
    auto* s = new StackedNoise(true);
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<GaussNoise> g(randomGauss(3));
        s->add(g.get());
    }
    return s;
}

// Non-default settings everywhere, so that a field dropped or mixed up in
// the round trip shows.
InclinometerMeasModel* inclinometer() {
    auto* m = new InclinometerMeasModel(randomGauss(3));
    m->setParameters({{"outlierCoef", "0.25"}, {"outlierExp", "3"}});
    return m;
}

MagnetometerMeasModel* magnetometer() {
    auto* m = new MagnetometerMeasModel(randomStack(2));
    m->setParameters({{"outlierACoef", "0.5"},
                      {"outlierAExp", "1.5"},
                      {"magThreshold", "0.07"},
                      {"magForgettingFactor", "0.9"}});
    return m;
}

CombinedMeasModel* combined() {
    auto* c = new CombinedMeasModel();
    c->add(inclinometer());
    c->add(magnetometer());
    c->add(new GyroMeasModel(randomGauss(3)));
    return c;
}

// Writes, recreates by the struct's name, reads, writes again: both trees
// must be equal, and the rebuilt object must behave as the original.
template <class T>
std::unique_ptr<T> roundTrip(const T& original, std::unique_ptr<T> rebuilt) {
    std::unique_ptr<Utils::AbstractDataStruct> tree = original.writeParameters();
    EXPECT_EQ(tree->name(), original.typeName());
    rebuilt->readParameters(*tree);
    std::unique_ptr<Utils::AbstractDataStruct> again = rebuilt->writeParameters();
    EXPECT_TRUE(sameTree(*tree, *again));
    return rebuilt;
}

std::vector<std::string> fieldNames(const Utils::AbstractDataStruct& s) {
    std::vector<std::string> names;
    for (int i = 0; i < s.fieldCount(); ++i) names.push_back(s.fieldName(i));
    return names;
}

TEST(TreeRoundTrip, Noises) {
    std::unique_ptr<GaussNoise> gauss(randomGauss(4));
    auto g = roundTrip<Noise>(*gauss, noiseFactory().create("GaussNoise"));
    EXPECT_EQ(g->mean(), gauss->mean());
    EXPECT_EQ(g->covariance(), gauss->covariance());

    std::unique_ptr<StackedNoise> stack(randomStack(3));
    auto s = roundTrip<Noise>(*stack, noiseFactory().create("StackedNoise"));
    EXPECT_EQ(s->mean(), stack->mean());
    EXPECT_EQ(s->covariance(), stack->covariance());
}

TEST(TreeRoundTrip, MeasurementModelsBehaveAsTheOriginal) {
    const ParameterMap layout = {{Q_SW, "0"}, {W_S, "4"}, {BW_S, "-1"}};
    std::vector<std::unique_ptr<MeasModel>> originals;
    originals.emplace_back(new GyroMeasModel(randomGauss(3)));
    originals.emplace_back(inclinometer());
    originals.emplace_back(magnetometer());
    originals.emplace_back(combined());
    for (auto& original : originals) {
        SCOPED_TRACE(original->typeName());
        auto rebuilt =
            roundTrip<MeasModel>(*original, measModelFactory().create(original->typeName()));
        // Indices are not part of the tree: both get the same layout.
        original->setParameters(layout);
        rebuilt->setParameters(layout);
        EXPECT_EQ(rebuilt->getParameters(), original->getParameters());

        Eigen::VectorXd x = rnd.vector(7);
        x.head(4) = rnd.unitQuaternion();
        Eigen::VectorXd y = rnd.vector(6, -20, 20);
        if (original->typeName() == "CombinedMeasModel") {
            y = rnd.vector(7, -20, 20);
            y(0) = 1;  // the magnetometer, with its 6 readings behind the selector
        }
        const Eigen::VectorXd& e = original->noise()->mean();
        ASSERT_EQ(rebuilt->noise()->mean(), e);
        original->evaluate(y, x, Eigen::VectorXd(), e);
        rebuilt->evaluate(y, x, Eigen::VectorXd(), e);
        EXPECT_EQ(rebuilt->value(y), original->value(y));
        EXPECT_EQ(rebuilt->jacobian(y), original->jacobian(y));
        EXPECT_EQ(rebuilt->noiseCovariance(y), original->noiseCovariance(y));
    }
}

TEST(TreeRoundTrip, DynamicModel) {
    IMUOriDynModel original(randomStack(2));
    IMUOriDynModel rebuilt(randomStack(2));
    roundTrip<DynModel>(original, std::unique_ptr<DynModel>(new IMUOriDynModel(randomStack(2))));

    // Read into an existing model, then both predict alike.
    std::unique_ptr<Utils::AbstractDataStruct> tree = original.writeParameters();
    rebuilt.readParameters(*tree);
    Eigen::VectorXd x = rnd.vector(7);
    x.head(4) = rnd.unitQuaternion();
    const Eigen::VectorXd u = rnd.vector(3);
    original.evaluate(x, u, original.noise()->mean(), 0.01);
    rebuilt.evaluate(x, u, rebuilt.noise()->mean(), 0.01);
    EXPECT_EQ(rebuilt.value(), original.value());
    EXPECT_EQ(rebuilt.noiseCovariance(), original.noiseCovariance());
}

TEST(TreeLayout, FieldsInWrittenOrder) {
    std::unique_ptr<Noise> gauss(randomGauss(3));
    std::unique_ptr<Noise> stack(randomStack(2));
    std::unique_ptr<MeasModel> gyro(new GyroMeasModel(randomGauss(3)));
    std::unique_ptr<MeasModel> incl(inclinometer());
    std::unique_ptr<MeasModel> mag(magnetometer());
    std::unique_ptr<MeasModel> comb(combined());
    IMUOriDynModel dyn(randomStack(1));
    using Names = std::vector<std::string>;
    EXPECT_EQ(fieldNames(*gauss->writeParameters()), (Names{"comment", "mu", "Sigma"}));
    EXPECT_EQ(fieldNames(*stack->writeParameters()), (Names{"comment", "count", "N0", "N1"}));
    EXPECT_EQ(fieldNames(*gyro->writeParameters()), (Names{"comment", "E"}));
    EXPECT_EQ(fieldNames(*incl->writeParameters()),
              (Names{"comment", "g_w", "g0", "E", "outlierCoef", "outlierExp"}));
    EXPECT_EQ(fieldNames(*mag->writeParameters()),
              (Names{"comment", "g0", "E", "outlierACoef", "outlierAExp", "magThreshold",
                     "magForgettingFactor"}));
    EXPECT_EQ(fieldNames(*comb->writeParameters()), (Names{"comment", "N", "M0", "M1", "M2"}));
    EXPECT_EQ(fieldNames(*dyn.writeParameters()), (Names{"comment", "W"}));

    auto comment = [](const Utils::AbstractDataStruct& s) {
        return dynamic_cast<Utils::AbstractDataComment&>(s.field("comment")).text();
    };
    EXPECT_EQ(comment(*gauss->writeParameters()), " Gaussian noise N(mu, Sigma) ");
    EXPECT_EQ(comment(*incl->writeParameters()),
              "Measurement model for inclination measurements: \n 0 = y_t - h(x_t, u_t, e_t) ");
    EXPECT_EQ(comment(*dyn.writeParameters()),
              " Dynamic model for constant velocity orientation tracker (optional gyro control "
              "input): \n x_{t+T} = f(x_t, u_{t+1}) ");
}

// Replaces field `name` of struct s (by rebuilding s without it, then adding node).
std::unique_ptr<Utils::AbstractDataStruct> withField(const Utils::AbstractDataStruct& s,
                                                     const std::string& name,
                                                     Utils::AbstractData* node) {
    auto copy = std::make_unique<Utils::AbstractDataStruct>(s.name());
    for (int i = 0; i < s.fieldCount(); ++i) {
        if (s.fieldName(i) == name) continue;
        // Re-use the writer's data: a shallow view is enough for reading.
        Utils::AbstractData& child = s.fieldNode(i);
        if (auto* n = dynamic_cast<Utils::AbstractDataNumeric*>(&child)) {
            const Utils::MatrixBuffer b = n->asMatrix(false);
            copy->addField(s.fieldName(i), new Utils::AbstractDataMatrix(b, false), false);
        } else if (auto* st = dynamic_cast<Utils::AbstractDataStruct*>(&child)) {
            copy->addField(s.fieldName(i), withField(*st, "", nullptr).release(), false);
        } else {
            copy->addField(s.fieldName(i), new Utils::AbstractDataComment("c"), false);
        }
    }
    if (node) copy->addField(name, node, false);
    return copy;
}

TEST(TreeReading, ErrorsLeaveTheObjectUnchanged) {
    std::unique_ptr<MagnetometerMeasModel> mag(magnetometer());
    std::unique_ptr<InclinometerMeasModel> incl(inclinometer());
    std::unique_ptr<GyroMeasModel> gyro(new GyroMeasModel(randomGauss(3)));
    IMUOriDynModel dyn(randomStack(2));
    const auto magTree = mag->writeParameters();
    const auto inclTree = incl->writeParameters();
    const auto gyroTree = gyro->writeParameters();
    const auto dynTree = dyn.writeParameters();
    const std::unique_ptr<Noise> gauss2(randomGauss(2));
    const std::unique_ptr<Noise> gauss3(randomGauss(3));
    const std::unique_ptr<Noise> stack1(randomStack(1));

    Utils::AbstractDataComment notAStruct("x");
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { mag->readParameters(notAStruct); }, "bad cast"));
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { gauss3->readParameters(notAStruct); }, "bad cast"));

    struct Case {
        const char* name;
        MeasModel* model;  // nullptr: the dynamic model
        std::unique_ptr<Utils::AbstractDataStruct> tree;
        bool badCast;
        const char* error;
    };
    Case cases[] = {
        {"magnetometer noise not stacked", mag.get(),
         withField(*magTree, "E", gauss3->writeParameters().release()), true, "bad cast"},
        {"magnetometer noise of one component", mag.get(),
         withField(*magTree, "E", stack1->writeParameters().release()), false,
         "MagnetometerMeasModel: Incorrect noise model read"},
        {"magnetometer without g0", mag.get(), withField(*magTree, "g0", nullptr), false,
         "Unknown field in AbstractDataStruct: g0"},
        {"inclinometer noise of 2", incl.get(),
         withField(*inclTree, "E", gauss2->writeParameters().release()), false,
         "InclinometerMeasModel:  Incorrect noise model read"},
        {"inclinometer zero gravity direction", incl.get(),
         withField(*inclTree, "g_w", Utils::vectorToData(Eigen::VectorXd::Zero(3)).release()),
         false, "InclinometerMeasModel:  Incorrect gravity direction read"},
        {"gyroscope noise of 2", gyro.get(),
         withField(*gyroTree, "E", gauss2->writeParameters().release()), false,
         "GyroMeasModel:  Incorrect noise model read"},
        {"dynamic noise not stacked", nullptr,
         withField(*dynTree, "W", gauss3->writeParameters().release()), true, "bad cast"},
        {"dynamic noise without the bias component", nullptr,
         withField(*dynTree, "W", stack1->writeParameters().release()), false,
         "IMUOriDynModel:  Invalid noise model read."},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto read = [&] {
            if (c.model)
                c.model->readParameters(*c.tree);
            else
                dyn.readParameters(*c.tree);
        };
        if (c.badCast)
            EXPECT_TRUE(throwsWith<std::bad_cast>(read, c.error));
        else
            EXPECT_TRUE(throwsWith<Utils::Exception>(read, c.error));
    }
    // Nothing was replaced.
    EXPECT_TRUE(sameTree(*mag->writeParameters(), *magTree));
    EXPECT_TRUE(sameTree(*incl->writeParameters(), *inclTree));
    EXPECT_TRUE(sameTree(*gyro->writeParameters(), *gyroTree));
    EXPECT_TRUE(sameTree(*dyn.writeParameters(), *dynTree));
}

TEST(TreeReading, MagnetometerDefaultsForMissingOptionalFields) {
    std::unique_ptr<MagnetometerMeasModel> source(magnetometer());
    // withField borrows the numbers of its source: keep every level alive.
    const auto written = source->writeParameters();
    const auto withoutThreshold = withField(*written, "magThreshold", nullptr);
    const auto tree = withField(*withoutThreshold, "magForgettingFactor", nullptr);
    MagnetometerMeasModel model;
    model.setParameters({{"magThreshold", "0.3"}, {"magForgettingFactor", "0.5"}});
    model.readParameters(*tree);
    EXPECT_EQ(model.getParameters().at("magThreshold"), "0.050000000000000002776");
    EXPECT_EQ(model.getParameters().at("magForgettingFactor"), "0.98999999999999999112");
    EXPECT_EQ(model.getParameters().at("outlierACoef"), "0.5");
}

// The framework's error keeps its own type and message, and a caller that
// handles runtime errors (as the library's users do) sees it too.
TEST(Factory, FailuresAreRuntimeErrorsWithTheMessageUnchanged) {
    try {
        measModelFactory().create("NoSuchModel");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unknown factory type");
        EXPECT_NE(dynamic_cast<const Utils::Exception*>(&e), nullptr);
    }
    const Utils::Exception copy("Mandatory states missing in GyroMeasModel");
    const std::exception& base = copy;
    EXPECT_STREQ(base.what(), "Mandatory states missing in GyroMeasModel");
}

TEST(Factory, UnknownNamesAndCustomRegistrations) {
    EXPECT_TRUE(throwsWith<Utils::Exception>([] { noiseFactory().create("IMUOriDynModel"); },
                                             "Unknown factory type"));
    EXPECT_TRUE(throwsWith<Utils::Exception>([] { measModelFactory().create("GaussNoise"); },
                                             "Unknown factory type"));
    // A stacked noise naming an unknown component type fails the same way.
    Utils::AbstractDataStruct tree("StackedNoise");
    tree.addScalar("count", 1, false);
    tree.addField("N0", new Utils::AbstractDataStruct("NoSuchNoise"), false);
    StackedNoise s;
    EXPECT_TRUE(
        throwsWith<Utils::Exception>([&] { s.readParameters(tree); }, "Unknown factory type"));

    for (const char* name :
         {"GyroMeasModel", "InclinometerMeasModel", "MagnetometerMeasModel", "CombinedMeasModel"})
        EXPECT_EQ(measModelFactory().create(name)->typeName(), name);
    for (const char* name : {"GaussNoise", "StackedNoise"})
        EXPECT_EQ(noiseFactory().create(name)->typeName(), name);
}

TEST(Factory, RegistriesServeSeveralThreads) {
    // Two threads build models and noises through the registries while a
    // third registers new names: lookups share the lock, registrations
    // exclude them (run under ThreadSanitizer).
    std::atomic<bool> failed{false};
    auto worker = [&](int seed) {
        for (int i = 0; i < 300; ++i) {
            std::unique_ptr<MeasModel> m = measModelFactory().create(
                (i + seed) % 2 ? "MagnetometerMeasModel" : "CombinedMeasModel");
            std::unique_ptr<Noise> n = noiseFactory().create("StackedNoise");
            auto tree = m->writeParameters();
            m->readParameters(*tree);
            if (n->dimension() != 0) failed = true;
        }
    };
    auto registrar = [] {
        for (int i = 0; i < 100; ++i)
            noiseFactory().registerType("Extra" + std::to_string(i),
                                        [] { return std::unique_ptr<Noise>(new GaussNoise()); });
    };
    std::thread a(worker, 0), b(worker, 1), c(registrar);
    a.join();
    b.join();
    c.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(noiseFactory().create("Extra99")->typeName(), "GaussNoise");
}

}  // namespace
