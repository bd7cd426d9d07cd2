#pragma once
// How well a replay's pupils lie on annotated eye centres: the replay's frames.csv against a
// CSV of eye centres (frame,left_x,left_y,right_x,right_y,iod; "left" is the eye on the
// picture's left, iod the distance between the two centres in pixels).

#include <istream>
#include <map>
#include <string>

namespace pupiltrak {

// One annotated frame.
struct EyeCentres {
  double leftX = 0, leftY = 0, rightX = 0, rightY = 0, iod = 0;
};

// What one replay scored. Shares are in percent; errors are the larger of the two eyes'
// distances from their centres, in units of the inter-eye distance; a frame without both
// pupils counts as missed at every bound.
struct PupilScore {
  long frames = 0;     // rows of frames.csv
  long annotated = 0;  // annotated frames that frames.csv has
  double faceFoundPercent = 0;
  double bothPupilsPercent = 0;
  double within005 = 0, within010 = 0, within025 = 0;  // of the annotated frames
  double medianError = 0;  // of the annotated frames; infinite when most lack a pupil
};

// Reads the annotations; false with *error set to a sentence naming the line at fault.
bool ReadEyeCentres(std::istream& in, std::map<long, EyeCentres>* eyes, std::string* error);

// Scores a replay's frames.csv (its header names the columns it has) against the annotations.
bool ScorePupils(std::istream& frames, const std::map<long, EyeCentres>& eyes, PupilScore* score,
                 std::string* error);

// The table's header and one row of it, as the command prints them.
std::string ScoreHeader();
std::string ScoreRow(const std::string& input, const PupilScore& score);

}  // namespace pupiltrak
