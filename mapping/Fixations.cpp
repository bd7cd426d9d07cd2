#include "mapping/Fixations.h"

#include <algorithm>
#include <cmath>

#include "mapping/AccuracyMeasures.h"

namespace pupiltrak {

namespace {

void Include(Fixation& f, const GazeSampleAt& s) {
  if (f.samples == 0) {
    f.minX = f.maxX = s.x;
    f.minY = f.maxY = s.y;
    f.startFrame = s.frame;
    f.startMs = s.timeMs;
  }
  f.minX = std::min(f.minX, s.x);
  f.maxX = std::max(f.maxX, s.x);
  f.minY = std::min(f.minY, s.y);
  f.maxY = std::max(f.maxY, s.y);
  f.sumX += s.x;
  f.sumY += s.y;
  ++f.samples;
  f.endFrame = s.frame;
}

double BoxDispersion(const Fixation& f) { return (f.maxX - f.minX) + (f.maxY - f.minY); }

}  // namespace

FixationDetector::FixationDetector(FixationParameters parameters, int screenWidth,
                                   double framePeriodMs)
    : p_(parameters),
      dispersionPixels_(DegreesToPixels(parameters.dispersionDegrees, screenWidth)),
      mergePixels_(DegreesToPixels(parameters.mergeDegrees, screenWidth)),
      periodMs_(framePeriodMs),
      screenWidth_(screenWidth) {}

double FixationDetector::Dispersion() const {
  Fixation box;
  for (const GazeSampleAt& s : window_) Include(box, s);
  return BoxDispersion(box);
}

void FixationDetector::StartWindowFixation() {
  inFixation_ = true;
  current_ = Fixation();
  for (const GazeSampleAt& s : window_) Include(current_, s);
}

void FixationDetector::EndFixation(const Sink& sink) {
  inFixation_ = false;
  Fixation f = current_;
  const double endMs = window_.empty() ? f.startMs : window_.back().timeMs;
  f.durationMs = endMs - f.startMs + periodMs_;
  window_.clear();
  if (pending_) {
    const double pendingEnd = pending_->startMs + pending_->durationMs;
    const double gap = f.startMs - pendingEnd;
    const double apart =
        PointDistance(pending_->sumX / pending_->samples, pending_->sumY / pending_->samples,
                      f.sumX / f.samples, f.sumY / f.samples);
    if (apart <= mergePixels_ && gap <= p_.mergeGapMs + 1e-9) {
      Fixation& m = *pending_;
      m.minX = std::min(m.minX, f.minX);
      m.maxX = std::max(m.maxX, f.maxX);
      m.minY = std::min(m.minY, f.minY);
      m.maxY = std::max(m.maxY, f.maxY);
      m.sumX += f.sumX;
      m.sumY += f.sumY;
      m.samples += f.samples;
      m.endFrame = f.endFrame;
      m.durationMs = endMs + periodMs_ - m.startMs;
      return;
    }
    Emit(sink);
  }
  pending_ = f;
}

void FixationDetector::Emit(const Sink& sink) {
  if (!pending_) return;
  Fixation f = *pending_;
  pending_.reset();
  f.number = ++number_;
  f.x = f.sumX / static_cast<double>(f.samples);
  f.y = f.sumY / static_cast<double>(f.samples);
  f.dispersionDegrees = PixelsToDegrees(BoxDispersion(f), screenWidth_);
  if (sink) sink(f);
}

void FixationDetector::ReleaseIfSettled(double earliestNextStart, const Sink& sink) {
  if (!pending_) return;
  // The fixation under way keeps its mean within the dispersion of its first estimates: once
  // those lie too far from the one before, the two can never merge.
  if (inFixation_ &&
      PointDistance(pending_->sumX / pending_->samples, pending_->sumY / pending_->samples,
                    current_.sumX / current_.samples,
                    current_.sumY / current_.samples) > mergePixels_ + dispersionPixels_) {
    Emit(sink);
    return;
  }
  const double pendingEnd = pending_->startMs + pending_->durationMs;
  if (earliestNextStart - pendingEnd > p_.mergeGapMs + 1e-9) Emit(sink);
}

void FixationDetector::Add(const GazeSampleAt& s, const Sink& sink) {
  // Time without gaze since the last estimate: the frames missing so far.
  const double missing =
      haveLastValid_ ? s.timeMs - lastValid_.timeMs - (s.valid ? periodMs_ : 0) : 0;
  if (haveLastValid_ && missing > p_.maxGapMs + 1e-9) {
    // Too long to be a blink inside a fixation: whatever was open ends with its last estimate.
    if (inFixation_) EndFixation(sink);
    window_.clear();
  }
  if (!s.valid) {
    ReleaseIfSettled(window_.empty() ? s.timeMs : window_.front().timeMs, sink);
    return;
  }
  haveLastValid_ = true;
  lastValid_ = s;
  if (inFixation_) {
    Fixation grown = current_;
    Include(grown, s);
    if (BoxDispersion(grown) <= dispersionPixels_) {
      current_ = grown;
      window_.push_back(s);
    } else {
      EndFixation(sink);
      window_.push_back(s);
    }
  } else {
    window_.push_back(s);
  }
  if (!inFixation_) {
    // Slide the window over the minimum duration until its estimates lie close enough.
    while (!window_.empty()) {
      const double duration = window_.back().timeMs - window_.front().timeMs + periodMs_;
      if (duration + 1e-9 < p_.minDurationMs) break;
      if (Dispersion() <= dispersionPixels_) {
        StartWindowFixation();
        break;
      }
      window_.pop_front();
    }
  }
  ReleaseIfSettled(window_.empty() ? s.timeMs : window_.front().timeMs, sink);
}

void FixationDetector::Finish(const Sink& sink) {
  if (inFixation_) EndFixation(sink);
  Emit(sink);
  window_.clear();
  haveLastValid_ = false;
}

void FixationDetector::Reset() {
  window_.clear();
  inFixation_ = false;
  pending_.reset();
  haveLastValid_ = false;
  number_ = 0;
}

std::vector<Fixation> DetectFixations(const std::vector<GazeSampleAt>& samples,
                                      const FixationParameters& parameters, int screenWidth,
                                      double framePeriodMs) {
  std::vector<Fixation> found;
  FixationDetector detector(parameters, screenWidth, framePeriodMs);
  auto sink = [&found](const Fixation& f) { found.push_back(f); };
  for (const GazeSampleAt& s : samples) detector.Add(s, sink);
  detector.Finish(sink);
  return found;
}

void FixationTracker::Configure(int screenWidth, double framePeriodMs,
                                FixationParameters parameters) {
  std::lock_guard<std::mutex> lock(mutex_);
  detector_.emplace(parameters, screenWidth, framePeriodMs);
}

void FixationTracker::Add(const GazeSampleAt& sample, const FixationDetector::Sink& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (detector_) detector_->Add(sample, sink);
}

void FixationTracker::Finish(const FixationDetector::Sink& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (detector_) detector_->Finish(sink);
}

void FixationTracker::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  detector_.reset();
}

}  // namespace pupiltrak
