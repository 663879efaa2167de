#include "packet_screen.h"

#include <cstring>

namespace Quorvane {
namespace {

constexpr int kFound = 0;
constexpr int kNone = -1;
constexpr int kUndecided = -2;

// Offset of the first start byte in bytes[from .. from + kMaxNoise] into
// *at: kFound, kNone when there is none, kUndecided while those bytes have
// not all arrived.
int nextStart(const unsigned char* bytes, int available, int from, int* at) {
    const int end = from + PacketScreen::kMaxNoise + 1;
    const int searched = (available < end ? available : end) - from;
    if (searched > 0) {
        const void* hit = std::memchr(bytes + from, kPacketStart, static_cast<size_t>(searched));
        if (hit) {
            *at = static_cast<int>(static_cast<const unsigned char*>(hit) - bytes);
            return kFound;
        }
    }
    return available >= end ? kNone : kUndecided;
}

}  // namespace

void PacketScreen::restart() {
    anchored_ = false;
    aligned_ = true;
}

void PacketScreen::lostStep() {
    aligned_ = false;
}

PacketScreen::Verdict PacketScreen::reject() {
    aligned_ = false;  // the caller drops the start byte
    return Verdict::Reject;
}

PacketScreen::Verdict PacketScreen::judge(const unsigned char* bytes, int available,
                                          const PacketLayout& layout, int32_t channels,
                                          bool quiet) {
    if (!plausibleValues(bytes, layout, channels)) return reject();
    const uint32_t timestamp = packetTimestamp(bytes);
    const bool follows = anchored_ ? timestampFollows(last_, timestamp) : aligned_;
    if (!follows) {
        const Verdict chain = chainConfirms(bytes, available, layout.length, quiet);
        if (chain == Verdict::Reject) return reject();
        if (chain == Verdict::NeedMore) return chain;
    }
    anchored_ = true;
    last_ = timestamp;
    aligned_ = true;
    return Verdict::Accept;
}

PacketScreen::Verdict PacketScreen::chainConfirms(const unsigned char* bytes, int available,
                                                  int length, bool quiet) const {
    // On a quiet line, the packets that have arrived after the candidate
    // must continue its clock; nothing more is asked.
    const Verdict incomplete = quiet ? Verdict::Accept : Verdict::NeedMore;
    uint32_t stamps[3] = {packetTimestamp(bytes), 0, 0};
    int at = 0;
    for (int n = 1; n < 3; ++n) {
        const int found = nextStart(bytes, available, at + length, &at);
        if (found == kNone) return Verdict::Reject;
        if (found == kUndecided || at + 5 > available) return incomplete;
        stamps[n] = packetTimestamp(bytes + at);
        if (!timestampFollows(stamps[n - 1], stamps[n])) return Verdict::Reject;
    }
    const uint32_t step1 = stamps[1] - stamps[0];
    const uint32_t step2 = stamps[2] - stamps[1];
    const uint32_t apart = step1 > step2 ? step1 - step2 : step2 - step1;
    return apart <= 2 ? Verdict::Accept : Verdict::Reject;
}

}  // namespace Quorvane
