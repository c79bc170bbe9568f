#pragma once
// PNG files of images, for looking at what was drawn and for the golden
// images of the tests. 8-bit images are grey, 24-bit ones colour, 32-bit
// ones colour with opacity = 255 - their transparency byte.
#include <string>

class CDIBitmap;

namespace png {

bool Write(const CDIBitmap& image, const std::string& path);
// Reads a PNG into a new image of the matching depth (grey 8, colour 24,
// colour with alpha 32); false when the file is missing or not a PNG.
bool Read(const std::string& path, CDIBitmap& image);

}  // namespace png
