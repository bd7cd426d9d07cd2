#pragma once
// The tracker's settings as they are at program start, written once: the tracker state starts
// and resets to them, the dialog's check boxes and sliders show them, and the tools take them
// as their defaults.

namespace pupiltrak {

inline constexpr int kDefaultSearchEyeRegions = 0;       // "Eye Regions"
inline constexpr int kDefaultEstimateGazeDirection = 0;  // "Gaze Direction"
inline constexpr int kDefaultEqualizeHist1 = 0;          // finder 1's input equalised
inline constexpr int kDefaultEqualizeHist2 = 1;          // finder 2's input equalised
inline constexpr int kDefaultFinder1Param1 = 1;          // finder 1: upper edge threshold
inline constexpr int kDefaultFinder1Param2 = 1;          // finder 1: accumulator threshold
inline constexpr int kDefaultFinder2Param1 = 60;         // finder 2: upper edge threshold
inline constexpr int kDefaultFinder2Param2 = 30;         // finder 2: accumulator threshold
inline constexpr int kDefaultPrecisePupils = 0;          // "Precise pupils" (menu)
// The smallest face searched for, as a share of the picture's height ("Smallest face", menu).
inline constexpr double kDefaultSmallestFace = 0.5;
inline constexpr double kSmallestFaceLimit = 0.2;  // smaller faces have eyes too few pixels wide
inline constexpr int kDefaultFollowFace = 0;       // "Follow the face" (menu)
inline constexpr int kDefaultRobustTracking = 0;   // "Robust tracking" (menu)
// What "Robust tracking" searches for: a face a quarter of the picture's height, as a person at
// an ordinary distance from a laptop's webcam shows.
inline constexpr double kRobustSmallestFace = 0.25;

// What the dialog's check boxes, sliders and menu options set, as one value: a tool fills it
// from its command line and copies it into a tracker state in one step.
struct TrackerSettings {
  int searchEyeRegions = kDefaultSearchEyeRegions;
  int estimateGazeDirection = kDefaultEstimateGazeDirection;
  int equalizeHist1 = kDefaultEqualizeHist1;
  int equalizeHist2 = kDefaultEqualizeHist2;
  int finder1Param1 = kDefaultFinder1Param1;
  int finder1Param2 = kDefaultFinder1Param2;
  int finder2Param1 = kDefaultFinder2Param1;
  int finder2Param2 = kDefaultFinder2Param2;
  int precisePupils = kDefaultPrecisePupils;
  double smallestFace = kDefaultSmallestFace;
  int followFace = kDefaultFollowFace;
  int robustTracking = kDefaultRobustTracking;
};

}  // namespace pupiltrak
