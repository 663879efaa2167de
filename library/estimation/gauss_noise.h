// A single Gaussian noise term N(mu, Sigma).
#pragma once

#include "noise.h"

namespace Filtering {

class GaussNoise : public Noise {
  public:
    // Empty (dimension 0); the factory's default object.
    GaussNoise() = default;
    // Covariance as given, zero mean of matching length.
    explicit GaussNoise(const Eigen::MatrixXd& Sigma);
    GaussNoise(const Eigen::VectorXd& mu, const Eigen::MatrixXd& Sigma);
    GaussNoise(const GaussNoise& other) = default;

    // New GaussNoise with copies of mu and Sigma.
    std::unique_ptr<Noise> clone() const override;
    std::string typeName() const override;
    // Fields: "comment", "mu" (vector), "Sigma" (matrix).
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    void readParameters(Utils::AbstractData& node) override;
    int dimension() const override;
    void resize(int n, bool identity) override;
    const Eigen::VectorXd& mean() const override { return mu_; }
    const Eigen::MatrixXd& covariance() const override { return Sigma_; }

  private:
    Eigen::VectorXd mu_;     // mean, default empty
    Eigen::MatrixXd Sigma_;  // covariance, dimension() x dimension()
};

}  // namespace Filtering
