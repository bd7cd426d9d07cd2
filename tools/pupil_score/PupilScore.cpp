#include "PupilScore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

namespace pupiltrak {

namespace {

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ',')) {
    if (!cell.empty() && cell.back() == '\r') cell.pop_back();
    cells.push_back(cell);
  }
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

// A number written in the C locale, whatever the program's locale is.
bool Number(const std::string& text, double* v) {
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, *v);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(*v);
}

std::string At(const std::string& what, long line) {
  return what + " (line " + std::to_string(line) + ")";
}

}  // namespace

bool ReadEyeCentres(std::istream& in, std::map<long, EyeCentres>* eyes, std::string* error) {
  eyes->clear();
  std::string line;
  long number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (number == 1 && line.rfind("frame,", 0) == 0) continue;  // the header
    const std::vector<std::string> c = SplitCsv(line);
    double v[6];
    bool ok = c.size() == 6;
    for (size_t i = 0; ok && i < 6; ++i) ok = Number(c[i], &v[i]);
    if (!ok || v[0] < 0 || v[0] != std::floor(v[0]) || !(v[5] > 0)) {
      *error =
          At("an eye-centre line is not frame,left_x,left_y,right_x,right_y,iod with a "
             "frame number and a positive iod",
             number);
      return false;
    }
    (*eyes)[static_cast<long>(v[0])] = EyeCentres{v[1], v[2], v[3], v[4], v[5]};
  }
  if (eyes->empty()) {
    *error = "the eye-centre file has no annotated frame";
    return false;
  }
  return true;
}

bool ScorePupils(std::istream& frames, const std::map<long, EyeCentres>& eyes, PupilScore* score,
                 std::string* error) {
  *score = PupilScore{};
  std::string line;
  if (!std::getline(frames, line)) {
    *error = "the frames file is empty";
    return false;
  }
  const std::vector<std::string> header = SplitCsv(line);
  const auto column = [&](const char* name) {
    const auto it = std::find(header.begin(), header.end(), name);
    return it == header.end() ? -1 : static_cast<int>(it - header.begin());
  };
  const int cFrame = column("frame"), cFace = column("face_found"),
            cFound1 = column("pupil1_found"), cX1 = column("pupil1_x"), cY1 = column("pupil1_y"),
            cFound2 = column("pupil2_found"), cX2 = column("pupil2_x"), cY2 = column("pupil2_y");
  for (int c : {cFrame, cFace, cFound1, cX1, cY1, cFound2, cX2, cY2})
    if (c < 0) {
      *error =
          "the frames file has not the replay's columns (frame, face_found, pupil1_found, "
          "pupil1_x, ...)";
      return false;
    }

  long faces = 0, both = 0;
  std::vector<double> errors;
  long number = 1;
  while (std::getline(frames, line)) {
    ++number;
    if (line.empty() || line == "\r") continue;
    const std::vector<std::string> c = SplitCsv(line);
    double frame = 0;
    if (static_cast<int>(c.size()) < static_cast<int>(header.size()) ||
        !Number(c[cFrame], &frame)) {
      *error = At("a frames line has too few cells or no frame number", number);
      return false;
    }
    ++score->frames;
    const bool face = c[cFace] == "1";
    double p[4];
    const bool pupils = face && c[cFound1] == "1" && c[cFound2] == "1" && Number(c[cX1], &p[0]) &&
                        Number(c[cY1], &p[1]) && Number(c[cX2], &p[2]) && Number(c[cY2], &p[3]);
    faces += face;
    both += pupils;
    const auto it = eyes.find(static_cast<long>(frame));
    if (it == eyes.end()) continue;
    ++score->annotated;
    const EyeCentres& e = it->second;
    double worst = std::numeric_limits<double>::infinity();
    if (pupils)
      worst = std::max(std::hypot(p[0] - e.leftX, p[1] - e.leftY),
                       std::hypot(p[2] - e.rightX, p[3] - e.rightY)) /
              e.iod;
    errors.push_back(worst);
  }
  if (score->frames == 0) {
    *error = "the frames file has no frame";
    return false;
  }
  score->faceFoundPercent = 100.0 * faces / score->frames;
  score->bothPupilsPercent = 100.0 * both / score->frames;
  if (!errors.empty()) {
    const auto share = [&](double bound) {
      return 100.0 *
             std::count_if(errors.begin(), errors.end(), [&](double e) { return e <= bound; }) /
             errors.size();
    };
    score->within005 = share(0.05);
    score->within010 = share(0.10);
    score->within025 = share(0.25);
    std::sort(errors.begin(), errors.end());
    const size_t n = errors.size();
    score->medianError = n % 2 ? errors[n / 2] : 0.5 * (errors[n / 2 - 1] + errors[n / 2]);
  }
  return true;
}

std::string ScoreHeader() {
  return "input,frames,face_found_percent,both_pupils_percent,annotated,within_0.05_iod_percent,"
         "within_0.10_iod_percent,within_0.25_iod_percent,median_error_iod";
}

std::string ScoreRow(const std::string& input, const PupilScore& s) {
  char text[256];
  std::snprintf(text, sizeof text, ",%ld,%.1f,%.1f,%ld,%.1f,%.1f,%.1f,%.3f", s.frames,
                s.faceFoundPercent, s.bothPupilsPercent, s.annotated, s.within005, s.within010,
                s.within025, s.medianError);
  return input + text;
}

}  // namespace pupiltrak
