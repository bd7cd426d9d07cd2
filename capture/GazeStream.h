#pragma once
// The live gaze stream to other programs: a "gaze" message for every processed frame, a
// "calibration" message when a fit completes, a "fixation" message when a fixation ends and an
// "accuracy" message at Stop Tracking, as
// JSON on a ZeroMQ publisher (docs/STREAM.md has the format). Off at program start.
//
// The dialog (GUI thread) switches the stream on and off while the frame thread publishes:
// the switch is an atomic read before any message is built, and the socket is only touched
// under the publisher's lock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/GazePublisher.h"

namespace pupiltrak {

struct FrameResults;
struct FrameRecord;
struct MappingFit;
struct AccuracySums;
struct GazeQualityFigures;
struct Fixation;
class DialogControls;

// What a gaze message carries besides the frame's results.
struct GazeFrameInfo {
  long frame = 0;               // frames processed since tracking started, from 0
  double monotonicSeconds = 0;  // steady clock when the frame's processing ended
  double wallSeconds = 0;       // Unix time of the same moment
  bool eyeRegions = false;      // the two options, which decide what was measured
  bool gazeDirection = false;
  bool calibrating = false;   // a calibration run is collecting samples
  bool accuracyTest = false;  // a calibration has completed in this run: the accuracy test
};

// The JSON bodies (compact, UTF-8).
std::string GazeMessageJson(const FrameResults& r, const GazeFrameInfo& info);
std::string CalibrationMessageJson(const MappingFit& fit, double monotonicSeconds,
                                   double wallSeconds);
std::string AccuracyMessageJson(const AccuracySums& sums, int screenWidth, double monotonicSeconds,
                                double wallSeconds);
// The same with the accuracy test's data-quality figures (and the settling count when on).
std::string AccuracyMessageJson(const AccuracySums& sums, int screenWidth,
                                const GazeQualityFigures& quality, double monotonicSeconds,
                                double wallSeconds);
std::string FixationMessageJson(const Fixation& fixation, double monotonicSeconds,
                                double wallSeconds);

// Seconds of the steady clock and of the wall clock, now.
double MonotonicSeconds();
double WallSeconds();

class GazeStream {
 public:
  // Binds endpoint and switches the stream on; false with the reason in *error when the
  // endpoint cannot be bound (the stream stays off).
  bool SwitchOn(const std::string& endpoint, std::string* error,
                int highWaterMark = GazePublisher::kDefaultHighWaterMark);
  // linger: how long messages still queued may go on being sent in the background.
  void SwitchOff(std::chrono::milliseconds linger = std::chrono::milliseconds(0));
  // Off, with the default dialog endpoint and no send timer, as at program start (no frame may
  // flow). The count of reported drops goes on with the publisher's.
  void Reset();
  bool On() const { return on_.load(); }

  // Each sends nothing while the stream is off; none waits for the network.
  void PublishFrame(const FrameRecord& record);
  void PublishCalibration(const MappingFit& fit);
  void PublishAccuracy(const AccuracySums& sums, int screenWidth);
  void PublishAccuracy(const AccuracySums& sums, int screenWidth,
                       const GazeQualityFigures& quality);
  // A "fixation" message when a fixation has ended.
  void PublishFixation(const Fixation& fixation);

  GazePublisher& Publisher() { return publisher_; }
  // Messages dropped since the last call (GUI thread).
  uint64_t TakeDroppedSinceLastReport();

  // The endpoint the dialog's "Stream gaze" binds (kDefaultGazeEndpoint unless changed).
  std::string DialogEndpoint() const;
  void SetDialogEndpoint(const std::string& endpoint);

  // Called with the frame-thread time of every gaze message (end of processing to the
  // message queued, in seconds); for the benchmark. Set while no frame flows.
  void SetSendTimer(void (*timer)(double seconds)) { sendTimer_ = timer; }

 private:
  void Send(const char* topic, const std::string& body);

  GazePublisher publisher_;
  std::atomic<bool> on_{false};
  mutable std::mutex endpointMutex_;
  std::string dialogEndpoint_ = kDefaultGazeEndpoint;
  void (*sendTimer_)(double) = nullptr;
  uint64_t droppedReported_ = 0;
};

// The dialog's "Stream gaze" item: on binds and logs "Streaming gaze to ENDPOINT" (a "Bug: "
// line when it cannot bind), off closes and logs "Stopped streaming gaze".
void StreamGazeCommand(GazeStream& stream, DialogControls& dialog, bool on);
// At Stop Tracking: one log line with the messages dropped since the last report, if any.
void ReportGazeStreamDrops(GazeStream& stream, DialogControls& dialog);

}  // namespace pupiltrak
