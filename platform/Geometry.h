#pragma once

namespace pupiltrak {

// A rectangle as four integers: left, top, right, bottom (right and bottom exclusive).
struct IntRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const IntRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

}  // namespace pupiltrak
