// Several noise terms concatenated into one: stacked mean, block-diagonal
// covariance.
#pragma once

#include <vector>

#include "noise.h"

namespace Filtering {

class StackedNoise : public Noise {
  public:
    // ownsComponents: the stack keeps its own copies of what add() is given
    // and deletes them; otherwise it only refers to noises owned elsewhere.
    // The factory's default object owns its components.
    explicit StackedNoise(bool ownsComponents = true);
    StackedNoise(const StackedNoise&) = delete;
    ~StackedNoise() override;

    // New owning StackedNoise holding clones of every component.
    std::unique_ptr<Noise> clone() const override;
    std::string typeName() const override;
    // Fields: "comment", "count" (scalar), "N0", "N1", ... (component structs).
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // Creates every component through the noise factory from its struct's
    // name. The components it creates are its own: afterwards the stack owns
    // its components whatever it was constructed with.
    void readParameters(Utils::AbstractData& node) override;
    int dimension() const override;
    // Not possible for a stack: Utils::Exception "Resize not implemented for
    // StackedNoise".
    void resize(int n, bool identity) override;
    const Eigen::VectorXd& mean() const override { return mu_; }
    const Eigen::MatrixXd& covariance() const override { return Sigma_; }

    // Appends a component (a clone of it when owning; the caller keeps
    // `noise` either way) and rebuilds mean and covariance.
    void add(Noise* noise);
    // Component i (i below componentCount()); std::out_of_range otherwise.
    Noise* component(int i) const { return components_.at(static_cast<size_t>(i)); }
    int componentCount() const { return static_cast<int>(components_.size()); }
    bool ownsComponents() const { return ownsComponents_; }

  private:
    // mu = (mu_0, mu_1, ...); Sigma = blockdiag(Sigma_0, Sigma_1, ...). The
    // stack keeps these copies until the next rebuild.
    void rebuild();
    void deleteOwnedComponents();

    std::vector<Noise*> components_;
    Eigen::VectorXd mu_;
    Eigen::MatrixXd Sigma_;
    bool ownsComponents_;
};

}  // namespace Filtering
