// Tells real data packets from false ones. Packets carry no checksum, only
// their frame: 'A' ... 'Z'. Once the stream has lost its step (garbage, a
// dropped byte, a bad end), the search for the next 'A' meets 'A' bytes
// inside timestamps and values, and now and then the byte where such a false
// packet would end happens to be 'Z'. The screen judges every framed
// candidate by what else must hold for a real packet.
#pragma once

#include <cstdint>

#include "packet_decoder.h"

namespace Quorvane {

class PacketScreen {
  public:
    enum class Verdict { Accept, Reject, NeedMore };

    // Line noise between two packets that the screen looks past when it
    // looks for the packets that follow a candidate.
    static constexpr int kMaxNoise = 16;
    // The stream starts afresh: the next byte begins a packet, and no
    // timestamp is known yet.
    void restart();
    // A start byte was dropped (a packet with a bad end): the next 'A' may
    // lie inside its values. Line noise before a start byte loses nothing.
    void lostStep();

    // Judges the framed candidate at bytes[0] (bytes[0..available-1], with
    // available >= layout.length and the end byte already checked) and
    // remembers an accepted packet's timestamp. Refused are candidates whose
    // values are no readings (plausibleValues). Accepted are the rest when
    // their timestamp follows the last accepted one (timestampFollows), or
    // when they start a stream with nothing lost before them. Any other
    // candidate (the step lost before any packet was accepted, or a clock
    // that jumped: a long pause, a restarted device) is accepted only when
    // the two packets after it, each found at the first 'A' within kMaxNoise
    // bytes, continue its clock with steps that follow and agree within 2
    // ticks; until they are in, the verdict is NeedMore, unless `quiet` says
    // that no more bytes are coming for now: then what has arrived after the
    // candidate must not speak against it. A steady channel
    // repeats its value bytes from packet to packet, and a false start
    // inside them repeats with it, but its "timestamps" are float bits that
    // wander. Keeps nothing of the bytes.
    Verdict judge(const unsigned char* bytes, int available, const PacketLayout& layout,
                  int32_t channels, bool quiet = false);

  private:
    Verdict chainConfirms(const unsigned char* bytes, int available, int length, bool quiet) const;
    Verdict reject();

    bool anchored_ = false;  // last_ holds the timestamp of an accepted packet
    uint32_t last_ = 0;
    bool aligned_ = true;  // the next candidate starts where a packet ended
};

}  // namespace Quorvane
