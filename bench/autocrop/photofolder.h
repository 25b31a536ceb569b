#ifndef BENCH_AUTOCROP_PHOTOFOLDER_H
#define BENCH_AUTOCROP_PHOTOFOLDER_H

#include <string>

// Scores the photo detection on a folder of JPEG photos described by truth.csv:
// "file,x1,y1,x2,y2,x3,y3,x4,y4" with the corners top-left, top-right, bottom-right, bottom-left in
// pixels of the image as stored (EXIF orientation ignored); empty corners mean no document. When the
// folder has categories.csv ("file,category"), scores and false crops are also given by category.
class PhotoFolder {
public:
    // Prints one line per row, the index by category, false crops and detection times; false when the
    // folder or its truth.csv cannot be read.
    // dump: where to save the photos that score below 0.95 or are cropped without a document, marked;
    // empty for none.
    static bool score(const std::string &folder, const std::string &dump);
};

#endif
