#include "capture/GazeStream.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

#include "capture/FrameRecord.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/Fixations.h"
#include "mapping/GazeMapping.h"
#include "mapping/GazeQuality.h"
#include "platform/DialogControls.h"
#include "tracking/EyeVector.h"
#include "tracking/FrameResults.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

std::string Compact(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject Times(double monotonicSeconds, double wallSeconds) {
  QJsonObject o;
  o["time"] = monotonicSeconds;
  o["wall_time"] = wallSeconds;
  return o;
}

QJsonValue Function(const LinearFunction& f) {
  QJsonObject o;
  o["a"] = f.a;
  o["b"] = f.b;
  o["c"] = f.c;
  o["error"] = f.Error;
  return o;
}

// A number, or null when it has no value.
QJsonValue Number(double v) { return std::isfinite(v) ? QJsonValue(v) : QJsonValue(); }

}  // namespace

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string GazeMessageJson(const FrameResults& r, const GazeFrameInfo& info) {
  QJsonObject o = Times(info.monotonicSeconds, info.wallSeconds);
  o["frame"] = static_cast<qint64>(info.frame);
  QJsonObject face;
  face["found"] = r.faceFound;
  if (r.faceFound) {
    face["rect"] = QJsonArray{r.faceRect[0], r.faceRect[1], r.faceRect[2], r.faceRect[3]};
  } else {
    face["rect"] = QJsonValue();
  }
  o["face"] = face;
  // A pupil and its eye vector count only when they were measured in this frame: the results
  // keep the values of earlier frames otherwise.
  const bool measured = r.faceFound && info.eyeRegions && info.gazeDirection;
  QJsonArray pupils;
  for (int eye = 0; eye < 2; ++eye) {
    const bool found = measured && r.pupilFound[eye];
    QJsonObject pupil;
    pupil["found"] = found;
    pupil["pos"] =
        found ? QJsonValue(QJsonArray{r.pupilPos[eye].x, r.pupilPos[eye].y}) : QJsonValue();
    pupils.append(pupil);
  }
  o["pupils"] = pupils;
  const bool eye1 = measured && r.pupilFound[0];
  const bool eye2 = measured && r.pupilFound[1];
  o["dxL"] = eye1 ? QJsonValue(r.dxL) : QJsonValue();
  o["dyL"] = eye1 ? QJsonValue(r.dyL) : QJsonValue();
  o["dxR"] = eye2 ? QJsonValue(r.dxR) : QJsonValue();
  o["dyR"] = eye2 ? QJsonValue(r.dyR) : QJsonValue();
  o["blink"] = IsBlink(r, info.eyeRegions, info.gazeDirection);
  if (r.gazeFound) {
    o["gaze"] = QJsonArray{r.gazeX, r.gazeY};
  } else {
    o["gaze"] = QJsonValue();
  }
  o["calibrating"] = info.calibrating;
  o["accuracy_test"] = info.accuracyTest;
  return Compact(o);
}

std::string CalibrationMessageJson(const MappingFit& fit, double monotonicSeconds,
                                   double wallSeconds) {
  QJsonObject o = Times(monotonicSeconds, wallSeconds);
  o["GazeRX"] = Function(fit.mapping.GazeRX);
  o["GazeRY"] = Function(fit.mapping.GazeRY);
  o["GazeLX"] = Function(fit.mapping.GazeLX);
  o["GazeLY"] = Function(fit.mapping.GazeLY);
  o["right_fitted"] = fit.rightFitted;
  o["left_fitted"] = fit.leftFitted;
  return Compact(o);
}

std::string AccuracyMessageJson(const AccuracySums& sums, int screenWidth, double monotonicSeconds,
                                double wallSeconds) {
  QJsonObject o = Times(monotonicSeconds, wallSeconds);
  o["count"] = sums.count;
  o["screen_width"] = screenWidth;
  // The protocol's three figures; null where the protocol says "not measured".
  double pixels = sums.count > 0 ? std::sqrt(sums.sum / sums.count) : std::nan("");
  double millimeters = std::nan(""), degrees = std::nan("");
  if (sums.count > 0 && screenWidth > 0) {
    millimeters = PixelsToMillimetres(pixels, screenWidth);
    degrees = MillimetresToDegrees(millimeters);
  }
  o["pixels"] = Number(pixels);
  o["millimeters"] = Number(millimeters);
  o["degrees"] = Number(degrees);
  return Compact(o);
}

std::string AccuracyMessageJson(const AccuracySums& sums, int screenWidth,
                                const GazeQualityFigures& quality, double monotonicSeconds,
                                double wallSeconds) {
  QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(AccuracyMessageJson(
                                              sums, screenWidth, monotonicSeconds, wallSeconds)))
                      .object();
  QJsonObject q;
  q["frames"] = static_cast<qint64>(quality.frames);
  q["with_gaze"] = static_cast<qint64>(quality.withGaze);
  q["targets"] = static_cast<qint64>(quality.targets);
  q["accuracy_deg"] = Number(quality.accuracyDegrees);
  q["precision_rms_deg"] = Number(quality.precisionRmsDegrees);
  q["precision_sd_deg"] = Number(quality.precisionSdDegrees);
  q["data_loss_percent"] = Number(quality.dataLossPercent);
  o["quality"] = q;
  // Settling on: how many estimates the figures above leave out.
  if (sums.settling) o["left_out"] = sums.leftOut;
  return Compact(o);
}

std::string FixationMessageJson(const Fixation& f, double monotonicSeconds, double wallSeconds) {
  QJsonObject o = Times(monotonicSeconds, wallSeconds);
  o["number"] = f.number;
  o["start_frame"] = static_cast<qint64>(f.startFrame);
  o["end_frame"] = static_cast<qint64>(f.endFrame);
  o["start_ms"] = f.startMs;
  o["duration_ms"] = f.durationMs;
  o["x"] = f.x;
  o["y"] = f.y;
  o["dispersion_deg"] = Number(f.dispersionDegrees);
  return Compact(o);
}

bool GazeStream::SwitchOn(const std::string& endpoint, std::string* error, int highWaterMark) {
  on_ = false;
  if (!publisher_.Open(endpoint, error, highWaterMark)) return false;
  on_ = true;
  return true;
}

void GazeStream::SwitchOff(std::chrono::milliseconds linger) {
  on_ = false;
  publisher_.Close(linger);
}

void GazeStream::Send(const char* topic, const std::string& body) { publisher_.Send(topic, body); }

void GazeStream::PublishFrame(const FrameRecord& record) {
  if (!On()) return;
  GazeFrameInfo info;
  info.monotonicSeconds = MonotonicSeconds();
  info.wallSeconds = WallSeconds();
  info.frame = record.frame;
  info.eyeRegions = record.eyeRegions;
  info.gazeDirection = record.gazeDirection;
  info.calibrating = record.calibrating;
  info.accuracyTest = record.accuracyTest;
  Send("gaze", GazeMessageJson(*record.results, info));
  if (sendTimer_) sendTimer_(MonotonicSeconds() - info.monotonicSeconds);
}

void GazeStream::PublishCalibration(const MappingFit& fit) {
  if (!On()) return;
  Send("calibration", CalibrationMessageJson(fit, MonotonicSeconds(), WallSeconds()));
}

void GazeStream::PublishAccuracy(const AccuracySums& sums, int screenWidth) {
  if (!On()) return;
  Send("accuracy", AccuracyMessageJson(sums, screenWidth, MonotonicSeconds(), WallSeconds()));
}

void GazeStream::PublishAccuracy(const AccuracySums& sums, int screenWidth,
                                 const GazeQualityFigures& quality) {
  if (!On()) return;
  Send("accuracy",
       AccuracyMessageJson(sums, screenWidth, quality, MonotonicSeconds(), WallSeconds()));
}

void GazeStream::PublishFixation(const Fixation& fixation) {
  if (!On()) return;
  Send("fixation", FixationMessageJson(fixation, MonotonicSeconds(), WallSeconds()));
}

void GazeStream::Reset() {
  SwitchOff();
  SetDialogEndpoint(kDefaultGazeEndpoint);
  sendTimer_ = nullptr;
}

uint64_t GazeStream::TakeDroppedSinceLastReport() {
  const uint64_t dropped = publisher_.Dropped();
  const uint64_t since = dropped - droppedReported_;
  droppedReported_ = dropped;
  return since;
}

std::string GazeStream::DialogEndpoint() const {
  std::lock_guard<std::mutex> lock(endpointMutex_);
  return dialogEndpoint_;
}

void GazeStream::SetDialogEndpoint(const std::string& endpoint) {
  std::lock_guard<std::mutex> lock(endpointMutex_);
  dialogEndpoint_ = endpoint;
}

void StreamGazeCommand(GazeStream& stream, DialogControls& dialog, bool on) {
  if (!on) {
    stream.SwitchOff();
    dialog.AddLogLine("Stopped streaming gaze");
    return;
  }
  const std::string endpoint = stream.DialogEndpoint();
  std::string error;
  if (stream.SwitchOn(endpoint, &error))
    dialog.AddLogLine("Streaming gaze to " + stream.Publisher().BoundEndpoint());
  else
    dialog.AddBugLine("Cannot stream gaze to " + endpoint + ": " + error);
}

void ReportGazeStreamDrops(GazeStream& stream, DialogControls& dialog) {
  const uint64_t dropped = stream.TakeDroppedSinceLastReport();
  if (dropped > 0)
    dialog.AddLogLine("Gaze stream: " + std::to_string(dropped) +
                      " messages dropped (a subscriber too slow)");
}

}  // namespace pupiltrak
