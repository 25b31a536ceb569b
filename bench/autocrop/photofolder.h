#ifndef BENCH_AUTOCROP_PHOTOFOLDER_H
#define BENCH_AUTOCROP_PHOTOFOLDER_H

#include <string>

// Scores the photo detection on a folder of the user's own JPEG photos described by truth.csv:
// "file,x1,y1,x2,y2,x3,y3,x4,y4" with the corners top-left, top-right, bottom-right, bottom-left in
// pixels of the image as stored (EXIF orientation ignored); empty corners mean no document.
class PhotoFolder {
public:
    // Prints one line per row and the mean index over rows with a document; false when the folder or
    // its truth.csv cannot be read.
    static bool score(const std::string &folder);
};

#endif
