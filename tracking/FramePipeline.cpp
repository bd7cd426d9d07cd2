#include "tracking/FramePipeline.h"

#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>

#include "platform/DialogCanvas.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Surface.h"
#include "tracking/EyeRegions.h"
#include "tracking/FaceDetection.h"
#include "tracking/FaceFollower.h"
#include "tracking/Mosaic.h"
#include "tracking/PupilFinder.h"

namespace pupiltrak {

struct PipelineScratch::Buffers {
  cv::Mat grey, small, mosaic, flipped, tileColour, tile;
  std::vector<cv::Rect> faces;
  PupilBuffers pupil;
  // Stand-ins for records a context leaves unset.
  FrameResults results;
  EyeRegions eyeRegions;
  PointHistory histories[2];
  FaceFollower faceFollower;
};

PipelineScratch::PipelineScratch() = default;
PipelineScratch::~PipelineScratch() = default;
PipelineScratch::PipelineScratch(const PipelineScratch&) {}
PipelineScratch& PipelineScratch::operator=(const PipelineScratch&) { return *this; }
PipelineScratch::PipelineScratch(PipelineScratch&&) noexcept = default;
PipelineScratch& PipelineScratch::operator=(PipelineScratch&&) noexcept = default;

PipelineScratch::Buffers& PipelineScratch::Get() {
  if (!buffers_) buffers_ = std::make_unique<Buffers>();
  return *buffers_;
}

namespace {

// Milliseconds between laps, added to one stage of the timings (when timings are kept).
class StageClock {
 public:
  explicit StageClock(StageTimings* timings) : timings_(timings) {
    if (timings_) {
      *timings_ = StageTimings{};
      start_ = last_ = cv::getTickCount();
    }
  }
  void Lap(double StageTimings::*stage) {
    if (!timings_) return;
    const int64_t now = cv::getTickCount();
    timings_->*stage += (now - last_) * 1000.0 / cv::getTickFrequency();
    last_ = now;
  }
  void Finish() {
    if (timings_) timings_->total = (cv::getTickCount() - start_) * 1000.0 / cv::getTickFrequency();
  }

 private:
  StageTimings* timings_;
  int64_t start_ = 0, last_ = 0;
};

PupilSettings ReadSettings(const TrackerState& st) {
  PupilSettings s;
  s.equalise1 = st.EqualizeHist1.load() != 0;
  s.equalise2 = st.EqualizeHist2.load() != 0;
  s.finder1Param1 = st.Finder1Param1.load();
  s.finder1Param2 = st.Finder1Param2.load();
  s.finder2Param1 = st.Finder2Param1.load();
  s.finder2Param2 = st.Finder2Param2.load();
  s.precise = st.PrecisePupils.load() != 0 || st.RobustTracking.load() != 0;
  return s;
}

// Finders, eye vector and tiles of one eye (0: eye region 1, 1: eye region 2).
void ProcessEye(const PipelineContext& ctx, int e, const cv::Mat& frameCopy, const cv::Rect& region,
                PointHistory& history, const PupilSettings& settings, PipelineScratch::Buffers& b,
                FrameResults& res, StageClock& clock) {
  PupilResult r;
  RunFinder1(frameCopy, region, history, settings, b.pupil, &r);
  clock.Lap(&StageTimings::finder1);
  RunFinder2(frameCopy, region, settings, b.pupil, &r);
  clock.Lap(&StageTimings::finder2);

  res.finder1Found[e] = r.finder1Found;
  if (r.finder1Found) res.filteredCentre[e] = IntPoint{r.sx, r.sy};
  const cv::Point2f centre(r.circle2[0], r.circle2[1]);
  if (r.finder2Found) {
    res.circleCentre[e] = FloatPoint{centre.x, centre.y};
    res.circleRadius[e] = r.circle2[2];
    res.brightSpot[e] = FloatPoint{r.brightSpot.x, r.brightSpot.y};
    if (e == 0) {
      res.dxL = r.dx;
      res.dyL = r.dy;
    } else {
      res.dxR = r.dx;
      res.dyR = r.dy;
    }
  }

  // The pupil zoom exists only when finder 1 found a circle and its window lay in the frame.
  const bool compose = ctx.composeMosaic;
  if (compose && r.windowValid) {
    MakePupilZoomTile(b.pupil.pupilZoom, r.finder2Found, r.brightSpot, centre, b.tileColour,
                      b.tile);
    PlaceTile(b.mosaic, kMosaicWidth, kMosaicHeight,
              e == 0 ? TilePlace::PupilZoom1 : TilePlace::PupilZoom2, b.tile);
  }
  if (r.finder2Found) {
    res.pupilFound[e] = true;
    res.pupilPos[e] = IntPoint{r.pupilX, r.pupilY};
  }
  if (compose && r.regionValid) {
    MakeEyeRegionTile(b.pupil.regionGrey, r.finder1Found, r.sx, r.sy, b.tileColour, b.tile);
    PlaceTile(b.mosaic, kMosaicWidth, kMosaicHeight,
              e == 0 ? TilePlace::EyeRegion1 : TilePlace::EyeRegion2, b.tile);
  }
  clock.Lap(&StageTimings::tiles);
}

// Calibration hand-off of one frame in which both pupils were found.
void HandOffSample(PipelineContext& ctx, TrackerState& st, const FrameResults& res) {
  PipelineHooks& hooks = ctx.hooks;
  if (hooks.appendSample) hooks.appendSample(res.dxL, res.dyL, res.dxR, res.dyR);
  if (!hooks.collectingSamples) return;
  const bool collecting = hooks.collectingSamples();
  st.CalibrationActive.store(collecting ? 1 : 0);
  if (collecting) return;
  if (hooks.fitGazeMapping) hooks.fitGazeMapping(st.CaptureFileName());
  if (hooks.showCharts) hooks.showCharts();
}

// Status panel and calibration panel: drawn, snapshot into the mosaic, painted in the dialog.
void PanelSnapshots(PipelineContext& ctx, TrackerState& st, PipelineScratch::Buffers& b,
                    FrameResults& res) {
  DialogCanvas* dialog = ctx.dialog;
  if (dialog)
    PanelRects(dialog->ClientRect(), kMosaicWidth, kMosaicHeight, &res.panelRect,
               &res.calibrationPanelRect);
  if (!st.SearchEyeRegions.load() || !st.EstimateGazeDirection.load()) return;

  QImage panel = surface::Make(kMosaicWidth / 2, kMosaicHeight / 2);
  if (ctx.hooks.drawStatusPanel) ctx.hooks.drawStatusPanel(panel);
  if (ctx.composeMosaic)
    PlaceTile(b.mosaic, kMosaicWidth, kMosaicHeight, TilePlace::StatusQuarter,
              BitmapToImage(panel));
  if (dialog) dialog->Blit(res.panelRect.left, res.panelRect.top, panel);

  if (ctx.hooks.calibrationPanelStep) ctx.hooks.calibrationPanelStep(panel);
  if (ctx.composeMosaic)
    PlaceTile(b.mosaic, kMosaicWidth, kMosaicHeight, TilePlace::CalibrationQuarter,
              BitmapToImage(panel));
  if (dialog) dialog->Blit(res.calibrationPanelRect.left, res.calibrationPanelRect.top, panel);
}

void Output(PipelineContext& ctx, const cv::Mat& mosaic, cv::VideoWriter* writer) {
  if (ctx.windows) ctx.windows->Show("Preview", mosaic);
  if (writer && writer->isOpened()) {
    try {
      writer->write(mosaic);
    } catch (const cv::Exception&) {
      // A failing encoder loses this video frame; tracking goes on.
    }
  }
  if (ctx.onMosaic) ctx.onMosaic(mosaic);
}

// Steps 3 to 9: face, eyes, hand-off, camera quarter, panels.
void DetectAndTrack(PipelineContext& ctx, TrackerState& st, PipelineScratch::Buffers& b,
                    FrameResults& res, cv::Mat& frameCopy, cv::Mat& cameraFrame,
                    const OverlayFont& font, const PreparedFace* prepared, StageClock& clock) {
  // 3: without a cascade nothing is detected or drawn.
  cv::CascadeClassifier* cascade = st.FaceCascade.get();
  if (!cascade || cascade->empty()) return;

  // 4-5
  MachineFacts& machine = ctx.machine ? *ctx.machine : Machine();
  const int64_t start = machine.TickCount();
  FaceBox face;
  bool found;
  if (prepared) {
    found = prepared->found;
    face = prepared->face;
  } else {
    FaceFollower& follower = ctx.faceFollower ? *ctx.faceFollower : b.faceFollower;
    found = follower.Find(*cascade, b.small, b.faces, &face, FaceSearchOf(st));
  }
  if (found) {
    res.faceFound = true;
    ScaleFaceRect(face, res.faceRect);
    DrawFaceRect(cameraFrame, res.faceRect);
  } else {
    DrawFaceNotFound(frameCopy, font);
  }
  clock.Lap(&StageTimings::face);

  // 6
  if (ctx.composeMosaic && (!st.EstimateGazeDirection.load() || !found))
    PlaceTile(b.mosaic, kMosaicWidth, kMosaicHeight, TilePlace::Whole, frameCopy);
  clock.Lap(&StageTimings::tiles);
  if (!found) return;

  // 7
  if (st.SearchEyeRegions.load()) {
    EyeRegions& regions = ctx.eyeRegions ? *ctx.eyeRegions : b.eyeRegions;
    regions.Compute(face.x1, face.y1, face.x2, face.y2, kFaceScale);
    regions.Draw(cameraFrame, cameraFrame.rows, cv::Scalar(255, 0, 0));
    clock.Lap(&StageTimings::tiles);
    if (st.EstimateGazeDirection.load()) {
      for (int e = 0; e < 2; ++e) {
        PointHistory& history = ctx.histories[e] ? *ctx.histories[e] : b.histories[e];
        ProcessEye(ctx, e, frameCopy, regions.FrameRect(e + 1), history, ReadSettings(st), b, res,
                   clock);
      }
    }
    const int64_t end = machine.TickCount();
    // A face found ahead of time counts with the time its detection took there.
    res.detectionMs =
        (end - start) * 1000.0 / machine.TickFrequency() + (prepared ? prepared->ms : 0.0);
    char text[256];
    std::snprintf(text, sizeof text, "Detection Time = %.0lf ms", res.detectionMs);
    res.detectionText = text;

    if (st.EstimateGazeDirection.load() && st.CalibrationActive.load() && res.pupilFound[0] &&
        res.pupilFound[1])
      HandOffSample(ctx, st, res);
  }

  // 8
  if (ctx.composeMosaic) PlaceCameraFrame(b.mosaic, cameraFrame, b.flipped);
  clock.Lap(&StageTimings::tiles);

  // 9
  PanelSnapshots(ctx, st, b, res);
  clock.Lap(&StageTimings::panels);
}

}  // namespace

void ProcessFrame(PipelineContext& ctx, cv::Mat& frameCopy, cv::Mat& cameraFrame,
                  const OverlayFont& font, cv::VideoWriter* writer) {
  if (!ctx.state) return;
  TrackerState& st = *ctx.state;
  PipelineScratch::Buffers& b = ctx.scratch.Get();
  FrameResults& res = ctx.results ? *ctx.results : b.results;
  StageClock clock(ctx.timings);

  // 1-2: found-flags, grey and small images, the mosaic (black where no tile lands).
  res.faceFound = false;
  res.pupilFound[0] = false;
  res.pupilFound[1] = false;
  res.gazeFound = false;
  b.mosaic.create(kMosaicHeight, kMosaicWidth, CV_8UC3);
  b.mosaic.setTo(cv::Scalar::all(0));
  const bool frameUsable = !frameCopy.empty() && frameCopy.type() == CV_8UC3;
  PreparedFace preparedFace;
  const bool prepared = frameUsable && ctx.takePreparedFace && ctx.takePreparedFace(&preparedFace);
  if (frameUsable && !prepared) MakeSmallGrey(frameCopy, b.grey, b.small);
  if (prepared && ctx.timings) ctx.timings->faceAhead = preparedFace.ms;
  clock.Lap(&StageTimings::convert);

  if (frameUsable) {
    try {
      DetectAndTrack(ctx, st, b, res, frameCopy, cameraFrame, font,
                     prepared ? &preparedFace : nullptr, clock);
    } catch (const cv::Exception&) {
      // Whatever the library rejects loses this frame's remaining steps, never the thread.
    }
  }

  // 10
  Output(ctx, b.mosaic, writer);
  clock.Lap(&StageTimings::output);
  clock.Finish();
}

}  // namespace pupiltrak
