// Scenes made of the user's own photos.
#ifndef QIRMEL_PHOTOSCENE_H
#define QIRMEL_PHOTOSCENE_H

#include "source/scenescript.h"

#include <string>
#include <vector>

namespace qirmel {

// Shows JPEG photos one after the other (or one photo for good), as stored: an orientation tag is not
// applied, as a camera would not apply one either.
class PhotoScene : public SceneScript {
public:
    explicit PhotoScene(std::vector<std::string> photos);

    int stillCount() const override;
    // Whether the photo is a JPEG that can be read, from its headers.
    bool canRender(int index) const override;

    // The size of the JPEG image in the file at path; false when it is no JPEG that can be read.
    static bool readSize(const std::string &path, Size &size);

    // The JPEG files (*.jpg, *.jpeg in any case) directly in folder, as full paths in name order.
    static std::vector<std::string> listFolder(const std::string &folder);

    // The sizes a camera showing a photo of this size lists: the photo's own size (halved first while
    // a side exceeds 8192), then its halves while they stay at least 320 pixels wide, four at most.
    static std::vector<Size> sizesFor(Size photo);

private:
    // The photo scaled to fit inside size, centred. Where its proportions differ from the frame's, its
    // outermost pixels are drawn out to the frame's edges and blurred, so that the photo's own border
    // leaves no straight edge that could pass for a document's.
    cv::Mat renderStill(int index, Size size, const std::function<bool()> &stopAsked) const override;

    std::vector<std::string> m_photos;
};

}  // namespace qirmel

#endif  // QIRMEL_PHOTOSCENE_H
