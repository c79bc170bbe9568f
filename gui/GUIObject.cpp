#include "gui/GUIObject.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gui/GUIHead.h"
#include "params/CPIBase.h"

namespace {

// Little-endian 16-bit words, the only number format of the layout file.
class WordReader {
public:
    explicit WordReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    uint32_t Next()
    {
        uint32_t v = Byte(m_pos) | Byte(m_pos + 1) << 8;
        m_pos += 2;
        return v;
    }

private:
    uint32_t Byte(size_t i) const { return i < m_bytes.size() ? m_bytes[i] : 0; }
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
};

void PutWord(uint8_t*& out, uint32_t v)
{
    *out++ = uint8_t(v);
    *out++ = uint8_t(v >> 8);
}

// Restores the page's picture in box, less any text printed on it: each
// row's ink becomes the row's most common colour (the panel), drawn from
// the picture itself so that a colour scheme treats it alike. A line that
// runs on above and below the box (a frame's edge) is no text and stays.
// The picture's top-left lies at origin: (0, 0) for the page's picture, the
// dialog's corner for an open dialog's panel.
void ErasePrintedText(CUnifiedDC& dc, const CDIBitmap& picture, GuiPoint origin, const GuiRect& box)
{
    const bool dialog = &picture == dc.GetPanel();
    if (dialog)
        dc.DrawDialogPanel(box.left, box.top, box.right, box.bottom);
    else
        dc.ClearRect(box.left, box.top, box.right, box.bottom);
    const int left = box.left - origin.x, right = box.right - origin.x;
    const int top = box.top - origin.y, bottom = box.bottom - origin.y;
    const int width = picture.Width(), height = picture.Height();
    if (left < 0 || right > width || top < 2 || bottom + 2 > height || right <= left) return;
    auto colour = [&](int x, int y) {
        const uint8_t* p = picture.PixelAddress(x, y);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    std::vector<uint32_t> row(size_t(right - left));
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) row[size_t(x - left)] = colour(x, y);
        // The most common colour of the row, and a place that has it.
        std::vector<uint32_t> sorted = row;
        std::sort(sorted.begin(), sorted.end());
        uint32_t panel = sorted[0];
        size_t best = 0;
        for (size_t i = 0; i < sorted.size();) {
            size_t j = i;
            while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
            if (j - i > best) best = j - i, panel = sorted[i];
            i = j;
        }
        const int from = left + int(std::find(row.begin(), row.end(), panel) - row.begin());
        for (int x = left; x < right; ++x) {
            if (row[size_t(x - left)] == panel) continue;
            const bool line = colour(x, top - 2) != panel && colour(x, bottom + 1) != panel;
            if (!line)
                dc.Blit(CUnifiedDC::kBlitCopy, x + origin.x, y + origin.y, x + origin.x + 1, y + origin.y + 1,
                        &picture, from, y);
        }
    }
}

}  // namespace

GUIObject::GUIObject(const char* tag_)
{
    for (size_t i = 0; tag_ && i < kTagSize && tag_[i]; ++i) tag[i] = tag_[i];
}

void GUIObject::Init()
{
    binding.Reset();
    layer = 2;
    pageMask = 0xFFFFFFFF;
    dialogId = 0;
    std::fill(std::begin(properties), std::end(properties), 0u);
    x = y = 0;
    w = h = 20;
    font = textRed = textGreen = textBlue = 0xFFFF;
    active = 0;
    grabX = grabY = 0;
}

void GUIObject::Read(std::span<const uint8_t> body)
{
    WordReader in(body.first(std::min(body.size(), kBodySize)));
    const uint32_t group = in.Next();
    const uint32_t index = in.Next();
    const uint32_t sub = in.Next();
    Init();
    x = int32_t(in.Next());
    y = int32_t(in.Next());
    w = int32_t(in.Next());
    h = int32_t(in.Next());
    pageMask = in.Next();
    dialogId = int32_t(in.Next());
    layer = int32_t(in.Next());
    for (uint32_t& p : properties) p = in.Next();
    if (const CIParameter* row = CIParameter::Find(group, index, sub)) binding = *row;
}

std::array<uint8_t, GUIObject::kRecordSize> GUIObject::Write() const
{
    std::array<uint8_t, kRecordSize> record{};
    memcpy(record.data(), tag, kTagSize);
    uint8_t* out = record.data() + kTagSize;
    for (uint32_t v : {binding.group, binding.index, binding.sub, uint32_t(x), uint32_t(y), uint32_t(w),
                       uint32_t(h), pageMask, uint32_t(dialogId), uint32_t(layer)})
        PutWord(out, v);
    for (uint32_t p : properties) PutWord(out, p);
    return record;
}

// The window reports a second press soon after the first, anywhere near
// it, as a double click: Stop right after Play, or a drag started just
// after a click. A widget with nothing of its own for a double click takes
// it as the press it is; dropped, the widget would still be captured and
// take the drag with what its last press left behind.
void GUIObject::OnDoubleClick(uint32_t flags, int x, int y) { OnMouseDown(flags, x, y); }

// ---- Slots the base leaves empty ----------------------------------------------

bool GUIObject::HitTest(int, int) { return true; }
void GUIObject::OnMouseDown(uint32_t, int, int) {}
void GUIObject::OnMouseUp(uint32_t, int, int) {}
void GUIObject::OnMouseDrag(uint32_t, int, int) {}
bool GUIObject::OnKey(int, int, uint32_t) { return false; }
bool GUIObject::OnWheel(int, int, int, int, int) { return false; }
bool GUIObject::OnMenu(int, int) { return false; }
void GUIObject::OnDrop(int, int, int) {}
int GUIObject::GetLeftClickMenu(int, int) { return 0; }
int GUIObject::GetContextMenu(int, int) { return 0; }

void GUIObject::OnMouseMove(int, int)
{
    if (surface) surface->SetCursor(1);
}

int GUIObject::GetParameterMenu(CPIBase* model, int, int)
{
    return model ? model->GetParameterMenu(int(binding.group), int(binding.index)) : 0;
}

const char* GUIObject::GetHintId(int, int) { return binding.hint; }

// ---- Drawing and visibility ----------------------------------------------------

bool GUIObject::IsVisibleNow() const
{
    if (!owner) return false;
    if (!(pageMask >> (uint32_t(owner->GetPage()) & 31) & 1)) return false;
    return dialogId == 0 || dialogId == owner->GetOpenDialog();
}

void GUIObject::Update()
{
    if (layer == 0 || !IsVisibleNow()) return;
    const GuiRect r = Draw();
    owner->RedrawRegion(r.left, r.top, r.right, r.bottom);
    if (dialogId != 0) owner->RedrawAll();
}

void GUIObject::PollIdle()
{
    if (IsVisibleNow()) OnIdle();
}

void GUIObject::SetValue(int group, int index, float value)
{
    if (owner) owner->SetParameter(group, index, value);
}

double GUIObject::GetValue(int group, int index)
{
    return owner ? owner->GetParameter(group, index) : 0.0;
}

const char* GUIObject::GetValueText(int group, int index)
{
    return owner ? owner->GetParameterText(group, index) : "";
}

GuiRect GUIObject::DrawLabel(int left, int top, int right, int, int dx, int dy, const char* text,
                             CUnifiedDC::Colour colour)
{
    if (!surface || !text) return {};
    surface->SetColor(colour);
    return surface->DrawText(left + dx, top + dy, text, CUnifiedDC::kTextTransparent, 2,
                             std::max(right - left, 1));
}

GuiRect GUIObject::DrawText(int left, int top, int right, int bottom, const char* text,
                            bool highlight)
{
    if (!surface) return {};
    if (!text) text = "";
    const int textHeight = surface->Font().GetHeight();
    const int cx = left + (right - left) / 2;
    const int ty = top + (bottom - top - textHeight) / 2;
    // What this place showed last may be wider than what comes now (the
    // caption after a value, a long value after a short one): the box of
    // both is erased, or the longer one's ends would stay beside the new.
    const int half = *text ? (surface->Font().GetTextWidth(text) + 7) / 8 + 1 : 0;
    const int erase = std::max(half, int(shownTextHalf));
    shownTextHalf = uint16_t(std::clamp(half, 0, 0xFFFF));
    GuiRect dirty{};
    const CDIBitmap* picture = dialogId == 0 ? surface->GetBackground() : surface->GetPanel();
    if (highlight && *text && picture) {
        // A value shown in the caption's place: a caption the page's (or
        // the dialog's) picture prints there must not show around it
        // (printed a little lower than this line, so two rows more are
        // looked at).
        const GuiPoint origin = dialogId == 0 ? GuiPoint{} : GuiPoint{surface->GetPanelX(), surface->GetPanelY()};
        dirty = {std::max(left, origin.x), ty, std::min(right, origin.x + picture->Width()), ty + textHeight + 3};
        ErasePrintedText(*surface, *picture, origin, dirty);
        if (dialogId == 0) {
            shownTextHalf = uint16_t(std::clamp((right - left) / 2 + 1, 0, 0xFFFF));
            shownOverPrint = 1;
        }
    } else if (dialogId == 0 && erase > 0) {
        // From the background picture, black without one; the printed
        // caption comes back whole after a value covered it.
        dirty = {std::max(left, cx - erase), ty, std::min(right, cx + erase + 1),
                 ty + textHeight + (shownOverPrint ? 3 : 1)};
        surface->ClearRect(dirty.left, dirty.top, dirty.right, dirty.bottom);
        shownOverPrint = 0;
    }
    if (!*text) return dirty;
    surface->SetShadowColor(0x000000);
    surface->SetColor(highlight ? 0xB4FFFF : 0xF0F0F0);
    const GuiRect drawn = surface->DrawText(cx, ty, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent,
                                            2, std::max(right - left, 1));
    if (dirty.right <= dirty.left) return drawn;
    UnionRects(dirty, dirty, drawn);
    return dirty;
}

const char* GUIObject::Caption() const
{
    // A mixer input that one type feeds with white noise another feeds with
    // an oscillator; the caption says which.
    if (owner && binding.group == 0 && binding.sub == 0)
        if (const CPIBase* model = owner->GetModel())
            if (const char* own = model->GetLabelOverride(model->GetPartSynthesisType(owner->GetCurrentPart()),
                                                          int(binding.index)))
                return own;
    return binding.GetLabel();
}

GuiRect GUIObject::DrawCaption(bool highlight)
{
    return DrawText(x, y, x + w, y + h, binding.GetLabel(), highlight);
}

// ---- Layout-edit move --------------------------------------------------------

void GUIObject::BeginMove(int px, int py)
{
    grabX = (px & ~1) - x;
    grabY = (py & ~1) - y;
}

GuiRect GUIObject::MoveWithPointer(int px, int py, int clientWidth, int clientHeight)
{
    const GuiRect before = Rect();
    // 64-bit so that a far pointer or a huge grab offset cannot wrap.
    int64_t nx = int64_t(px) - grabX, ny = int64_t(py) - grabY;
    nx = std::max<int64_t>(0, std::min<int64_t>(nx, int64_t(clientWidth) - w));
    ny = std::max<int64_t>(0, std::min<int64_t>(ny, int64_t(clientHeight) - h));
    x = int32_t(nx);
    y = int32_t(ny);
    GuiRect both;
    UnionRects(both, before, Rect());
    return both;
}
