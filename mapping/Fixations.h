#pragma once
// Fixations from the gaze estimates by dispersion-threshold identification (I-DT, Salvucci &
// Goldberg 2000): a fixation is a run of estimates, at least the minimum duration long, whose
// dispersion (x range + y range) stays within the threshold. What lies between fixations is
// a saccade (or a blink). docs/GAZE.md describes it; the defaults suit a webcam's 30 frames per
// second and its noise.

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace pupiltrak {

struct FixationParameters {
  double dispersionDegrees = 2.0;  // x range + y range of a fixation's estimates
  double minDurationMs = 100;      // three frames at 30 fps
  // Frames without gaze (blinks, a lost pupil) for at most this long are bridged; a longer gap
  // ends the fixation.
  double maxGapMs = 75;
  // Two fixations in a row whose centres lie within this of each other and which are at most
  // mergeGapMs apart are one fixation broken by a noisy estimate or the slow drift of the
  // smoothed gaze (the dispersion threshold: a webcam's estimates wander that far).
  double mergeDegrees = 2.0;
  double mergeGapMs = 75;
};

struct Fixation {
  int number = 0;  // from 1, in the order the fixations end
  long startFrame = 0, endFrame = 0;
  double startMs = 0, durationMs = 0;
  double x = 0, y = 0;  // mean of its estimates, screen pixels
  double dispersionDegrees = 0;
  long samples = 0;  // estimates in it
  // Internal: the bounding box and sums, for merging.
  double minX = 0, maxX = 0, minY = 0, maxY = 0, sumX = 0, sumY = 0;
};

// One frame in which the gaze was estimated (or could not be: valid false).
struct GazeSampleAt {
  long frame = 0;
  double timeMs = 0;
  bool valid = false;
  double x = 0, y = 0;
};

// Online I-DT: fed frame by frame, it hands each fixation over once it can no longer grow or
// merge, so a stream can publish it as soon as it is known.
class FixationDetector {
 public:
  using Sink = std::function<void(const Fixation&)>;

  // screenWidth: the full-screen width the conversion from degrees assumes is 358 mm;
  // framePeriodMs: the time one frame stands for (a fixation lasts from its first frame's
  // start to its last frame's end).
  FixationDetector(FixationParameters parameters, int screenWidth, double framePeriodMs);

  void Add(const GazeSampleAt& sample, const Sink& sink);
  // The end of the gaze (tracking stopped, a calibration began): everything still open.
  void Finish(const Sink& sink);
  // Everything forgotten, numbering from 1 again.
  void Reset();

 private:
  double Dispersion() const;
  void StartWindowFixation();
  void EndFixation(const Sink& sink);
  void Emit(const Sink& sink);
  void ReleaseIfSettled(double now, const Sink& sink);

  FixationParameters p_;
  double dispersionPixels_, mergePixels_, periodMs_;
  int screenWidth_;
  std::deque<GazeSampleAt> window_;
  bool inFixation_ = false;
  Fixation current_;
  std::optional<Fixation> pending_;
  bool haveLastValid_ = false;
  GazeSampleAt lastValid_;
  int number_ = 0;
};

// The fixations of a whole gaze table, in order.
std::vector<Fixation> DetectFixations(const std::vector<GazeSampleAt>& samples,
                                      const FixationParameters& parameters, int screenWidth,
                                      double framePeriodMs);

// A detector shared by the frame thread (which feeds it) and the thread that stops tracking
// (which finishes it once frames no longer flow): guarded by its own lock.
class FixationTracker {
 public:
  void Configure(int screenWidth, double framePeriodMs,
                 FixationParameters parameters = FixationParameters());
  void Add(const GazeSampleAt& sample, const FixationDetector::Sink& sink);
  void Finish(const FixationDetector::Sink& sink);
  // Unconfigured: no fixations until the next Configure.
  void Reset();

 private:
  std::mutex mutex_;
  std::optional<FixationDetector> detector_;
};

}  // namespace pupiltrak
