#ifndef QIRMEL_CROP_SIDEPROFILE_H
#define QIRMEL_CROP_SIDEPROFILE_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace qirmel {

// How a picture changes across one side of an outline: its mean profile over the middle of the side's
// length, from some pixels inside to as many outside, in grey and in each of the picture's channels.
// Sides in the picture's pixels; only the middle is sampled, away from corners the outline may cut.
class SideProfile {
public:
    // picture: grey or B G R. Nothing where the profile leaves the picture.
    static std::optional<SideProfile> across(const cv::Mat &picture, const Quad &outline, int side, int reach);
    // A reach that tells a line drawn or printed along a side from an edge: past the line's width, short
    // of the next line beside it (a ruler's next mark, the next line of print).
    static int lineReach(const cv::Mat &picture);
    // The grey of a pixel of a grey or B G R picture, weighted as the profiles' grey is.
    static double greyAt(const cv::Mat &picture, int x, int y);

    // The mean grey from reach pixels inside to reach pixels outside.
    const std::vector<double> &grey() const { return m_grey; }
    // The mean grey of the profile's inner and outer thirds: the levels on either side.
    double inside() const { return m_inside[0]; }
    double outside() const { return m_outside[0]; }
    // The largest difference between the inner and the outer third in grey or in any of the picture's
    // channels: a step in brightness or in colour.
    double largestStep() const;
    // How far the middle third's grey reaches beyond the levels on both sides, darker or lighter: the
    // depth of a line along the side, 0 or less where there is none.
    double lineDepth() const;

private:
    explicit SideProfile(std::size_t length, int channels);

    std::vector<double> m_grey;
    // Grey first, then the picture's own channels where it has colour.
    std::vector<double> m_inside;
    std::vector<double> m_outside;
};

}  // namespace qirmel

#endif
