// Lines of a text read piece by piece, so that a file of any size is read in
// bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace Replay {

class LineReader {
  public:
    // source names the text in messages; a line longer than maxLine bytes
    // (without its line break) is an error rather than a reason to hold more.
    LineReader(std::streambuf& in, std::string source, std::size_t maxLine);

    // The next line without its "\n" or "\r\n", valid until the next call;
    // false at the end of the text. Throws Error naming the source for a read
    // error and a line that is too long.
    bool next(std::string_view& line);

    // Number of the line next() returned last, from 1.
    std::uint64_t lineNumber() const { return lineNumber_; }

    // Called whenever the reader is about to ask for more input, which may
    // wait: the moment to hand on what was made of the input so far.
    void beforeRead(std::function<void()> callback) { beforeRead_ = std::move(callback); }

  private:
    bool fill();  // reads more after end_; false at the end of the input

    std::streambuf& in_;
    std::string source_;
    std::size_t maxLine_;
    std::vector<char> buffer_;
    std::size_t start_ = 0;    // first byte not yet returned
    std::size_t scanned_ = 0;  // bytes from start_ on known to hold no line break
    std::size_t end_ = 0;      // end of the bytes read
    bool atEnd_ = false;
    std::uint64_t lineNumber_ = 0;
    std::function<void()> beforeRead_;
};

}  // namespace Replay
