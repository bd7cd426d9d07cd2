#pragma once
// The capture file's video writer. OpenCV on Linux has no compressor chooser of its own (codec
// code -1 fails there), so the chooser is ours: it offers the codecs that really write a
// readable AVI on this machine, found by writing a tiny file with each.

#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "platform/Prompts.h"

namespace cv {
class VideoWriter;
}

namespace pupiltrak {

// Codec code that asks the user for the compressor.
inline constexpr int kAskForCodec = -1;

// The codecs worth offering, in the chooser's order; fourcc 0 is uncompressed frames.
std::vector<VideoCodec> CandidateCodecs();

// Those of candidates that open a writer in dir, write a few frames and read back. Takes a
// fraction of a second per codec.
std::vector<VideoCodec> ProbeCodecs(const std::vector<VideoCodec>& candidates,
                                    const std::string& dir);

// CandidateCodecs() probed once in the temporary directory; later calls return the same list.
std::vector<VideoCodec> AvailableCodecs();

// A writer for path, or null when it does not open. fourcc kAskForCodec shows the chooser
// (UserPrompts().ChooseCodec) with AvailableCodecs(); cancelling gives null.
std::unique_ptr<cv::VideoWriter> OpenVideoWriter(const std::string& path, int fourcc,
                                                 double framesPerSecond, cv::Size frameSize,
                                                 bool colour);

}  // namespace pupiltrak
