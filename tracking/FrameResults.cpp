#include "tracking/FrameResults.h"

FrameResults& SharedFrameResults() {
  static FrameResults results;
  return results;
}

void ResetFrameResults() { SharedFrameResults() = FrameResults{}; }
