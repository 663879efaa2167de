#include "ekf.h"

namespace Filtering {
namespace {

// Products of the small matrices of an update (a state of ten or so
// elements). Plain column-major loops: the compiler vectorises the inner
// loop, and they skip the blocking and packing a general product does for
// large matrices, which dominates at this size.

// Each product also comes in a 256-bit vector variant, which the loader picks
// once where the processor has it. Both variants do the same operations, element
// by element and in the same order (no fused multiply-add), so their results
// are the same to the bit. Not in sanitizer builds: the loader runs the
// variant selection before the thread sanitizer's runtime is up.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define QUORVANE_VECTOR_VARIANTS __attribute__((target_clones("avx2", "default")))
#else
#define QUORVANE_VECTOR_VARIANTS
#endif

// c[0..m) += s a[0..m), with the loop unrolled for the common small sizes.
template <int M>
inline void accumulateFixed(double* __restrict c, const double* __restrict a, double s) {
    for (int i = 0; i < M; ++i) c[i] += a[i] * s;
}

inline void accumulate(double* __restrict c, const double* __restrict a, double s, Eigen::Index m) {
    switch (m) {
        case 3:
            accumulateFixed<3>(c, a, s);
            return;
        case 4:
            accumulateFixed<4>(c, a, s);
            return;
        case 10:
            accumulateFixed<10>(c, a, s);
            return;
        default:
            for (Eigen::Index i = 0; i < m; ++i) c[i] += a[i] * s;
    }
}

// c[0..m) = 0, without a library call for the common small sizes.
inline void clear(double* c, Eigen::Index m) {
    switch (m) {
        case 3:
            for (int i = 0; i < 3; ++i) c[i] = 0.0;
            return;
        case 10:
            for (int i = 0; i < 10; ++i) c[i] = 0.0;
            return;
        default:
            for (Eigen::Index i = 0; i < m; ++i) c[i] = 0.0;
    }
}

// C = A B
QUORVANE_VECTOR_VARIANTS
void multiply(Eigen::MatrixXd& C, const Eigen::MatrixXd& A, const Eigen::MatrixXd& B) {
    const Eigen::Index m = A.rows(), k = A.cols(), n = B.cols();
    C.resize(m, n);
    for (Eigen::Index j = 0; j < n; ++j) {
        double* c = C.data() + j * m;
        clear(c, m);
        for (Eigen::Index p = 0; p < k; ++p) accumulate(c, A.data() + p * m, B(p, j), m);
    }
}

// C = A B^T. Zero elements of B are skipped: B is a Jacobian here, and most
// of its elements are structurally zero.
QUORVANE_VECTOR_VARIANTS
void multiplyTransposed(Eigen::MatrixXd& C, const Eigen::MatrixXd& A, const Eigen::MatrixXd& B) {
    const Eigen::Index m = A.rows(), k = A.cols(), n = B.rows();
    C.resize(m, n);
    for (Eigen::Index j = 0; j < n; ++j) {
        double* c = C.data() + j * m;
        clear(c, m);
        for (Eigen::Index p = 0; p < k; ++p) {
            const double b = B(j, p);
            if (b != 0.0) accumulate(c, A.data() + p * m, b, m);
        }
    }
}

// C -= A B^T
QUORVANE_VECTOR_VARIANTS
void subtractMultiplyTransposed(Eigen::MatrixXd& C, const Eigen::MatrixXd& A,
                                const Eigen::MatrixXd& B) {
    const Eigen::Index m = A.rows(), k = A.cols(), n = B.rows();
    for (Eigen::Index j = 0; j < n; ++j) {
        double* c = C.data() + j * m;
        for (Eigen::Index p = 0; p < k; ++p) accumulate(c, A.data() + p * m, -B(j, p), m);
    }
}

// y += s A v
QUORVANE_VECTOR_VARIANTS
void multiplyAdd(Eigen::VectorXd& y, const Eigen::MatrixXd& A, const Eigen::VectorXd& v,
                 double s = 1.0) {
    const Eigen::Index m = A.rows(), k = A.cols();
    for (Eigen::Index p = 0; p < k; ++p) accumulate(y.data(), A.data() + p * m, s * v(p), m);
}

}  // namespace

EKF::EKF(DynModel* dynModel, MeasModel* measModel, const Eigen::VectorXd& x0,
         const Eigen::MatrixXd& P0, double t0)
    : x_(), P_(), t_(t0), models_(nullptr) {
    try {
        models_ = new Model(dynModel, measModel);
        x_ = x0;
        P_ = P0;
    } catch (...) {
        if (models_ == nullptr) {
            delete dynModel;
            delete measModel;
        }
        delete models_;
        throw;
    }
}

EKF::~EKF() {
    delete models_;
}

std::string EKF::typeName() const {
    return "EKF";
}

void EKF::symmetrize(Eigen::MatrixXd& P) {
    const Eigen::Index n = P.rows();
    double* d = P.data();
    for (Eigen::Index j = 0; j < n; ++j) {
        double* column = d + j * n;  // P(., j)
        double* row = d + j;         // P(j, .), stride n
        for (Eigen::Index i = j + 1; i < n; ++i) {
            const double m = 0.5 * (column[i] + row[i * n]);
            column[i] = m;
            row[i * n] = m;
        }
    }
}

void EKF::timeUpdate(const Eigen::VectorXd& u, double t1) {
    DynModel& f = *models_->dynModel;
    // Linearise at the noise mean e0 over the step T = t1 - t.
    f.evaluate(x_, u, f.noise()->mean(), t1 - t_);
    const Eigen::MatrixXd& F = f.jacobian();
    const Eigen::MatrixXd& Q = f.noiseCovariance();
    // x = f(x, u, e0, T)
    x_ = f.value();
    // P = F P F^T + processNoiseScale Q
    // As (P F^T)^T F^T, so that both products run over the sparse F.
    multiplyTransposed(FP_, P_, F);  // P F^T
    FPt_ = FP_.transpose();          // F P
    multiplyTransposed(P_, FPt_, F);
    P_ += processNoiseScale_ * Q;
    symmetrize(P_);
    t_ = t1;
}

void EKF::measurementUpdate(const Eigen::VectorXd& u, const std::vector<Eigen::VectorXd*>& ys,
                            double) {
    if (ys.empty()) return;
    MeasModel& h = *models_->measModel;
    const Eigen::VectorXd& e0 = h.noise()->mean();
    // Every relation is linearised at the state s before the update. With a
    // single measurement s is the current x, and the update below reduces to
    // the textbook x = x - K r.
    linPoint_ = x_;
    bool corrected = false;  // x differs from s once a relation was applied
    for (const Eigen::VectorXd* y : ys) {
        h.evaluate(*y, linPoint_, u, e0);
        const Eigen::VectorXd& r = h.value(*y);
        const Eigen::MatrixXd& H = h.jacobian(*y);
        const Eigen::MatrixXd& R = h.noiseCovariance(*y);
        // S = H P H^T + R
        multiplyTransposed(PHt_, P_, H);
        multiply(S_, H, PHt_);
        S_ += R;
        // K = P H^T S^-1
        invertInnovationCovariance();
        multiply(K_, PHt_, SInv_);
        // x = x - K (r + H (x - s)): the relation carried from s to the state
        // already corrected by the earlier measurements of this update
        innovation_ = r;
        if (corrected) {
            step_ = x_ - linPoint_;
            multiplyAdd(innovation_, H, step_);
        }
        multiplyAdd(x_, K_, innovation_, -1.0);
        corrected = true;
        // P = P - K H P, where H P = (P H^T)^T exactly because P is kept
        // exactly symmetric
        subtractMultiplyTransposed(P_, K_, PHt_);
        symmetrize(P_);
    }
}

namespace {

// SInv = S^-1 from the complete-pivoting LU P S Q = L U of S:
// S^-1 = Q U^-1 L^-1 P. Written out because Eigen's own inverse allocates a
// temporary for dynamic sizes. Should S be singular, the directions beyond
// its rank get no correction (as with Eigen's solver); in this system R, and
// so S, is positive definite.
template <typename Lu>
void invertFromLu(const Lu& lu, Eigen::MatrixXd& SInv, Eigen::VectorXd& c) {
    const Eigen::Index m = lu.rows();
    const auto& LU = lu.matrixLU();
    const auto& p = lu.permutationP().indices();
    const auto& q = lu.permutationQ().indices();
    const Eigen::Index rank = lu.rank();
    SInv.resize(m, m);
    for (Eigen::Index j = 0; j < m; ++j) {
        // c = P e_j (P moves element j to position p(j))
        c.setZero(m);
        c(p(j)) = 1.0;
        // c = L^-1 c (unit lower triangle)
        for (Eigen::Index i = 0; i < m; ++i)
            for (Eigen::Index k = 0; k < i; ++k) c(i) -= LU(i, k) * c(k);
        // c = U^-1 c on the leading rank x rank block
        for (Eigen::Index i = rank - 1; i >= 0; --i) {
            for (Eigen::Index k = i + 1; k < rank; ++k) c(i) -= LU(i, k) * c(k);
            c(i) /= LU(i, i);
        }
        // column j of S^-1 = Q c
        for (Eigen::Index i = 0; i < m; ++i) SInv(q(i), j) = i < rank ? c(i) : 0.0;
    }
}

}  // namespace

void EKF::invertInnovationCovariance() {
    // Three-element relations (every relation of the orientation filter) use
    // the fixed-size decomposition, which is the same algorithm without the
    // bookkeeping of dynamic sizes.
    if (S_.rows() == 3 && S_.cols() == 3) {
        lu3_.compute(Eigen::Matrix3d(S_));
        invertFromLu(lu3_, SInv_, column_);
    } else {
        lu_.compute(S_);
        invertFromLu(lu_, SInv_, column_);
    }
}

void EKF::reset(const Eigen::VectorXd& x, const Eigen::MatrixXd& P, double t) {
    x_ = x;
    P_ = P;
    t_ = t;
}

void EKF::setParameters(const ParameterMap& map) {
    models_->dynModel->setParameters(map);
    models_->measModel->setParameters(map);
}

}  // namespace Filtering
