#include "imu_ori_dyn_model.h"

#include <cmath>
#include <vector>

#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

IMUOriDynModel::IMUOriDynModel(StackedNoise* noise) : noise_(noise) {}

IMUOriDynModel::~IMUOriDynModel() {
    delete noise_;
}

std::string IMUOriDynModel::typeName() const {
    return "IMUOriDynModel";
}

std::unique_ptr<Utils::AbstractDataStruct> IMUOriDynModel::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField("comment",
                new Utils::AbstractDataComment(
                    " Dynamic model for constant velocity orientation tracker (optional gyro "
                    "control input): \n x_{t+T} = f(x_t, u_{t+1}) "),
                false);
    s->addField("W", noise_->writeParameters().release(), false);
    return s;
}

bool IMUOriDynModel::noiseFits(const StackedNoise& noise) const {
    // The totals (at least 3, or 6 with a bias) are not enough on their own:
    // evaluate() reads a 3 x 3 covariance from component 0 and, with a bias
    // state, from component 1.
    const int needed = biasIndex_ >= 0 ? 6 : 3;
    if (noise.dimension() < needed) return false;
    if (noise.componentCount() < 1 || noise.component(0)->dimension() != 3) return false;
    if (biasIndex_ >= 0 && (noise.componentCount() < 2 || noise.component(1)->dimension() != 3))
        return false;
    return true;
}

void IMUOriDynModel::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    Utils::AbstractDataStruct& w = s.structField("W");
    std::unique_ptr<Noise> created = noiseFactory().create(w.name());
    auto* stacked = dynamic_cast<StackedNoise*>(created.get());
    if (stacked == nullptr) throw Utils::BadCast();
    stacked->readParameters(w);
    if (!noiseFits(*stacked)) throw Utils::Exception("IMUOriDynModel:  Invalid noise model read.");
    delete noise_;
    noise_ = stacked;
    created.release();
}

int IMUOriDynModel::inputDimension() const {
    return rateIndex_ < 0 ? 3 : 0;
}

int IMUOriDynModel::outputDimension() const {
    return noise_->dimension();
}

ParameterMap IMUOriDynModel::getParameters() const {
    ParameterMap map;
    putInt(map, Q_SW, quatIndex_);
    putInt(map, BW_S, biasIndex_);
    putInt(map, W_S, rateIndex_);
    putInt(map, NX, 4 + (rateIndex_ >= 0 ? 3 : 0) + (biasIndex_ >= 0 ? 3 : 0));
    putInt(map, UYW_S, inputIndex_);
    return map;
}

void IMUOriDynModel::setParameters(const ParameterMap& map) {
    getInt(map, Q_SW, quatIndex_);
    getInt(map, BW_S, biasIndex_);
    getInt(map, W_S, rateIndex_);
    if (quatIndex_ < 0) throw Utils::Exception("Mandatory states missing in " + typeName());
    getInt(map, UYW_S, inputIndex_);

    // The configured blocks must tile elements 0 .. n-1 exactly.
    const int n = 4 + (rateIndex_ >= 0 ? 3 : 0) + (biasIndex_ >= 0 ? 3 : 0);
    std::vector<bool> used(static_cast<size_t>(n), false);
    auto claim = [&](int first, int length) {
        if (first < 0 || first + length > n) return false;
        for (int i = first; i < first + length; ++i) {
            if (used[static_cast<size_t>(i)]) return false;
            used[static_cast<size_t>(i)] = true;
        }
        return true;
    };
    bool tiled = claim(quatIndex_, 4);
    if (rateIndex_ >= 0) tiled = tiled && claim(rateIndex_, 3);
    if (biasIndex_ >= 0) tiled = tiled && claim(biasIndex_, 3);
    if (!tiled) throw Utils::Exception("State indices corrupted in " + typeName());

    if (!noiseFits(*noise_))
        throw Utils::Exception("Noise inconsistent with state in " + typeName());
}

void IMUOriDynModel::evaluate(const ConstVectorRef& x, const ConstVectorRef& u,
                              const ConstVectorRef& e, double T) {
    const Eigen::Index n = x.size();
    // f = x, F = I, Q = 0; the blocks below overwrite what the model changes.
    value_ = x;
    jacobian_.setIdentity(n, n);
    noiseCovariance_.setZero(n, n);

    Sw_ = noise_->component(0)->covariance();
    q_ = x.segment<4>(quatIndex_);
    q_ /= q_.norm();

    // Rotation vector over the step, rad.
    const Eigen::Vector3d ew = e.segment<3>(rateNoiseOffset_);
    if (rateIndex_ >= 0) {
        // v = -T (omega + e_w)
        v_ = -T * (x.segment<3>(rateIndex_) + ew);
    } else if (biasIndex_ >= 0) {
        // v = -T (g - b - e_w)
        v_ = -T * (u.segment<3>(inputIndex_) - x.segment<3>(biasIndex_) - ew);
    } else {
        // v = -T (g - e_w)
        v_ = -T * (u.segment<3>(inputIndex_) - ew);
    }

    // dq(v) = (cos(theta/2), sin(theta/2)/theta v), theta = |v|, and J = d dq/dv.
    const double theta = v_.norm();
    if (theta <= 1e-15) {
        dq_ << 1, 0, 0, 0;
        J_.row(0).setZero();
        J_.bottomRows<3>() = 0.5 * Eigen::Matrix3d::Identity();
    } else {
        // c = sin(theta/2)/theta, by its series 1/2 - theta^2/48 where the
        // quotient loses precision.
        const double c = theta > 1e-6 ? std::sin(theta / 2) / theta : 0.5 - theta * theta / 48;
        dq_(0) = std::cos(theta / 2);
        dq_.tail<3>() = c * v_;
        dq_ /= dq_.norm();
        // J = [ -1/2 sin(theta/2) n^T ; c (I - n n^T) + 1/2 cos(theta/2) n n^T ], n = v/theta
        const Eigen::Vector3d nv = v_ / theta;
        const Eigen::Matrix3d nnT = nv * nv.transpose();
        J_.row(0) = -0.5 * std::sin(theta / 2) * nv.transpose();
        J_.bottomRows<3>() =
            c * (Eigen::Matrix3d::Identity() - nnT) + 0.5 * std::cos(theta / 2) * nnT;
    }

    // q_{t+T} = dq (x) q = ML(dq) q, so dF_q/dq = ML(dq).
    value_.segment<4>(quatIndex_) = leftProductMatrix(dq_) * q_;
    jacobian_.block<4, 4>(quatIndex_, quatIndex_) = leftProductMatrix(dq_);

    if (rateIndex_ >= 0) {
        // dq (x) q = MR(q) dq and dv/domega = dv/de_w = -T:  G = MR(q) J (-T)
        G_ = rightProductMatrix(q_) * J_ * (-T);
        jacobian_.block<4, 3>(quatIndex_, rateIndex_) = G_;
        // The noise drives the rate and, through G, the quaternion:
        // Q = [G; I] Sw [G; I]^T
        noiseCovariance_.block<4, 4>(quatIndex_, quatIndex_) = G_ * Sw_ * G_.transpose();
        noiseCovariance_.block<4, 3>(quatIndex_, rateIndex_) = G_ * Sw_;
        noiseCovariance_.block<3, 4>(rateIndex_, quatIndex_) = Sw_ * G_.transpose();
        noiseCovariance_.block<3, 3>(rateIndex_, rateIndex_) = Sw_;
    } else {
        // dv/db = dv/de_w = T:  G = MR(q) J T
        G_ = rightProductMatrix(q_) * J_ * T;
        if (biasIndex_ >= 0) jacobian_.block<4, 3>(quatIndex_, biasIndex_) = G_;
        noiseCovariance_.block<4, 4>(quatIndex_, quatIndex_) = G_ * Sw_ * G_.transpose();
    }
    // The bias is a random walk with the covariance of noise component 1.
    if (biasIndex_ >= 0)
        noiseCovariance_.block<3, 3>(biasIndex_, biasIndex_) = noise_->component(1)->covariance();
}

}  // namespace Filtering
