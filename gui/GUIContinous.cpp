#include "gui/GUIContinous.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gui/GUIHead.h"
#include "params/CPIBase.h"
#include "platform/CGlobalData.h"

namespace {

enum Key { kBack = 8, kPgUp = 33, kPgDn = 34, kEnd = 35, kHome = 36, kLeft = 37, kUp = 38, kRight = 39,
           kDown = 40, kDelete = 46 };

int Trunc(double v)
{
    if (!(v == v)) return 0;
    return int(std::clamp(v, -2147483647.0, 2147483647.0));
}

}  // namespace

void GUIContinous::Init()
{
    GUIObject::Init();
    stepIndex = assignShown = 0;
    steps = 1;
    pixelsPerStep = 128.0f;
    pressY = amountAtPress = 0;
    dragPosition = 0.0f;
    controller = {};
    assignDrag = false;
}

int GUIContinous::StepCount() const
{
    return std::max(1, Trunc(double(binding.max) - double(binding.min)));
}

bool GUIContinous::SetupModulationDialog()
{
    if (!owner || !owner->GetEditor() || binding.group != 0 || !IsModDestination(int(binding.index))) return false;
    // The dialog's placeholders show the first two routings aimed at this
    // parameter: sources are rows 65 + r, amounts rows 36 + r.
    constexpr uint32_t kSource = 65, kAmount = 36;
    CPIBase* model = owner->GetModel();
    const int id = int(binding.index);
    const int r1 = model ? model->FindOrAddRouting(id) : -1;
    const int r2 = r1 >= 0 ? model->FindNextRouting(id) : -1;
    const uint32_t first = r1 >= 0 ? uint32_t(r1) : 0, second = r2 >= 0 ? uint32_t(r2) : 0;
    owner->RebindBySub(1000, kSource + first) && owner->RebindBySub(1010, kAmount + first) &&
        owner->RebindBySub(1001, kSource + second) && owner->RebindBySub(1011, kAmount + second);
    return true;
}

void GUIContinous::ControllerEntry::Begin(int number)
{
    if (number >= 0)
        snprintf(text, sizeof text, "%d", std::min(number, 999));
    else
        text[0] = 0;
    caret = int(strlen(text));
    fresh = true;
}

bool GUIContinous::ControllerEntry::Key(int key, int ch)
{
    int len = int(strlen(text));
    if (fresh && (ch >= 32 || key == kBack || key == kDelete)) {
        text[0] = 0;
        len = caret = 0;
    }
    fresh = false;
    if (ch >= '0' && ch <= '9') {
        // Shown as typed; the disc and the hint line say that four digits
        // are no controller number until one is taken back. A fifth is
        // not taken.
        if (len >= int(sizeof text) - 1) return true;
        memmove(text + caret + 1, text + caret, size_t(len - caret + 1));
        text[caret++] = char(ch);
        return true;
    }
    switch (key) {
    case kBack:
        if (caret > 0) {
            memmove(text + caret - 1, text + caret, size_t(len - caret + 1));
            --caret;
        }
        return true;
    case kLeft: caret = std::max(0, caret - 1); return true;
    case kRight: caret = std::min(len, caret + 1); return true;
    case kDelete: text[0] = 0, caret = 0; return true;
    default: return false;
    }
}

const char* GUIContinous::ControllerEntry::Typed(const GUIObject& widget) const
{
    return g_ControllerNumberMode && widget.active && !fresh ? text : nullptr;
}

bool GUIContinous::ControllerEntry::Refused(const GUIObject& widget) const
{
    const int n = Value();
    return n > kLastController || (n >= 0 && widget.owner && !widget.owner->TakesController(&widget.binding));
}

const char* GUIContinous::ControllerEntry::RefusedHint(const GUIObject& widget) const
{
    if (!Typed(widget) || !Refused(widget)) return nullptr;
    return Value() > kLastController ? "Not assigned: CC 0 to 126 only" : "Not assigned: sound values only";
}

int GUIContinous::ControllerEntry::Value() const { return text[0] ? atoi(text) : -1; }

void GUIContinous::ControllerEntry::Start(GUIObject& widget)
{
    if (g_ControllerNumberMode && widget.owner) Begin(widget.owner->GetController(&widget.binding));
}

void GUIContinous::ControllerEntry::Commit(GUIObject& widget)
{
    if (!g_ControllerNumberMode || !widget.owner || !widget.active) return;
    if (!Refused(widget)) widget.owner->SetController(&widget.binding, Value());
}

bool GUIContinous::ControllerEntry::TakeKey(GUIObject& widget, int key, int ch)
{
    const bool taken = widget.active && Key(key, ch);
    if (taken) widget.Update();
    return taken;
}

void GUIContinous::Activate()
{
    GUIObject::Activate();
    controller.Start(*this);
}

void GUIContinous::Deactivate()
{
    controller.Commit(*this);
    GUIObject::Deactivate();
}

void GUIContinous::OnMouseDown(uint32_t flags, int, int py)
{
    if (!owner) return;
    steps = StepCount();
    pixelsPerStep = 128.0f / float(steps);
    // Assignments tie the pad to sound values only: a mixer or master knob
    // turns its own value while an axis is armed.
    assignDrag = owner->IsAssignArmed(&binding);
    if (assignDrag) {
        if (flags & 8) {
            owner->SetAssignAmount(&binding, 0);
            assignDrag = false;
        } else {
            pressY = py;
            int amount = 0;
            if (!owner->GetAssignAmount(&binding, amount)) amount = 0;
            amountAtPress = amount;
        }
        Update();
        return;
    }
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    dragPosition = std::isfinite(v) ? v * 128.0f : 0.0f;
    pressY = py;
    Update();
}

void GUIContinous::OnMouseUp(uint32_t, int, int) { assignDrag = false; }

void GUIContinous::OnMouseDrag(uint32_t flags, int, int py)
{
    if (!owner) return;
    if (assignDrag) {
        // No depth past the knob's ends: the arc would show nothing of it,
        // the sound would not follow, and the next drag the other way would
        // first undo it unseen.
        float v = 0.0f;
        owner->GetFloatValue(&binding, v);
        const int frame = v == v ? std::min(int(std::clamp(v, 0.0f, 1.0f) * 128.0f), 127) : 0;
        const int amount = std::clamp(amountAtPress + (pressY - py), std::max(-63, -frame), std::min(63, 127 - frame));
        owner->SetAssignAmount(&binding, amount);
        Update();
        return;
    }
    float d = float(pressY - py);
    if (flags & 4) d *= 0.125f;
    dragPosition = std::clamp(dragPosition + d, 0.0f, 128.0f);
    stepIndex = Trunc(dragPosition / pixelsPerStep);
    owner->SetFloatValue(&binding, dragPosition / 128.0f);
    pressY = py;
    Update();
}

bool GUIContinous::OnKey(int key, int ch, uint32_t)
{
    if (!owner) return false;
    if (g_ControllerNumberMode) return controller.TakeKey(*this, key, ch);
    const int s = StepCount();
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    int index = Trunc(double(s) * v + 0.5);
    auto add = [&](int delta) {
        const long long n = (long long)index + delta;
        if (n >= 0 && n <= s) index = int(n);
    };
    int direction = 0;
    switch (key) {
    case kPgUp: add(Trunc(double(binding.step) * s)), direction = 1; break;
    case kPgDn: add(Trunc(double(binding.step) * -s)), direction = -1; break;
    case kUp: add(1), direction = 1; break;
    case kDown: add(-1), direction = -1; break;
    case kEnd: index = s; break;
    case kHome: index = 0; break;
    case kDelete: index = std::clamp(Trunc(double(binding.defaultValue) * s), 0, s); break;
    default: return false;
    }
    stepIndex = index;
    owner->SetFloatValue(&binding, float(index) / float(s));
    // A value stored more coarsely than the knob steps (the raster keeps 32
    // of its 128) can round back to where it was: a step key goes on by one
    // until the value moves or the end is reached, so no press is lost.
    for (float now = v; direction != 0 && owner->GetFloatValue(&binding, now) && now == v;) {
        const int next = stepIndex + direction;
        if (next < 0 || next > s) break;
        stepIndex = next;
        owner->SetFloatValue(&binding, float(next) / float(s));
    }
    Update();
    return true;
}

const char* GUIContinous::GetHintId(int x, int y)
{
    const char* refused = controller.RefusedHint(*this);
    return refused ? refused : GUIObject::GetHintId(x, y);
}

GuiRect DrawControllerDisc(GUIObject& widget, int cx, int cy, const GUIContinous::ControllerEntry* entry)
{
    CUnifiedDC* dc = widget.surface;
    if (!dc || !widget.owner) return {};
    constexpr float kPi = 3.14159265f;
    dc->SetColor(0xB4FFFF);
    dc->DrawVectorKnob(0.0f, 2.0f * kPi, kPi / 16.0f, float(cx), float(cy), 8.0f, 0.9f);
    const int number = widget.owner->GetController(&widget.binding);
    char text[12] = "";
    const char* typed = entry ? entry->Typed(widget) : nullptr;
    if (typed)
        snprintf(text, sizeof text, "%s", typed);
    else if (number >= 0)
        snprintf(text, sizeof text, "%d", number);
    dc->SetColor(typed && entry->Refused(widget) ? 0x0000E0 : 0x000000);
    const int textHeight = dc->Font().GetHeight();
    // Four digits typed reach past the disc.
    const GuiRect digits =
        dc->DrawText(cx, cy - textHeight / 2, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 2);
    GuiRect drawn{cx - 10, cy - 10, cx + 11, cy + 11};
    if (digits.right > digits.left) UnionRects(drawn, drawn, digits);
    return drawn;
}
