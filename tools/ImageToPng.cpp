// Writes an image as PNG, to look at it: a BMP or PNG file, or a built-in image
// given as "builtin:<id>", optionally enlarged by a whole factor and cut to
// a rectangle of the original.
//   zavo_png <file.bmp | file.png | builtin:id> <out.png> [scale [x y w h]]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "gui/CDIBitmap.h"
#include "tools/PngFile.h"

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4 && argc != 8) {
        fprintf(stderr, "usage: %s <file.bmp | file.png | builtin:id> <out.png> [scale [x y w h]]\n",
                argv[0]);
        return 2;
    }
    CDIBitmap image;
    if (strncmp(argv[1], "builtin:", 8) == 0) {
        if (!image.LoadResource(atoi(argv[1] + 8))) {
            fprintf(stderr, "no built-in image %s\n", argv[1] + 8);
            return 1;
        }
    } else if (strstr(argv[1], ".png")) {
        if (!png::Read(argv[1], image)) {
            fprintf(stderr, "%s: cannot read the PNG\n", argv[1]);
            return 1;
        }
    } else {
        std::ifstream in(argv[1], std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        if (!image.LoadBMP(bytes)) {
            fprintf(stderr, "%s: not a BMP image this program reads\n", argv[1]);
            return 1;
        }
    }
    const int scale = argc >= 4 ? std::clamp(atoi(argv[3]), 1, 64) : 1;
    int x0 = 0, y0 = 0, w = image.Width(), h = image.Height();
    if (argc == 8) {
        x0 = std::clamp(atoi(argv[4]), 0, w - 1);
        y0 = std::clamp(atoi(argv[5]), 0, h - 1);
        w = std::clamp(atoi(argv[6]), 1, w - x0);
        h = std::clamp(atoi(argv[7]), 1, h - y0);
    }
    CDIBitmap big;
    if (!big.Create(w * scale, h * scale, image.BitCount())) return 1;
    const int bpp = static_cast<int>(image.BytesPerPixel());
    for (int y = 0; y < h * scale; ++y)
        for (int x = 0; x < w * scale; ++x)
            memcpy(big.PixelAddress(x, y), image.PixelAddress(x0 + x / scale, y0 + y / scale), bpp);
    if (!png::Write(big, argv[2])) {
        fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
