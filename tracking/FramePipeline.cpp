#include "tracking/FramePipeline.h"

void ProcessFrame(PipelineContext&, cv::Mat&, cv::Mat&, const OverlayFont&, cv::VideoWriter*) {}
