#include "gui/CGLBitmapCache.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Slot {
    CDIBitmap image;
    std::string name;
    bool hasName = false;
    bool free = true;
    bool used = false;
};

struct Store {
    bool loaded = false;
    Slot slots[CGLBitmapCache::kSlots + 1];
    CDIBitmap knobA, knobB;
    CDIBitmap fonts[4];
    CDIBitmap fontExtra;
    CDIBitmap white[7][3];  // C D E F G A B
    CDIBitmap black[2];     // state 0, other states
    CDIBitmap pointCoverage[2], pointAlpha[2];
    CDIBitmap arrow, check;
    CDIBitmap ledA, ledB, ledOff;
    CDIBitmap rangeStart, rangeEnd, rangeSingle;
    CDIBitmap bank[4], bankSelected[4];
    CDIBitmap letter[8], letterSelected[8];
    CDIBitmap keyed[12];
    CDIBitmap toggles[4];
    CDIBitmap smallToggles[2];
    CDIBitmap gridColour[16], gridAlpha[16], grid[16];
};

// Built on first use, so that widgets made during static initialisation
// find it; lives until exit.
Store& S()
{
    static Store store;
    return store;
}

bool InSlotRange(int slot) { return slot >= 1 && slot <= CGLBitmapCache::kSlots; }

// Pitch class -> white key index (C D E F G A B), or -1 for a black key.
constexpr int kWhiteOf[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};

// Files larger than one image's largest stream are read only that far.
constexpr size_t kMaxFileBytes =
    CDIBitmap::kFileHeaderSize + CDIBitmap::kMaxHeaderBlock + CDIBitmap::kMaxPixelBytes;

bool ReadFile(const char* path, std::vector<uint8_t>& bytes)
{
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) return false;
    uint8_t buffer[65536];
    size_t n;
    while (bytes.size() < kMaxFileBytes && (n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + std::min(n, kMaxFileBytes - bytes.size()));
    const bool ok = !ferror(f);
    fclose(f);
    return ok;
}

}  // namespace

CGLBitmapCache::CGLBitmapCache()
{
    Store& s = S();
    if (s.loaded) return;
    s.loaded = true;
    s.knobA.LoadResource(1872);
    s.knobB.LoadResource(1871);
    const int fontIds[4] = {672, 669, 1842, 669};
    for (int i = 0; i < 4; ++i) s.fonts[i].LoadResource(fontIds[i]);
    s.fontExtra.LoadResource(673);
    const int whiteIds[7][3] = {{1077, 1085, 1092}, {1078, 1086, 1093}, {1079, 1087, 1094},
                                {1080, 1088, 1095}, {1081, 1089, 1096}, {1083, 1084, 1091},
                                {1082, 1090, 1097}};
    for (int k = 0; k < 7; ++k)
        for (int st = 0; st < 3; ++st) s.white[k][st].LoadResource(whiteIds[k][st]);
    s.black[0].LoadResource(1099);
    s.black[1].LoadResource(1098);
    s.pointCoverage[0].LoadResource(1868);
    s.pointCoverage[1].LoadResource(1870);
    s.pointAlpha[0].LoadResource(1869);
    s.pointAlpha[1].LoadResource(1867);
    s.arrow.LoadResource(1907);
    s.check.LoadResource(1906);
    s.ledA.LoadResource(1949);
    s.ledB.LoadResource(1950);
    s.ledOff.LoadResource(1948);
    s.rangeStart.LoadResource(1951);
    s.rangeEnd.LoadResource(1953);
    s.rangeSingle.LoadResource(1952);
    const int bankIds[4][2] = {{1921, 1922}, {1923, 1924}, {1925, 1926}, {1927, 1928}};
    for (int i = 0; i < 4; ++i) {
        s.bank[i].LoadResource(bankIds[i][0]);
        s.bankSelected[i].LoadResource(bankIds[i][1]);
    }
    const int letterIds[8][2] = {{1944, 1930}, {1931, 1932}, {1933, 1934}, {1935, 1936},
                                 {1937, 1938}, {1939, 1940}, {1941, 1942}, {1943, 1908}};
    for (int i = 0; i < 8; ++i) {
        s.letter[i].LoadResource(letterIds[i][0]);
        s.letterSelected[i].LoadResource(letterIds[i][1]);
    }
    for (int i = 0; i < 12; ++i) s.keyed[i].LoadResource(1909 + i);
    const int toggleIds[4] = {1955, 1956, 1957, 1947};
    for (int i = 0; i < 4; ++i) s.toggles[i].LoadResource(toggleIds[i]);
    s.smallToggles[0].LoadResource(1107);
    s.smallToggles[1].LoadResource(1108);
    for (int k = 0; k < 16; ++k) {
        s.gridColour[k].LoadResource(1875 + k);
        s.gridAlpha[k].LoadResource(k < 15 ? 1891 + k : 1874);
        MakeAlpha(s.grid[k], s.gridAlpha[k], s.gridColour[k]);
    }
}

bool CGLBitmapCache::IsLoaded() { return S().loaded; }

CDIBitmap* CGLBitmapCache::Get(int slot)
{
    if (!InSlotRange(slot) || S().slots[slot].free) return nullptr;
    return &S().slots[slot].image;
}

bool CGLBitmapCache::GetName(int slot, char* out, size_t size)
{
    if (!out || size == 0) return false;
    const Slot* s = InSlotRange(slot) ? &S().slots[slot] : nullptr;
    const bool named = s && !s->free && s->hasName;
    const char* text = named ? s->name.c_str() : "<empty>";
    const size_t n = std::min(strlen(text), size - 1);
    memcpy(out, text, n);
    out[n] = '\0';
    return named;
}

CDIBitmap* CGLBitmapCache::Set(int slot, const char* name)
{
    if (!InSlotRange(slot)) return nullptr;
    Slot& s = S().slots[slot];
    s.free = false;
    s.hasName = name != nullptr;
    s.name = name ? name : "";
    s.image.Destroy();
    return &s.image;
}

void CGLBitmapCache::Free(int slot)
{
    if (!InSlotRange(slot) || S().slots[slot].free) return;
    S().slots[slot].image.Destroy();
    S().slots[slot].free = true;
}

int CGLBitmapCache::LoadFile(const char* name, const char* path)
{
    if (!name) return 0;
    // The image is read aside first, so that a bad file changes nothing.
    std::vector<uint8_t> bytes;
    CDIBitmap spare;
    if (!ReadFile(path, bytes) || spare.LoadBMP(bytes) == 0) return 0;
    int target = 0;
    for (int i = 1; i <= kSlots && !target; ++i)
        if (S().slots[i].hasName && S().slots[i].name == name) target = i;
    for (int i = 1; i <= kSlots && !target; ++i)
        if (S().slots[i].free) target = i;
    if (!target) return 0;
    Set(target, name)->Swap(spare);
    return target;
}

void CGLBitmapCache::SetUsed(int slot, bool used)
{
    if (InSlotRange(slot)) S().slots[slot].used = used;
}

bool CGLBitmapCache::IsUsed(int slot) { return InSlotRange(slot) && S().slots[slot].used; }

bool CGLBitmapCache::MakeAlpha(CDIBitmap& dest, const CDIBitmap& transparency,
                               const CDIBitmap& colour)
{
    dest.Destroy();
    if (colour.IsEmpty() || transparency.IsEmpty() || colour.Width() != transparency.Width() ||
        colour.Height() != transparency.Height() || colour.BitCount() < 24)
        return false;
    if (!dest.Create(colour.Width(), colour.Height(), 32)) return false;
    for (int y = 0; y < colour.Height(); ++y) {
        const uint8_t* c = colour.PixelAddress(0, y);
        const uint8_t* t = transparency.PixelAddress(0, y);
        uint8_t* d = dest.PixelAddress(0, y);
        for (int x = 0; x < colour.Width(); ++x) {
            d[0] = c[0];
            d[1] = c[1];
            d[2] = c[2];
            d[3] = t[0];
            c += colour.BytesPerPixel();
            t += transparency.BytesPerPixel();
            d += 4;
        }
    }
    return true;
}

const CDIBitmap* CGLBitmapCache::GetKnobStripA() { return &S().knobA; }
const CDIBitmap* CGLBitmapCache::GetKnobStripB() { return &S().knobB; }
const CDIBitmap* CGLBitmapCache::GetFontBitmap(int font)
{
    return &S().fonts[std::clamp(font, 0, 3)];
}
const CDIBitmap* CGLBitmapCache::GetFontExtraBitmap() { return &S().fontExtra; }
const CDIBitmap* CGLBitmapCache::GetKeyBitmap(int note, int state)
{
    if (state < 0 || state > 2) state = 0;
    const int white = kWhiteOf[(note % 12 + 12) % 12];
    if (white < 0) return &S().black[state == 0 ? 0 : 1];
    return &S().white[white][state];
}
const CDIBitmap* CGLBitmapCache::GetPointCoverage(bool large) { return &S().pointCoverage[large]; }
const CDIBitmap* CGLBitmapCache::GetPointAlpha(bool large) { return &S().pointAlpha[large]; }
const CDIBitmap* CGLBitmapCache::GetSubmenuArrow() { return &S().arrow; }
const CDIBitmap* CGLBitmapCache::GetCheckMark() { return &S().check; }
const CDIBitmap* CGLBitmapCache::GetStepLedA() { return &S().ledA; }
const CDIBitmap* CGLBitmapCache::GetStepLedB() { return &S().ledB; }
const CDIBitmap* CGLBitmapCache::GetStepLedOff() { return &S().ledOff; }
const CDIBitmap* CGLBitmapCache::GetRangeStartImage() { return &S().rangeStart; }
const CDIBitmap* CGLBitmapCache::GetRangeEndImage() { return &S().rangeEnd; }
const CDIBitmap* CGLBitmapCache::GetRangeSingleImage() { return &S().rangeSingle; }
const CDIBitmap* CGLBitmapCache::GetBankButton(int index) { return &S().bank[index & 3]; }
const CDIBitmap* CGLBitmapCache::GetBankButtonSelected(int index)
{
    return &S().bankSelected[index & 3];
}
const CDIBitmap* CGLBitmapCache::GetLetterButton(int index) { return &S().letter[index & 7]; }
const CDIBitmap* CGLBitmapCache::GetLetterButtonSelected(int index)
{
    return &S().letterSelected[index & 7];
}
const CDIBitmap* CGLBitmapCache::GetKeyedButton(int a, int b)
{
    // In 64 bits, so that no pair of ints overflows.
    const int64_t i = ((static_cast<int64_t>(b) + 3 * static_cast<int64_t>(a)) % 12 + 12) % 12;
    return &S().keyed[i];
}
const CDIBitmap* CGLBitmapCache::GetToggleImage(int a, int b)
{
    return &S().toggles[(2u * static_cast<unsigned>(a) + static_cast<unsigned>(b)) & 3];
}
const CDIBitmap* CGLBitmapCache::GetSmallToggleImage(int a, int b)
{
    // Images 0 and 1 are the same picture, as are 2 and 3.
    return &S().smallToggles[((2u * static_cast<unsigned>(a) + static_cast<unsigned>(b)) & 3) >> 1];
}
const CDIBitmap* CGLBitmapCache::GetGridIcon(int x, int y) { return &S().grid[(x & 3) + 4 * (y & 3)]; }
