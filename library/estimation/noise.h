// Abstract noise term e of a model relation: a mean (the linearisation point)
// and a covariance.
#pragma once

#include <Eigen/Core>
#include <memory>
#include <string>

#include "abstract_data.h"
#include "aligned_new.h"

namespace Filtering {

class Noise : public Utils::AlignedNew {
  public:
    Noise() = default;
    Noise(const Noise&) = default;
    Noise& operator=(const Noise&) = delete;
    virtual ~Noise();

    // New noise object of the same kind (see the subclasses for what it holds).
    virtual std::unique_ptr<Noise> clone() const = 0;
    // "GaussNoise" or "StackedNoise"; also the name of the struct it writes.
    virtual std::string typeName() const = 0;
    // New struct named typeName() describing the noise.
    virtual std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const = 0;
    // Rebuilds the noise from such a struct (std::bad_cast if node is none).
    virtual void readParameters(Utils::AbstractData& node) = 0;
    // Length of the mean.
    virtual int dimension() const = 0;
    // n zero means; covariance zero, or the identity when `identity`.
    virtual void resize(int n, bool identity) = 0;
    virtual const Eigen::VectorXd& mean() const = 0;
    virtual const Eigen::MatrixXd& covariance() const = 0;
};

}  // namespace Filtering
