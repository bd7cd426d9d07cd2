#pragma once
// The two-stage pupil finder and the per-eye jump filter of finder 1's centres.

class PointHistory {
 public:
  // Returns the point to use: (x, y) or the mean of the previous ten.
  void Filter(int x, int y, int* outX, int* outY);
  void Reset();

  int entries[10][2] = {};
  int count = 0;
  int mean[2] = {0, 0};
  double deviation[2] = {0, 0};
};

// The two histories of the program (eye region 1, eye region 2).
PointHistory& SharedPointHistory(int eye);
// Empties both; called at every tracking start.
void ResetPointHistories();
