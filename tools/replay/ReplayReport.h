#pragma once
// What pupiltrak08-replay writes: the per-frame CSV rows and the closing summary.

#include <cstdio>
#include <string>
#include <vector>

#include "display/GazePictures.h"
#include "mapping/Fixations.h"
#include "tracking/FramePipeline.h"
#include "tracking/FrameResults.h"

namespace pupiltrak {

struct FrameRow {
  long frame = 0;
  double timeMs = 0;
  bool blink = false;
  bool detectionRenewed = false;  // detection time measured in this frame
  double frameMs = 0;  // work done on this frame, all stages (also any done ahead elsewhere)
  // The gaze estimate in screen pixels (none before a completed calibration or without a
  // mapping, and with one eye or none found).
  bool gazeFound = false;
  double gazeX = 0, gazeY = 0;
  // Where the user looks, when the session knows it (the demo's virtual user): the point and
  // the phase, the calibration target's index (0..8) or kAccuracyPhase; none: kNoPhase.
  bool hasTarget = false;
  double targetX = 0, targetY = 0;
  int phase = -1;
};

// withTargets: the demo's columns of where the user looks (target_x, target_y, phase).
std::string CsvHeader(bool withTargets = false);
// One CSV line (with its '\n') of the frame's results. Values of a stage that did not run
// in this frame are left empty, so stale values never look like fresh ones.
std::string CsvRow(const FrameRow& row, const FrameResults& r, bool gazeDirection,
                   bool withTargets = false);

// fixations.csv: its header, and one line (with its '\n') per fixation.
std::string FixationCsvHeader();
std::string FixationCsvRow(const Fixation& f);

struct ReplaySummary {
  long frames = 0;
  long faceFound = 0;
  long bothPupils = 0;
  long blinks = 0;
  std::vector<double> frameMs;
  // Kept only when asked for (--stages): the stage times of every frame, and the resident
  // memory after the 1000th frame, at the end and at its peak (kB; 0 when not measured).
  bool keepStages = false;
  std::vector<StageTimings> stages;
  long residentAfter1000Kb = 0, residentAtEndKb = 0, residentPeakKb = 0;

  void Add(const FrameRow& row, const FrameResults& r, const StageTimings& timings);
  // Median and 95th percentile of the per-frame time (0 without frames).
  double MedianMs() const;
  double Percentile95Ms() const;
  std::string Format(double wallSeconds) const;
  // The per-stage table and the memory lines (empty unless stages were kept).
  std::string FormatStages() const;
};

// Resident and peak resident memory of this process in kB (from /proc/self/status; 0 if unknown).
void ResidentMemoryKb(long* resident, long* peak);

// A file written under a temporary name and renamed into place only when complete, so an
// interrupted run never leaves a file that looks finished.
class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(std::string path);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  bool Open(std::string* error);
  bool Write(const std::string& text);
  // Flushes, closes and renames into place; false (with *error) if anything failed.
  bool Commit(std::string* error);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace pupiltrak
