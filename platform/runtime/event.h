#pragma once

// An input event, as delivered to a view or window. Its description is what
// a log line shows, e.g.
//   u"MouseEntered at (12.5, 40) window 3"

#include <cstdint>
#include <string>

#include "platform/runtime/object.h"

namespace fw {

class Event : public Object {
 public:
  enum class Type : std::uint8_t {
    MouseEntered,
    MouseExited,
    MouseMoved,
    LeftMouseDown,
    LeftMouseUp
  };

  Event(Type type, double x, double y, std::int64_t windowNumber)
      : type_(type), x_(x), y_(y), windowNumber_(windowNumber) {}

  [[nodiscard]] Type type() const { return type_; }
  [[nodiscard]] double x() const { return x_; }
  [[nodiscard]] double y() const { return y_; }
  [[nodiscard]] std::int64_t windowNumber() const { return windowNumber_; }
  [[nodiscard]] std::u16string description() const override;

 private:
  Type type_;
  double x_;
  double y_;
  std::int64_t windowNumber_;
};

}  // namespace fw
