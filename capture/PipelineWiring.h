#pragma once
// The program's one pipeline context, wired to the shared records and stages.

#include "tracking/FramePipeline.h"

PipelineContext& SharedPipelineContext();
