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

}  // namespace pupiltrak
