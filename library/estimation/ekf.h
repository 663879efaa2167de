// Extended Kalman filter over an abstract dynamic and measurement model.
#pragma once

#include <Eigen/Core>
#include <Eigen/LU>
#include <string>
#include <vector>

#include "aligned_new.h"
#include "model.h"
#include "parameter_map.h"

namespace Filtering {

class EKF : public Utils::AlignedNew {
  public:
    // Copies x0, P0 and t0 (s) and takes both models (also when it fails).
    EKF(DynModel* dynModel, MeasModel* measModel, const Eigen::VectorXd& x0,
        const Eigen::MatrixXd& P0, double t0);
    EKF(const EKF&) = delete;
    EKF& operator=(const EKF&) = delete;
    // Deletes the model pair and with it both models.
    virtual ~EKF();
    // "EKF".
    virtual std::string typeName() const;

    // Predicts to time t1 (s) with control input u:
    // x = f(x, u, e0, t1 - t), P = F P F^T + processNoiseScale Q.
    void timeUpdate(const Eigen::VectorXd& u, double t1);
    // Corrects with the measurements in list order; linearises every relation
    // at the state before the update. The time argument is not used and t is
    // not changed. An empty list changes nothing.
    void measurementUpdate(const Eigen::VectorXd& u, const std::vector<Eigen::VectorXd*>& ys,
                           double t);
    void reset(const Eigen::VectorXd& x, const Eigen::MatrixXd& P, double t);
    // Passes the map to the dynamic model, then to the measurement model.
    void setParameters(const ParameterMap& map);
    // Factor on Q in the following time updates; 1.0 after construction.
    void setProcessNoiseScale(double scale) { processNoiseScale_ = scale; }
    double processNoiseScale() const { return processNoiseScale_; }

    DynModel* dynModel() const { return models_->dynModel; }
    MeasModel* measModel() const { return models_->measModel; }
    const Eigen::VectorXd& x() const { return x_; }
    const Eigen::MatrixXd& P() const { return P_; }
    double t() const { return t_; }

  private:
    // P = 0.5 (P + P^T), element by element so that P is exactly symmetric.
    static void symmetrize(Eigen::MatrixXd& P);
    // sInv_ = S^-1 from the complete-pivoting LU of S, into preallocated storage.
    void invertInnovationCovariance();

    double processNoiseScale_ = 1.0;
    Eigen::VectorXd x_;  // state estimate
    Eigen::MatrixXd P_;  // state covariance
    double t_;           // time of the last time update or reset, s
    Model* models_;      // owned

    // Work storage of the updates: sized on first use and reused, so that a
    // sample causes no heap allocation while the dimensions stay the same.
    Eigen::MatrixXd FP_;          // P F^T
    Eigen::MatrixXd FPt_;         // F P
    Eigen::MatrixXd PHt_;         // P H^T
    Eigen::MatrixXd S_;           // H P H^T + R
    Eigen::MatrixXd SInv_;        // S^-1
    Eigen::MatrixXd K_;           // P H^T S^-1
    Eigen::VectorXd linPoint_;    // state the relations are linearised at
    Eigen::VectorXd innovation_;  // r + H (x - linPoint)
    Eigen::VectorXd step_;        // x - linPoint
    Eigen::VectorXd column_;      // one column of S^-1 while it is solved
    Eigen::FullPivLU<Eigen::MatrixXd> lu_;
    Eigen::FullPivLU<Eigen::Matrix3d> lu3_;
};

}  // namespace Filtering
