#pragma once

// Where a writer's text goes when it is not built up whole: the writer
// hands over one piece at a time, each about kTextSinkPiece bytes, in order.
// A sink answers false to stop the writer; it is then handed nothing more.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace fw::plist {

using TextSink = std::function<bool(std::string_view piece)>;

inline constexpr std::size_t kTextSinkPiece = 64 * 1024;

// The text a writer builds: all of it in `out_` without a sink; with one,
// `out_` is handed over whenever it has grown past a piece (spill(), called
// between elements) and at the end (finish()), and cleared each time.
class TextSinkBuffer {
 public:
  TextSinkBuffer(std::string& out, const TextSink* sink) : out_(out), sink_(sink) {}

  // False once the sink has said stop.
  [[nodiscard]] bool ok() const { return ok_; }

  bool spill() {
    if (sink_ != nullptr && out_.size() >= kTextSinkPiece) {
      if (ok_) ok_ = (*sink_)(out_);
      out_.clear();
    }
    return ok_;
  }

  bool finish() {
    if (sink_ != nullptr && ok_ && !out_.empty()) ok_ = (*sink_)(out_);
    if (sink_ != nullptr) out_.clear();
    return ok_;
  }

 protected:
  std::string& out_;

 private:
  const TextSink* sink_;
  bool ok_ = true;
};

}  // namespace fw::plist
