#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "replay_error.h"

namespace Replay {
namespace {

constexpr std::size_t kChunk = 1 << 16;  // bytes asked for at a time, at most

}  // namespace

LineReader::LineReader(std::streambuf& in, std::string source, std::size_t maxLine)
    : in_(in), source_(std::move(source)), maxLine_(maxLine), buffer_(kChunk) {}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const char* begin = buffer_.data() + start_;
        const char* from = begin + scanned_;
        const char* to = buffer_.data() + end_;
        const char* lineEnd = std::find(from, to, '\n');
        const bool complete = lineEnd != to;
        if (!complete) scanned_ = end_ - start_;
        // "\r\n" counts as the line break, so a line may hold one byte more.
        if (static_cast<std::size_t>(lineEnd - begin) > maxLine_ + 1 ||
            (static_cast<std::size_t>(lineEnd - begin) == maxLine_ + 1 && lineEnd[-1] != '\r'))
            throw Error(source_ + ":" + std::to_string(lineNumber_ + 1) + ": line longer than " +
                        std::to_string(maxLine_) + " bytes");
        if (complete || atEnd_) {
            if (!complete && begin == to) return false;
            line = std::string_view(begin, static_cast<std::size_t>(lineEnd - begin));
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            start_ = static_cast<std::size_t>(lineEnd - buffer_.data()) + (complete ? 1 : 0);
            scanned_ = 0;
            ++lineNumber_;
            return true;
        }
        atEnd_ = !fill();
    }
}

bool LineReader::fill() {
    // Keep only the unfinished line, at the front, and make room behind it.
    std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(start_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    end_ -= start_;
    start_ = 0;
    if (buffer_.size() - end_ < kChunk) buffer_.resize(end_ + kChunk);

    if (beforeRead_) beforeRead_();
    errno = 0;
    try {
        // sgetc waits for input once; in_avail then tells what that read
        // brought, so a pipe's rows are taken as they come.
        if (in_.sgetc() == std::streambuf::traits_type::eof()) return false;
        const std::streamsize waiting = std::max<std::streamsize>(in_.in_avail(), 1);
        const auto n = static_cast<std::size_t>(
            in_.sgetn(buffer_.data() + end_,
                      std::min<std::streamsize>(waiting, static_cast<std::streamsize>(kChunk))));
        end_ += n;
        return true;
    } catch (const std::exception& e) {
        // File buffers report a failed read by throwing; it must not pass for
        // the end of the input.
        throw Error(source_ + ": read error after line " + std::to_string(lineNumber_) + ": " +
                    (errno != 0 ? std::strerror(errno) : e.what()));
    }
}

}  // namespace Replay
