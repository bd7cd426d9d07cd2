#include "tracking/PupilFinder.h"

void PointHistory::Filter(int x, int y, int* outX, int* outY) {
  *outX = x;
  *outY = y;
}

void PointHistory::Reset() { *this = PointHistory{}; }

PointHistory& SharedPointHistory(int eye) {
  static PointHistory histories[2];
  return histories[eye == 2 ? 1 : 0];
}

void ResetPointHistories() {
  SharedPointHistory(1).Reset();
  SharedPointHistory(2).Reset();
}
