#include "truth_log.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "quoted_text.h"

namespace sim {

TruthLog::TruthLog(const std::string& csvPath, std::uint64_t historyTicks)
    : historyTicks_(historyTicks) {
    if (csvPath.empty()) return;
    const std::string name = "tracker_sim: truth file " + quotedText(csvPath, 1024);
    // Opening a FIFO for writing would wait for a reader, before the
    // simulator even serves; anything but a regular file is refused.
    struct stat st {};
    if (::stat(csvPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw std::runtime_error(
            name + (S_ISDIR(st.st_mode) ? ": is a directory" : ": is not a regular file"));
    csv_.open(csvPath, std::ios::trunc);
    if (!csv_) throw std::runtime_error(name + ": cannot create it: " + std::strerror(errno));
    csv_.precision(9);
    csv_ << "timestamp,qw,qx,qy,qz\n";
    csv_.flush();
}

void TruthLog::record(std::uint32_t timestamp, std::uint64_t tick, const Quat& orientation) {
    const Quat q = canonical(orientation);
    {
        std::lock_guard lock(mutex_);
        entries_.push_back({tick, timestamp, q});
        while (tick - entries_.front().tick > historyTicks_) entries_.pop_front();
    }
    if (csv_.is_open()) {
        csv_ << timestamp << ',' << q.w << ',' << q.x << ',' << q.y << ',' << q.z << '\n';
        dirty_ = true;
    }
}

void TruthLog::flush() {
    if (dirty_) csv_.flush();
    dirty_ = false;
}

std::optional<Quat> TruthLog::at(std::uint32_t timestamp) const {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) return std::nullopt;
    // Unwrap through the newest entry: how far back timestamp lies.
    const Entry& newest = entries_.back();
    const std::uint64_t back = static_cast<std::uint32_t>(newest.timestamp - timestamp);
    if (back > newest.tick) return std::nullopt;
    const std::uint64_t tick = newest.tick - back;
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), tick,
                                     [](const Entry& e, std::uint64_t t) { return e.tick < t; });
    if (it == entries_.end() || it->tick != tick) return std::nullopt;
    return it->q;
}

}  // namespace sim
