#pragma once
// The store of every image the user interface draws: the built-in images,
// loaded once, and 511 named slots for the layout's images and the .bmp
// files opened in the layout editor. Widgets construct one around their
// drawing; the first construction in the process fills the store. GUI
// thread only.
#include <cstddef>

#include "gui/CDIBitmap.h"

class CGLBitmapCache {
public:
    static constexpr int kSlots = 511;  // slots 1..511; 0 is never used

    CGLBitmapCache();

    // The image of a slot in use; null for a free slot or one outside 1..511.
    static CDIBitmap* Get(int slot);
    // Writes "<empty>" or, for a slot in use with a name, the name, cut to
    // `size` bytes (terminated); false when the slot is free or nameless.
    static bool GetName(int slot, char* out, size_t size);
    // Claims a slot under a name and hands its emptied image over for
    // filling; null outside 1..511.
    static CDIBitmap* Set(int slot, const char* name);
    // Empties a slot in use and marks it free; the name stays.
    static void Free(int slot);
    // Loads a BMP file into the slot of that name (a freed one included) or
    // else the lowest free slot; answers the slot, or 0 with every slot as
    // it was when the file cannot be read or is no image, or no slot is free.
    static int LoadFile(const char* name, const char* path);
    // Marks kept for the layout writer, which stores only used images.
    static void SetUsed(int slot, bool used);
    static bool IsUsed(int slot);
    // A 32-bit image of the colour source's size: blue, green, red from the
    // colour source, the fourth byte from the transparency source's first
    // byte. Refused (false, destination empty) unless both sources have
    // pixels of the same size.
    static bool MakeAlpha(CDIBitmap& dest, const CDIBitmap& transparency, const CDIBitmap& colour);

    // ---- Built-in images; every index is reduced into its range ----
    static const CDIBitmap* GetKnobStripA();  // coverage, 128 frames of 32 x 32
    static const CDIBitmap* GetKnobStripB();  // transparency
    static const CDIBitmap* GetFontBitmap(int font);  // font clamped to 0..3
    // Font 0's second sheet: the letters past ASCII and the mark.
    static const CDIBitmap* GetFontExtraBitmap();
    // The key of a MIDI note (by pitch class) in state 0, 1 or 2 (others 0).
    static const CDIBitmap* GetKeyBitmap(int note, int state);
    static const CDIBitmap* GetPointCoverage(bool large);
    static const CDIBitmap* GetPointAlpha(bool large);
    static const CDIBitmap* GetSubmenuArrow();
    static const CDIBitmap* GetCheckMark();
    static const CDIBitmap* GetStepLedA();
    static const CDIBitmap* GetStepLedB();
    static const CDIBitmap* GetStepLedOff();
    static const CDIBitmap* GetRangeStartImage();
    static const CDIBitmap* GetRangeEndImage();
    static const CDIBitmap* GetRangeSingleImage();
    static const CDIBitmap* GetBankButton(int index);          // index & 3
    static const CDIBitmap* GetBankButtonSelected(int index);  // index & 3
    static const CDIBitmap* GetLetterButton(int index);          // index & 7
    static const CDIBitmap* GetLetterButtonSelected(int index);  // index & 7
    static const CDIBitmap* GetKeyedButton(int a, int b);        // (b + 3a) mod 12
    static const CDIBitmap* GetToggleImage(int a, int b);        // (2a + b) & 3
    static const CDIBitmap* GetSmallToggleImage(int a, int b);   // (2a + b) & 3
    static const CDIBitmap* GetGridIcon(int x, int y);           // (x & 3) + 4 (y & 3)

    // Whether the store was filled (the built-in images loaded).
    static bool IsLoaded();
};
