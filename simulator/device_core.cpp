#include "device_core.h"

#include <utility>

namespace sim {

std::uint8_t checksum(const std::uint8_t* data, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum += data[i];
    return static_cast<std::uint8_t>(sum);
}

DeviceCore::DeviceCore(Identity identity, ParameterMemory memory, Faults faults)
    : identity_(std::move(identity)),
      memory_(std::move(memory)),
      faults_(faults),
      streaming_(memory_.autoStart()) {
    validateIdentity(identity_);
}

void DeviceCore::receive(const std::uint8_t* data, std::size_t size,
                         std::vector<std::uint8_t>& reply) {
    for (std::size_t i = 0; i < size; ++i) {
        if (auto command = parser_.feed(data[i])) handle(*command, reply);
    }
}

CommandStats DeviceCore::stats() const {
    CommandStats stats;
    stats.counts = counts_;
    stats.lastFrame = lastFrame_;
    stats.ignoredBytes = parser_.ignoredBytes() - ignoredBase_;
    return stats;
}

void DeviceCore::resetStats() {
    counts_.fill(0);
    lastFrame_.clear();
    ignoredBase_ = parser_.ignoredBytes();
}

void DeviceCore::handle(const Command& command, std::vector<std::uint8_t>& reply) {
    ++counts_[command.code];
    if (command.isFrame()) lastFrame_ = command.frame;

    switch (command.code) {
        case kStopStream:
            streaming_ = false;
            break;
        case kStartStream:
            streaming_ = true;
            break;
        case kSave:
            if (onSave_) onSave_(memory_);
            break;
        case kIdentify:
            if (!faults_.noId) {
                const auto id = identificationReply(identity_, {faults_.wrongId, faults_.shortId});
                reply.insert(reply.end(), id.begin(), id.end());
            }
            break;
        case kRead:
            handleRead(command, reply);
            break;
        default:
            handleModify(command, reply);
            break;
    }
}

void DeviceCore::handleRead(const Command& command, std::vector<std::uint8_t>& reply) {
    std::vector<std::uint8_t> data;
    const std::uint8_t status = memory_.read(command.bank, command.address, command.length, data);
    reply.push_back(faults_.status != 0 ? faults_.status : status);
    if (status != kStatusOk) return;  // a rejected read is answered by its status alone
    reply.insert(reply.end(), data.begin(), data.end());
    std::uint8_t sum = checksum(data.data(), data.size());
    if (faults_.badChecksum) ++sum;
    reply.push_back(sum);
}

void DeviceCore::handleModify(const Command& command, std::vector<std::uint8_t>& reply) {
    if (faults_.status != 0) {
        reply.push_back(faults_.status);
        return;
    }
    if (checksum(command.payload.data(), command.payload.size()) != command.checksum) {
        reply.push_back(kStatusBadChecksum);
        return;
    }
    const MemoryOp op = command.code == kWrite     ? MemoryOp::Write
                        : command.code == kSetBits ? MemoryOp::SetBits
                                                   : MemoryOp::ClearBits;
    reply.push_back(memory_.modify(op, command.bank, command.address, command.payload.data(),
                                   command.payload.size()));
}

}  // namespace sim
