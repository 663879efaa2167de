#include "motion.h"

#include <cmath>
#include <deque>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "quoted_text.h"
#include "real_text.h"

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTicksPerSecond = 10000;  // device clock: 100 us
constexpr double kDegree = kPi / 180;
// Longest integration sub-step: 1 ms keeps 1000 Hz streaming cheap and the
// midpoint rule far more accurate than any gyroscope.
constexpr std::uint64_t kSubStepTicks = 10;

class StillProfile : public MotionProfile {
  public:
    MotionState at(double) override { return {}; }
};

class ScriptedProfile : public MotionProfile {
  public:
    explicit ScriptedProfile(const std::vector<MotionSegment>& script) {
        if (script.empty()) throw std::invalid_argument("tracker_sim: empty motion script");
        double end = 0;
        for (const MotionSegment& s : script) {
            const double ticks = std::round(s.duration * kTicksPerSecond);
            if (!(ticks >= 1))
                throw std::invalid_argument("tracker_sim: script segment shorter than 100 us");
            end += ticks;
            pieces_.push_back({end, s});
        }
    }

    MotionState at(double ticks) override {
        const double period = pieces_.back().end;
        double r = std::fmod(ticks, period);
        if (r <= 0 && ticks > 0) r = period;  // a period's end belongs to its last segment
        for (const Piece& p : pieces_)
            if (r <= p.end) return {p.segment.angularVelocity, p.segment.linearAcceleration};
        return {};
    }

  private:
    struct Piece {
        double end;  // ticks from the script's start
        MotionSegment segment;
    };
    std::vector<Piece> pieces_;
};

// Pieces drawn from a seeded generator as time goes on. Every piece starts
// and ends at rest (sin^2 envelopes for rotations, one full sine period for
// accelerations, so the velocity returns to zero), keeping the rates smooth.
class RandomProfile : public MotionProfile {
  public:
    explicit RandomProfile(std::uint64_t seed) : rng_(seed) {}

    MotionState at(double ticks) override {
        while (pieces_.empty() || pieces_.back().end < ticks) append();
        while (pieces_.size() > 1 && pieces_.front().end < ticks - 5 * kTicksPerSecond)
            pieces_.pop_front();
        for (const Piece& p : pieces_) {
            if (ticks > p.end) continue;
            const double phase = std::max(0.0, (ticks - p.start) / (p.end - p.start));
            MotionState state;
            if (p.shape == Shape::Rotation) {
                const double s = std::sin(kPi * phase);
                state.angularVelocity = (s * s) * p.peak;
            } else if (p.shape == Shape::Push) {
                state.linearAcceleration = std::sin(2 * kPi * phase) * p.peak;
            }
            return state;
        }
        return {};
    }

  private:
    enum class Shape { Rest, Rotation, Push };
    struct Piece {
        double start, end;  // ticks
        Shape shape;
        Vec3 peak;  // rad/s (sensor frame) or m/s^2 (world frame)
    };

    // Uniform in [a, b), from the generator's bits alone so a seed gives the
    // same trajectory with any standard library.
    double uniform(double a, double b) {
        return a + (b - a) * static_cast<double>(rng_() >> 11) * 0x1.0p-53;
    }
    Vec3 randomUnit() {
        for (;;) {
            const Vec3 v{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const double n = norm(v);
            if (n > 0.1 && n <= 1) return (1 / n) * v;
        }
    }
    // Rotations cycle through the x, y and z axes and a random axis, so every
    // axis turns within a few pieces.
    Vec3 nextAxis() {
        const int which = axisCycle_++ % 4;
        const double sign = uniform(0, 1) < 0.5 ? -1 : 1;
        if (which == 3) return randomUnit();
        Vec3 axis{0, 0, 0};
        axis[static_cast<std::size_t>(which)] = sign;
        return axis;
    }

    void append() {
        const double start = pieces_.empty() ? 0 : pieces_.back().end;
        const double pick = uniform(0, 1);
        Piece p{start, start, Shape::Rest, {0, 0, 0}};
        double seconds;
        if (pick < 0.25) {  // rest
            seconds = uniform(0.3, 1.5);
        } else if (pick < 0.6) {  // slow rotation, peak 0.3..1.2 rad/s
            seconds = uniform(1.5, 4.0);
            p.shape = Shape::Rotation;
            p.peak = uniform(0.3, 1.2) * nextAxis();
        } else if (pick < 0.8) {  // fast rotation, peak 3..8 rad/s
            seconds = uniform(0.4, 1.0);
            p.shape = Shape::Rotation;
            p.peak = uniform(3.0, 8.0) * nextAxis();
        } else {  // linear acceleration, peak 1.5..4 m/s^2
            seconds = uniform(0.5, 1.5);
            p.shape = Shape::Push;
            p.peak = uniform(1.5, 4.0) * randomUnit();
        }
        p.end = start + std::round(seconds * kTicksPerSecond);
        pieces_.push_back(p);
    }

    std::mt19937_64 rng_;
    std::deque<Piece> pieces_;
    int axisCycle_ = 0;
};

// Another profile with oscillations added to its linear acceleration.
class OscillatingProfile : public MotionProfile {
  public:
    OscillatingProfile(std::unique_ptr<MotionProfile> base, std::vector<Oscillation> oscillations)
        : base_(std::move(base)), oscillations_(std::move(oscillations)) {
        for (const Oscillation& o : oscillations_)
            if (!(o.frequency > 0) || !((o.until - o.from) * o.frequency >= 1))
                throw std::invalid_argument(
                    "tracker_sim: an oscillation needs a frequency > 0 and a whole period before "
                    "its end");
    }

    MotionState at(double ticks) override {
        MotionState state = base_->at(ticks);
        const double t = ticks / kTicksPerSecond;
        for (const Oscillation& o : oscillations_) {
            const double periods = std::floor((o.until - o.from) * o.frequency);
            if (t <= o.from || (t - o.from) * o.frequency > periods) continue;
            state.linearAcceleration = state.linearAcceleration +
                                       std::cos(2 * kPi * o.frequency * (t - o.from)) * o.amplitude;
        }
        return state;
    }

  private:
    std::unique_ptr<MotionProfile> base_;
    std::vector<Oscillation> oscillations_;
};

std::unique_ptr<MotionProfile> makeBaseProfile(const Motion& motion) {
    switch (motion.kind) {
        case Motion::Kind::Scripted:
            return std::make_unique<ScriptedProfile>(motion.script);
        case Motion::Kind::Random:
            return std::make_unique<RandomProfile>(motion.seed);
        case Motion::Kind::Still:
            break;
    }
    return std::make_unique<StillProfile>();
}

}  // namespace

std::vector<MotionSegment> parseMotionScript(const std::string& text) {
    std::vector<MotionSegment> segments;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::vector<double> values;
        std::string field;
        while (fields >> field) {
            const std::optional<double> value = finiteReal(field);
            if (!value)
                throw std::invalid_argument("motion script line " + std::to_string(number) + ": " +
                                            quotedText(field) + " is not a number");
            values.push_back(*value);
        }
        if (values.empty()) continue;
        if ((values.size() != 4 && values.size() != 7) || values[0] < 1e-4)
            throw std::invalid_argument(
                "motion script line " + std::to_string(number) +
                ": expected DURATION_S WX WY WZ [AX AY AZ] with a duration of at least 0.0001 s");
        MotionSegment s;
        s.duration = values[0];
        s.angularVelocity = kDegree * Vec3{values[1], values[2], values[3]};
        if (values.size() == 7) s.linearAcceleration = {values[4], values[5], values[6]};
        segments.push_back(s);
    }
    if (segments.empty()) throw std::invalid_argument("motion script has no segment");
    return segments;
}

std::unique_ptr<MotionProfile> makeMotionProfile(const Motion& motion) {
    std::unique_ptr<MotionProfile> base = makeBaseProfile(motion);
    if (motion.oscillations.empty()) return base;
    return std::make_unique<OscillatingProfile>(std::move(base), motion.oscillations);
}

TruthIntegrator::TruthIntegrator(const Motion& motion)
    : profile_(makeMotionProfile(motion)), q_(normalized(motion.initial)) {
    state_ = profile_->at(0);
}

void TruthIntegrator::setMotion(const Motion& motion, bool resetOrientation) {
    profile_ = makeMotionProfile(motion);
    origin_ = tick_;
    if (resetOrientation) q_ = normalized(motion.initial);
    state_ = profile_->at(0);
}

MotionState TruthIntegrator::advanceTo(std::uint64_t tick) {
    while (tick_ < tick) {
        const std::uint64_t step = std::min(kSubStepTicks, tick - tick_);
        const double mid = static_cast<double>(tick_ - origin_) + 0.5 * static_cast<double>(step);
        const Vec3 w = profile_->at(mid).angularVelocity;
        const double T = static_cast<double>(step) / kTicksPerSecond;
        // q_{k+1} = exp(-T w / 2) (x) q_k: world vectors seen from a sensor
        // turning by +w appear to turn by -w.
        q_ = normalized(rotationQuat(-T * w) * q_);
        tick_ += step;
    }
    if (tick_ > origin_) state_ = profile_->at(static_cast<double>(tick_ - origin_));
    return state_;
}

}  // namespace sim
