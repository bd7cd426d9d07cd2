#pragma once
// Precise pupils: a gradient-based eye centre for the coarse stage, and the sub-pixel pupil
// centre and glint that replace finder 2's whole-pixel circle and bright spot.

#include <opencv2/core.hpp>
#include <vector>

namespace pupiltrak {

// Working space of the gradient eye centre, kept from frame to frame.
struct EyeCentreScratch {
  cv::Mat input;  // the caller's eye region grey, when it has to be made
  cv::Mat small, blurred, gx, gy, objective, dropped;
  std::vector<cv::Vec4f> gradients;  // x, y, unit gradient x, unit gradient y
};

// Width to which an eye region is reduced before the gradient search.
inline constexpr int kEyeCentreWidth = 50;

// The eye centre of a grey eye region after Timm and Barth ("Accurate eye centre localisation
// by means of gradients", 2011): the point c that maximises
//   w(c) * mean over gradients g_i at x_i of max(0, d_i . g_i / |g_i|)^2,
// d_i = (x_i - c) / |x_i - c|, w(c) the inverted smoothed darkness at c, taking only gradients
// above mean + 0.3 standard deviations of the magnitudes. The region is first reduced to
// kEyeCentreWidth pixels wide; candidates, the middle half of the width, are
// scored on every second pixel, those above 90 % of the best that connect to the border of
// that part are dropped (hair, brows), and the best remaining one is searched around at every
// pixel. Returns false for an image too small or without gradients.
// centre: in the region's pixels.
bool GradientEyeCentre(const cv::Mat& grey, EyeCentreScratch& scratch, cv::Point2f* centre);

// The glint near a pupil, in the raw (not equalised) grey pupil window: from the brightest
// pixel near start, the blob of pixels brighter than halfway between its background (the
// median of the square ring 4 pixels around it) and its peak, grown by one pixel; the glint is
// the blob's centroid weighted by brightness above the background. false when the spot does
// not stand out (less than 8 grey levels). blob: the blob's pixels (window pixels), background
// its background level.
bool GlintCentroid(const cv::Mat& windowGrey, cv::Point start, cv::Point2f* glint,
                   std::vector<cv::Point>* blob, float* background);

// How far (window pixels) the fitted pupil may lie from the rough centre: finder 2's circle
// is good to a pixel or two; a fit farther off has followed the iris or a lid.
inline constexpr float kMaxRefinementShift = 2.0f;

// The pupil's dark disc in the raw grey pupil window, fitted to sub-pixel precision: rays from
// the rough centre find the pupil's dark-to-bright edge (where the profile crosses halfway
// between its levels on either side of the first steep rise) between max(1, 0.25 rough radii)
// and 1.6 rough radii; a least-squares circle is fitted to the edge points, points more than
// 2.5 median residuals (at least half a pixel) off are dropped and it is fitted again; the
// same is done once more around that circle, between 0.6 and 1.4 of its radius. glintBlob
// pixels are first filled with glintLevel so that the glint makes no edge. false when too few
// rays find an edge or a fit strays (more than kMaxRefinementShift from the rough centre, or
// the second radius a quarter off the first).
bool RefinePupilCentre(const cv::Mat& windowGrey, cv::Point2f roughCentre, float roughRadius,
                       const std::vector<cv::Point>& glintBlob, float glintLevel,
                       cv::Point2f* centre, float* radius);

// The iris's expected radius in frame pixels for an eye region of that width: irises are about
// 12 mm across, a fifth of the distance between the eyes, which the regions' width follows.
inline float IrisRadius(int regionWidth) { return 0.095f * static_cast<float>(regionWidth); }

// How far (in iris radii) finder 2's circle may lie from the gradient eye centre in an eye too
// small to refine and still be taken for the pupil with precise pupils: little more than the
// centre's own whole-pixel steps, since any dark blob of lashes there looks as round.
inline constexpr float kSmallEyeAgreement = 0.3f;
// The same in an eye large enough to refine: the pupil's circle may lie off the gradient centre
// by the centre's own steps (the region is searched at 50 pixels' width), not by an iris.
inline constexpr float kLargeEyeAgreement = 0.5f;

// The centre (window pixels, whole pixels) within reach of start of the darkest disc of 0.7 iris
// radii: the iris, a disc, wins over the thin dark lines of lashes and lid creases that pull the
// gradient centre toward them.
cv::Point2f DarkestDisc(const cv::Mat& windowGrey, cv::Point2f start, float irisRadius,
                        float reach);
// How far (iris radii) the darkest disc is looked for around the gradient eye centre.
inline constexpr float kDarkestDiscReach = 0.6f;

// Whether a dark disc of about the iris's radius lies at centre (window pixels) in the raw grey
// pupil window: the median of its inner part darker than the ring around it, as an open eye's
// iris is and a closed lid is not: by at least kDarkDiscContrast grey levels.
inline constexpr float kDarkDiscContrast = 10.0f;
bool DarkDisc(const cv::Mat& windowGrey, cv::Point2f centre, float irisRadius);

// The smallest iris (radius, frame pixels) whose pupil is refined: in smaller eyes, as a webcam
// shows them at an ordinary distance, the pupil is a pixel or two wide and the edge the fit
// finds is as often a lid's as the iris's.
inline constexpr float kSmallestRefinedIris = 6.0f;

// Pupil-window pixels (frame scale, pixel centres on integers) to the pupil zoom's, which is the
// window enlarged twice with bilinear interpolation, and back.
inline cv::Point2f WindowToZoom(cv::Point2f p) { return p * 2.0f + cv::Point2f(0.5f, 0.5f); }
inline cv::Point2f ZoomToWindow(cv::Point2f p) { return (p - cv::Point2f(0.5f, 0.5f)) * 0.5f; }

}  // namespace pupiltrak
