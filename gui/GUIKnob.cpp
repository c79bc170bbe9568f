#include "gui/GUIKnob.h"

#include <algorithm>
#include <cmath>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "platform/CGlobalData.h"

namespace {
constexpr float kPi = 3.14159265f;
constexpr int kFrame = 32;  // the film strip's frames are 32 x 32, side by side
}  // namespace

void GUIKnob::Init()
{
    GUIContinous::Init();
    w = h = kFrame;
}

int GUIKnob::FrameOf(float v)
{
    if (!(v >= 0.0f && v <= 1.0f)) return 0;
    return std::min(int(v * 128.0f), 127);
}

GuiRect GUIKnob::Draw()
{
    if (!surface || !owner) return {};
    CGLBitmapCache images;
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    const int frame = FrameOf(v);

    // A rect smaller than the frame still shows the whole knob.
    const int fw = std::max(w, kFrame), fh = std::max(h, kFrame);
    GuiRect dirty{x - 4, y - 4, x + fw + 4, y + fh + 2};
    if (dialogId != 0)
        surface->DrawDialogPanel(dirty.left, dirty.top, dirty.right, dirty.bottom);
    else
        surface->ClearRect(dirty.left, dirty.top, dirty.right, dirty.bottom);

    const bool routed = binding.group == 0 && owner->HasRouting(&binding);
    surface->SetColor(routed ? 0xB4FFFF : 0xFFFFFF);
    surface->BlitMasked(x, y, x + kFrame, y + kFrame, CGLBitmapCache::GetKnobStripA(),
                        CGLBitmapCache::GetKnobStripB(), frame * kFrame, 0);

    // Caption under the knob; the value text while hovered, or the armed 8D
    // axis and its depth here, which is what a drag changes then.
    char value[128] = "";
    if (active && !owner->GetAssignText(&binding, value, sizeof value))
        owner->GetValueText(&binding, value, sizeof value);
    // A value without a text (nothing loaded to show) keeps the caption.
    const bool showValue = active && value[0];
    const char* label = Caption();
    const int cx = x + fw / 2;
    GuiRect caption;
    if (label[0] == '\n') {
        const int textHeight = surface->Font().GetHeight();
        const GuiRect strip{x - 20, y + fh + 2, x + fw + 20, y + fh + 2 + std::max(10, textHeight)};
        if (dialogId != 0)
            surface->DrawDialogPanel(strip.left, strip.top, strip.right, strip.bottom);
        else
            surface->ClearRect(strip.left, strip.top, strip.right, strip.bottom);
        surface->SetColor(showValue ? 0xB4FFFF : 0xF0F0F0);
        surface->DrawText(cx, y + fh + 2, showValue ? value : label + 1,
                          CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 2, fw + 40);
        caption = strip;
    } else {
        const int textHeight = surface->Font().GetHeight();
        caption = DrawText(x - 20, y + fh, x + fw + 20, y + fh + textHeight + 1, showValue ? value : label,
                           showValue);
    }
    UnionRects(dirty, dirty, caption);

    surface->SetColor(0xDCDCDC);
    const float cxf = float(x + 16), cyf = float(y + 17);
    surface->Arc(kPi / 3.0f, 5.0f * kPi / 3.0f, kPi / 6.0f, cxf, cyf, 14.0f);

    int amount = 0;
    if (binding.group == 0 && owner->GetAssignAmount(&binding, amount) && amount != 0) {
        const float perStep = (1.5f * kPi) / float(std::max(1, int(std::clamp(binding.max, 1.0f, 1e6f))));
        auto angle = [&](int f) { return std::clamp(float(f) * perStep + kPi / 4.0f, kPi / 4.0f, 1.75f * kPi); };
        const float a0 = angle(std::min(frame, frame + amount)), a1 = angle(std::max(frame, frame + amount));
        surface->SetColor(amount > 0 ? 0x50FF50 : 0x0064FF);
        if (a1 > a0) surface->DrawVectorKnob(a0, a1, kPi / 40.0f, cxf, cyf, 14.0f, 0.4f);
        for (float a : {a0, a1}) {
            surface->MoveTo(cxf, cyf);
            surface->LineToAA(cxf - 14.0f * std::sin(a), cyf + 14.0f * std::cos(a));
        }
    }
    if (g_ControllerNumberMode) {
        const GuiRect disc = DrawControllerDisc(*this, x + 16, y + 17, &controller);
        UnionRects(dirty, dirty, disc);
    }
    return dirty;
}
