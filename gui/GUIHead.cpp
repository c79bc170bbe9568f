#include "gui/GUIHead.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIEditField.h"
#include "gui/GUIResource.h"
#include "platform/CGlobalData.h"
#include "platform/CDlgFile.h"

namespace {

enum Key { kEnter = 13, kEscape = 27, kF5 = 116 };

// trunc(x) as an int: saturated at the ends, NaN as 0.
int TruncSaturate(double x)
{
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int>(x);
}

// The integer a text begins with (decimal, after blanks; 0 when none),
// saturated to 32 bits whatever its length.
int32_t LeadingInteger(const char* text)
{
    if (!text) return 0;
    const long long v = std::strtoll(text, nullptr, 10);  // saturates at its own range
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

bool HasTag(const GUIObject* w, const char* tag)
{
    return w && strncmp(w->GetTag(), tag, GUIObject::kTagSize) == 0;
}

}  // namespace

GUIHead::GUIHead(CUnifiedDC* surface, CEditor* editor)
    : m_surface(surface),
      m_editor(editor),
      m_menu(editor && editor->synth ? &editor->synth->parameters.GetMenuView() : &m_ownView)
{
    g_ControllerNumberMode = 0;
}

GUIHead::~GUIHead()
{
    if (m_surface) m_menu.Close();
    if (m_editor && m_editor->gui == this) m_editor->SetGUI(nullptr);
}

void GUIHead::DetachEditor()
{
    // The menu lays out through the editor's parameter model, which goes
    // with it.
    m_menu.SetView(&m_ownView);
    m_editor = nullptr;
}

CPIBase* GUIHead::Model() const
{
    return m_editor && m_editor->synth ? &m_editor->synth->parameters : nullptr;
}

int GUIHead::ClientWidth() const { return m_surface ? m_surface->GetWidth() : CUIMenu::kWindowWidth; }
int GUIHead::ClientHeight() const
{
    return m_surface ? m_surface->GetHeight() : CUIMenu::kWindowHeight;
}

void GUIHead::SetPage(int page)
{
    m_page = page;
    RedrawAll();
}

// ---- Widgets ------------------------------------------------------------------

GUIObject* GUIHead::Adopt(std::unique_ptr<GUIObject> widget)
{
    if (!widget) return nullptr;
    widget->surface = m_surface;
    widget->owner = this;
    m_widgets.push_back(std::move(widget));
    return m_widgets.back().get();
}

GUIObject* GUIHead::AddObject(const char* tag, uint32_t group, int32_t index, uint32_t sub,
                              int layer, int dialogId, int x, int y, int w, int h)
{
    std::unique_ptr<GUIObject> widget =
        m_widgetFactory ? m_widgetFactory(tag) : GUIResource::CreateByTag(tag);
    if (!widget) return nullptr;
    widget->Init();
    widget->x = x;
    widget->y = y;
    widget->w = w;
    widget->h = h;
    widget->layer = layer;
    widget->dialogId = dialogId;
    // A triple without a descriptor keeps the reset binding, which routes
    // nothing (it would otherwise address sound value 0).
    if (index >= 0)
        if (const CIParameter* row = CIParameter::Find(group, uint32_t(index), sub)) widget->binding = *row;
    return Adopt(std::move(widget));
}

void GUIHead::DeleteObject(GUIObject* widget)
{
    auto it = std::find_if(m_widgets.begin(), m_widgets.end(),
                           [&](const auto& p) { return p.get() == widget; });
    if (it == m_widgets.end()) return;
    // Kept alive until the next event: the widget may be deleting itself
    // from one of its own calls.
    m_dead.push_back(std::move(*it));
    m_widgets.erase(it);

    if (m_captured == widget) m_captured = nullptr;
    if (m_hover == widget) m_hover = nullptr;
    if (m_hinted == widget) {
        m_hinted = nullptr;
        HideHint();
    }
    if (m_menuTarget == widget) {
        if (m_menu.IsOpen()) m_menu.Close();
        m_menuTarget = nullptr;
    }
    if (m_clipboard == widget) {
        m_clipboard = nullptr;
        m_clipboardFull = 0;
    }
    const bool dialogGoes = m_openDialog > 0 && ((m_dialog && m_dialog->target == widget) ||
                                                 (IsDialog(widget) && widget->dialogId == m_openDialog));
    if (m_dialog && m_dialog->target == widget) m_dialog->target = nullptr;
    if (dialogGoes)
        CloseDialog();
    else
        m_redrawAll = 1;
}

void GUIHead::SortByLayer()
{
    std::stable_sort(m_widgets.begin(), m_widgets.end(),
                     [](const auto& a, const auto& b) { return a->layer < b->layer; });
}

GUIObject* GUIHead::WidgetAt(int x, int y)
{
    for (auto it = m_widgets.rbegin(); it != m_widgets.rend(); ++it) {
        GUIObject* w = it->get();
        if (!w->IsVisibleNow()) continue;
        if (x < w->x || y < w->y || int64_t(x) >= int64_t(w->x) + w->w ||
            int64_t(y) >= int64_t(w->y) + w->h)
            continue;
        if (w->HitTest(x, y)) return w;
    }
    return nullptr;
}

bool GUIHead::IsEditType(const GUIObject* w) { return HasTag(w, "EDIT") || HasTag(w, "EDTS"); }
bool GUIHead::IsDialog(const GUIObject* w) { return HasTag(w, "DLOG"); }

void GUIHead::DeactivateAll(bool redraw)
{
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GUIObject* w = m_widgets[i].get();
        if (!w->IsActive()) continue;
        w->Deactivate();
        if (redraw) w->Update();
    }
}

// ---- Drawing ----------------------------------------------------------------

void GUIHead::RedrawAll()
{
    // The pop-up lies over the picture on a saved copy of what was below;
    // painting under it now would be undone by its closing.
    if (m_menu.IsOpen() || !m_surface) {
        m_redrawAll = 1;
        return;
    }
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GUIObject* w = m_widgets[i].get();
        if (!w->IsVisibleNow()) continue;
        w->Draw();
        if (m_editMode) {
            m_surface->SetColor(w->IsActive() ? 0x00FF00 : 0xC4C4A0);
            m_surface->FrameRect(w->x - 1, w->y - 1, w->x + w->w + 1, w->y + w->h + 1);
        }
    }
    m_surface->PresentAll(m_surface->GetWindow());
}

void GUIHead::RedrawRegion(int left, int top, int right, int bottom)
{
    if (m_menu.IsOpen() || !m_surface) {
        m_redrawAll = 1;
        return;
    }
    if (right <= left || bottom <= top) return;
    const GuiRect region{left, top, right, bottom};
    m_surface->SetClip(left, top, right - 1, bottom - 1);
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GUIObject* w = m_widgets[i].get();
        GuiRect meet;
        if (w->layer > 0 && w->IsVisibleNow() && IntersectRects(meet, region, w->Rect())) w->Draw();
    }
    m_surface->SetClip(0, 0, 10000, 10000);
    m_surface->Present(m_surface->GetWindow(), left, top, right, bottom);
}

void GUIHead::SetColorScheme(int value)
{
    static constexpr int kModes[17] = {0, 2, 3, 1, -1, -1, -1, -1, -1, -1, 100, 102, 103, 101, 104, 105, 106};
    if (m_surface && value >= 0 && value <= 16 && kModes[value] >= 0) {
        m_surface->SetColorEffect(kModes[value]);
        // Kept in the settings, so the next start shows it again.
        g_GlobalData.UIColorEffect = kModes[value];
    }
    RedrawAll();
}

// ---- Hints ------------------------------------------------------------------

void GUIHead::HideHint()
{
    if (!m_hintShown) return;
    m_hintShown = 0;
    // A press hides the hint and may open a menu at once; the menu keeps the
    // picture below it until it closes, so the hint goes now, not with the
    // next idle redraw, or half of it stays beside the menu.
    if (m_buttonDown == 0 && !m_menu.IsOpen() && m_surface) RedrawAll();
    else m_redrawAll = 1;
}

void GUIHead::HintTick()
{
    if (!m_hintShown) {
        const int moved = std::abs(m_pointerX - m_previousX) + std::abs(m_pointerY - m_previousY);
        // The widget must still be the one under the pointer: a dialog
        // opened since the last move lies over it, and its hint would cover
        // the dialog's own fields.
        if (m_hover && m_hover != m_hinted && moved < 1 && WidgetAt(m_pointerX, m_pointerY) == m_hover) {
            m_hinted = m_hover;
            ShowHint();
        }
        m_previousX = m_pointerX;
        m_previousY = m_pointerY;
    } else if (m_hinted != m_hover) {
        HideHint();
    }
}

void GUIHead::ShowHint()
{
    if (!m_surface || !m_hover) return;
    const char* text = m_hover->GetHintId(m_pointerX, m_pointerY);
    if (!text || strnlen(text, 2) <= 1) return;
    CGLFont& font = m_surface->Font();
    // The line under the widget holds its caption, or while hovered its
    // value (a knob's "8D 1-X +40" while an axis is armed): what the hint
    // is about stays readable, the box goes under that line.
    const GuiRect captionLine{m_hover->x - 20, m_hover->y + m_hover->h, m_hover->x + m_hover->w + 20,
                              m_hover->y + m_hover->h + font.GetHeight() + 2};
    const int previousFont = font.SetFont(0), previousSpacing = font.SetSpacing(2);
    GuiRect box{m_pointerX + 12, m_pointerY + 20, 0, m_pointerY + 36};
    box.right = box.left + font.GetTextWidth(text) / 4 + 8;
    font.SetFont(previousFont);
    font.SetSpacing(previousSpacing);
    if (box.right > ClientWidth()) {
        box.left -= box.right - ClientWidth();
        box.right = ClientWidth();
    }
    if (GuiRect meet; IntersectRects(meet, box, captionLine)) {
        box.top = captionLine.bottom + 2;
        box.bottom = box.top + 16;
    }
    // Near the bottom edge the box goes above the pointer, not out of sight.
    if (box.bottom > ClientHeight()) {
        box.bottom = m_pointerY - 4;
        box.top = box.bottom - 16;
    }
    m_surface->SetColor(0xC8FFFF);
    m_surface->FillRect(box.left, box.top, box.right, box.bottom, 1.0f);
    m_surface->SetColor(0x000000);
    m_surface->FrameRect(box.left, box.top, box.right, box.bottom);
    m_surface->DrawText(box.left + 4, box.top + 4, text, CUnifiedDC::kTextTransparent, 2);
    m_surface->PresentAll(m_surface->GetWindow());
    m_hintBox = box;
    m_hintShown = 1;
}

// ---- Input ------------------------------------------------------------------

void GUIHead::OnMouseDown(uint32_t flags, int x, int y) { Press(flags, x, y, false); }

// The window reports a second press soon after the first as a double click.
// It is a press like any other and goes the same way, except that it ends
// at the widget's own double-click handler. When the menu took the first
// press (a row chosen, or the menu closed by a click beside it), the second
// is the end of that gesture, aimed at the menu that is gone now: it presses
// nothing that lay beneath the menu.
void GUIHead::OnDoubleClick(uint32_t flags, int x, int y) { Press(flags, x, y, true); }

void GUIHead::Press(uint32_t flags, int x, int y, bool doubleClick)
{
    m_dead.clear();
    HideHint();
    if (m_menu.IsOpen()) {
        // The second click of a double click on a list field is still the
        // press that opened the list, unless the pointer went to another row.
        m_listPress = doubleClick && m_listPress == ListPress::kReleased ? ListPress::kHeld : ListPress::kNone;
        m_menu.CloseIfOutside(flags, x, y);
        if (!m_menu.IsOpen()) {
            LeaveMenuAt(x, y);
            HoverAt(x, y);
        }
        m_menuTookPress = 1;
        return;
    }
    const bool menusSecond = doubleClick && m_menuTookPress;
    m_menuTookPress = 0;
    if (menusSecond) return;
    m_buttonDown = 1;
    m_bandActive = 0;
    GUIObject* w = WidgetAt(x, y);
    if (w && m_editMode) {
        EditMouseDown(flags, x, y, w);
        return;
    }
    m_typingEnded = 0;
    if (!m_editMode) EndTypingUnless(w);
    if (!w) return;
    if (const int menu = w->GetLeftClickMenu(x, y); menu > 0) {
        const GuiPoint at = w->GetLeftClickMenuPos();
        m_clickX = x;
        m_clickY = y;
        m_captured = w;
        // A long list is moved up to fit the window and may open with a row
        // under the pointer: the release of this press is no choice of it.
        if (OpenMenu(menu, at.x, at.y, w)) {
            m_listPress = ListPress::kHeld;
            m_listPressRow = m_menu.ItemAt(x, y);
        }
        return;
    }
    const uint32_t choosers = g_DlgFile.ShownCount();
    Capture(w);
    if (doubleClick)
        w->OnDoubleClick(flags, x, y);
    else
        w->OnMouseDown(flags, x, y);
    EndPressIfChooserRan(choosers, flags, x, y);
}

// A press that opened a file chooser (the sample dialog's "New", the bitmap
// field) has ended by the time the chooser is gone: its release went to the
// chooser, or came while the window took no input. Left held, the pressed
// widget would take the next click's moves and keys. It gets its release at
// once, as if the button had been let go where it was pressed.
void GUIHead::EndPressIfChooserRan(uint32_t choosersBefore, uint32_t flags, int x, int y)
{
    if (g_DlgFile.ShownCount() == choosersBefore) return;
    m_buttonDown = 0;
    GUIObject* c = m_captured;
    if (!c || IsEditType(c)) return;
    m_captured = nullptr;
    c->OnMouseUp(flags & ~uint32_t(1), x, y);
}

// A pressed widget takes the mouse; an edit field also takes the keyboard
// from whichever widget had it.
void GUIHead::Capture(GUIObject* w)
{
    if (IsEditType(w)) {
        DeactivateAll(true);
        w->Activate();
    }
    m_captured = w;
}

void GUIHead::EndTypingUnless(const GUIObject* pressed)
{
    GUIObject* c = m_captured;
    if (!c || c == pressed || !IsEditType(c) || !c->IsActive()) return;
    m_captured = nullptr;
    m_typingEnded = 1;
    if (auto* field = dynamic_cast<GUIEditField*>(c))
        field->EndTyping();
    else
        c->Deactivate();
}

void GUIHead::EndHover()
{
    m_hover = nullptr;
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GUIObject* w = m_widgets[i].get();
        if (!w->IsActive() || IsEditType(w)) continue;
        w->Deactivate();
        m_redrawAll = 1;
    }
}

// The menu took the pointer's moves while it was open: the pointer is where
// the closing click was, and no longer over the widget that opened the menu,
// whose hint would otherwise pop up there once the menu is gone.
void GUIHead::LeaveMenuAt(int x, int y)
{
    m_pointerX = m_previousX = x;
    m_pointerY = m_previousY = y;
    EndHover();
    EndMenuPress();
}

// A left-click menu keeps the widget that opened it captured, and the
// press's release went to the menu. Once the menu is gone and no button is
// held, that widget lets go as at a release (an edit field being typed in
// keeps the keyboard): held on, it would take every move, and nothing under
// the pointer would light up or show its hint until the next click.
void GUIHead::EndMenuPress()
{
    if (m_menu.IsOpen() || m_buttonDown) return;
    LetGoUnlessTyping();
}

// Only an edit field being typed in holds on to the mouse and the keys
// between presses. One whose editing has ended (Enter, Esc, a list opened
// without typing) is an ordinary widget again: held on, it would keep every
// move from lighting and hinting what lies under the pointer, and every key
// from the hovered widget.
void GUIHead::LetGoUnlessTyping()
{
    if (m_captured && !(IsEditType(m_captured) && m_captured->IsActive())) m_captured = nullptr;
}

void GUIHead::OnMouseLeave()
{
    m_dead.clear();
    if (m_menu.IsOpen() || m_editMode) return;
    EndHover();
    HideHint();
}

void GUIHead::OnMouseMove(uint32_t flags, int x, int y)
{
    m_dead.clear();
    if (m_menu.IsOpen()) {
        m_menu.MouseMove(flags, x, y);
        if (m_listPress != ListPress::kNone && m_menu.ItemAt(x, y) != m_listPressRow) m_listPress = ListPress::kNone;
        return;
    }
    // A move without the button after a press whose release never came
    // (let go outside the window): the release is due first, or the
    // pressed widget would go on taking keys meant for nobody.
    if (m_buttonDown && !(flags & 1) && !m_editMode && m_captured && !IsEditType(m_captured))
        OnMouseUp(flags, x, y);
    m_pointerX = x;
    m_pointerY = y;
    m_hover = nullptr;
    // In edit mode active means selected: hovering must not change the
    // selection. Moving a selection is the layout editor's.
    if (m_editMode) {
        if (m_buttonDown && (flags & 1)) EditMouseMove(x, y);
        return;
    }
    if (GUIObject* c = m_captured) {
        if (flags & 1)
            c->OnMouseDrag(flags, x, y);
        else if (GUIObject* w = WidgetAt(x, y))
            w->OnMouseMove(x, y);
        return;
    }
    HoverAt(x, y);
}

void GUIHead::HoverAt(int x, int y)
{
    if (m_captured || m_editMode || m_menu.IsOpen()) return;
    GUIObject* w = WidgetAt(x, y);
    // Onto the background or a dialog's frame: the widget just left shows
    // its caption again.
    if (!w || w->layer <= 1 || IsDialog(w)) EndHover();
    if (!w) return;
    if (!w->IsActive() && w->layer > 1 && !IsDialog(w)) {
        DeactivateAll(false);
        if (!IsEditType(w)) {
            w->Activate();
            m_redrawAll = 1;
        }
    }
    m_hover = w;
    w->OnMouseMove(x, y);
}

void GUIHead::OnMouseUp(uint32_t flags, int x, int y)
{
    m_dead.clear();
    m_buttonDown = 0;
    if (m_menu.IsOpen()) {
        if (m_listPress == ListPress::kHeld) {
            m_listPress = ListPress::kReleased;
            return;
        }
        m_listPress = ListPress::kNone;
        const int row = m_menu.Click(flags, x, y);
        if (!m_menu.IsOpen()) LeaveMenuAt(x, y);
        if (row >= 0) OnMenuResult(row);
        // The pointer rests where the row was: what lies there now takes
        // the keys and shows its hint without waiting for a move.
        HoverAt(x, y);
        return;
    }
    if (m_editMode) {
        if (m_bandActive) EditMouseUp(x, y);
    } else if (m_dropPending) {
        if (GUIObject* w = WidgetAt(x, y)) w->OnDrop(m_dropItem, x, y);
    } else if (GUIObject* c = m_captured) {
        // Edit fields keep the keyboard after the button is released.
        if (!IsEditType(c)) m_captured = nullptr;
        c->OnMouseUp(flags, x, y);
        // A press that ended the typing in an edit field found nothing
        // hovered: the field held the pointer's moves.
        if (m_typingEnded) HoverAt(x, y);
    }
    m_typingEnded = 0;
    m_dropPending = 0;
    m_bandActive = 0;
}

bool GUIHead::OnKey(int key, int ch, uint32_t keyData)
{
    m_dead.clear();
    HideHint();
    if (m_menu.IsOpen()) {
        const int row = m_menu.Key(key);
        EndMenuPress();
        if (row >= 0) OnMenuResult(row);
        return true;
    }
    GUIObject* w = m_captured ? m_captured : m_hover;
    bool handled = w && w->OnKey(key, ch, keyData);
    if (w && w == m_captured && !m_buttonDown) LetGoUnlessTyping();
    if (!handled && m_openDialog > 0 && (key == kEscape || key == kF5 || key == kEnter)) {
        CloseDialog();
        handled = true;
    }
    return handled;
}

bool GUIHead::OnWheel(int key, int a, int b, int x, int y)
{
    m_dead.clear();
    HideHint();
    if (m_menu.IsOpen()) {
        const int row = m_menu.Key(key);
        EndMenuPress();
        if (row >= 0) OnMenuResult(row);
        return true;
    }
    GUIObject* w = m_captured ? m_captured : m_hover;
    bool handled = w && w->OnWheel(key, a, b, x, y);
    if (!handled && m_openDialog > 0 && (key == kEscape || key == kF5 || key == kEnter)) {
        CloseDialog();
        handled = true;
    }
    return handled;
}

void GUIHead::OnContextMenu(int x, int y)
{
    m_dead.clear();
    HideHint();
    if (m_menu.IsOpen()) {
        m_menu.Close();
        EndMenuPress();
    }
    m_clickX = x;
    m_clickY = y;
    GUIObject* w = WidgetAt(x, y);
    m_menuTarget = w;
    if (!w) {
        OpenMenu(kLayoutMenu, x, y, nullptr);
        return;
    }
    if (IsDialog(w) || HasTag(w, "BKGD")) {
        if (x < 80 && y < 40) {
            OpenMenu(kColourMenu, x, y, w);
        } else if (m_editingAllowed) {
            OpenMenu(kLayoutMenu, x, y, w);
        } else if (const int menu = w->GetContextMenu(x, y); menu > 0) {
            const GuiPoint at = w->GetContextMenuPos();
            OpenMenu(menu, at.x, at.y, w);
        }
        return;
    }
    if (const int menu = w->GetContextMenu(x, y); menu > 0) {
        if (m_editingAllowed) {
            OpenMenu(kWidgetEditMenu, x, y, w);
        } else {
            const GuiPoint at = w->GetContextMenuPos();
            OpenMenu(menu, at.x, at.y, w);
        }
    } else if (m_editingAllowed) {
        OpenMenu(kWidgetEditMenu, x, y, w);
    } else if (const int menu = w->GetParameterMenu(Model(), x, y); menu > 0) {
        OpenMenu(menu, x, y, w);
    }
}

void GUIHead::OnIdle()
{
    m_dead.clear();
    if (m_editor && m_editor->TakeRedrawRequest()) m_redrawAll = 1;
    if (m_menu.IsOpen()) return;
    if (m_hintShown) HintTick();
    if (m_redrawAll) {
        m_redrawAll = 0;
        RedrawAll();
        return;
    }
    for (size_t i = 0; i < m_widgets.size(); ++i) m_widgets[i]->PollIdle();
    HintTick();
}

// ---- Menus ------------------------------------------------------------------

bool GUIHead::OpenMenu(int menuId, int x, int y, GUIObject* target)
{
    m_menuTarget = target;
    m_listPress = ListPress::kNone;
    if (!m_surface || menuId <= 0) return false;
    // A menu of what is there now (the MIDI ports) is written as it opens.
    if (m_editor) m_editor->PrepareMenu(menuId);
    if (!m_menu.Open(m_surface, x, y, uint32_t(menuId))) return false;
    m_menuId = menuId;
    return true;
}

void GUIHead::OnMenuResult(int row)
{
    if (row <= 0) return;
    const int value = m_menu.GetEntryValue(row);
    const int menuId = m_menuId;
    if (OnOwnMenu(menuId, value)) return;
    if (m_editor && m_editor->OnMenuCommand(menuId, value)) return;
    if (GUIObject* target = m_menuTarget; target && target->OnMenu(menuId, value)) m_menuTarget = nullptr;
}

bool GUIHead::OnOwnMenu(int menuId, int value)
{
    switch (menuId) {
    case kLayoutMenu: OnLayoutCommand(value); return true;
    case kParameterMenu:
    case kLearnMenu:
    case kWidgetEditMenu: OnParameterMenu(value); return true;
    case kColourMenu: SetColorScheme(value); return true;
    default: return false;
    }
}

void GUIHead::OnParameterMenu(int value)
{
    GUIObject* target = m_menuTarget;
    if (!target) return;
    switch (value) {
    case 50: OpenDialog(m_clickX, m_clickY, 1, 0); break;
    case 51: DeleteMenuTarget(); break;
    case 52: OpenModulationDialog(); break;
    case 53:
        if (m_editor) m_editor->LearnNextController(int(target->GetGroup()), int(target->GetIndex()));
        break;
    case 54:
        if (m_editor) m_editor->ForgetController(int(target->GetGroup()), int(target->GetIndex()));
        break;
    case 55:
        m_clipboardFull = 1;
        m_clipboard = target;
        break;
    default: break;
    }
}


// ---- Dialogs ----------------------------------------------------------------

GUIObject* GUIHead::FindDialogWidget(int dialogId) const
{
    for (const auto& w : m_widgets)
        if (IsDialog(w.get()) && w->dialogId == dialogId) return w.get();
    return nullptr;
}

void GUIHead::DropController()
{
    if (!m_dialog) return;
    if (m_controllerCalls > 0)
        m_retired.push_back(std::move(m_dialog));
    else
        m_dialog.reset();
}

void GUIHead::ReleaseDialogWidgets(int dialogId)
{
    for (const auto& w : m_widgets) {
        if (w->dialogId != dialogId) continue;
        if (m_captured == w.get()) m_captured = nullptr;
        if (m_hover == w.get()) m_hover = nullptr;
        if (w->IsActive()) w->Deactivate();
    }
}

void GUIHead::ShowDialogPanel(GUIObject* dlog)
{
    if (!m_surface) return;
    CGLBitmapCache images;
    m_surface->SetPanel(CGLBitmapCache::Get(dlog->GetImage()), dlog->x, dlog->y);
}

// A dialog or the about box opening over the pointer: the hint of what is
// now covered goes, and nothing under it is hovered any more.
void GUIHead::ForgetHover()
{
    HideHint();
    m_hover = nullptr;
}

void GUIHead::CloseDialog()
{
    if (m_openDialog == kAboutDialog) {
        // Keys close the about box as a click does: its picture goes too.
        CloseAboutBox();
        return;
    }
    if (m_openDialog <= 0) return;
    const int closing = m_openDialog;
    DropController();
    ReleaseDialogWidgets(closing);
    m_openDialog = 0;
    if (m_surface) m_surface->SetPanel(nullptr, 0, 0);
    RedrawAll();
}

void GUIHead::OpenDialog(int x, int y, int dialogId, int argument)
{
    ForgetHover();
    if (m_openDialog != 0) {
        const int closing = m_openDialog;
        DropController();
        ReleaseDialogWidgets(closing);
        m_openDialog = 0;
        RedrawAll();
    }
    GUIObject* dlog = FindDialogWidget(dialogId);
    if (!dlog || dialogId <= 0) {
        RedrawAll();
        return;
    }
    std::unique_ptr<UIBaseDialog> controller = m_dialogFactory ? m_dialogFactory(dialogId) : GUIResource::CreateDialog(dialogId);
    // A dialog that edits a widget has nothing to show without one (a right
    // click on empty space, a command).
    if (controller && controller->NeedsTarget() && !m_menuTarget) {
        RedrawAll();
        return;
    }
    m_openDialog = dialogId;
    if (controller) {
        controller->target = m_menuTarget;
        m_dialog = std::move(controller);
        ++m_controllerCalls;
        m_dialog->LoadFrom(m_menuTarget);
        if (--m_controllerCalls == 0) m_retired.clear();
        if (m_openDialog != dialogId) return;  // the controller closed it
        const int nx = std::clamp(x + 4, 0, std::max(0, ClientWidth() - dlog->w));
        const int ny = std::clamp(y + 4, 0, std::max(0, ClientHeight() - dlog->h));
        const int dx = nx - dlog->x, dy = ny - dlog->y;
        for (const auto& w : m_widgets)
            if (w->dialogId == dialogId) {
                w->x += dx;
                w->y += dy;
            }
        if (dialogId == 10) {
            dlog->SetImageIndex(argument);
            ShowDialogPanel(dlog);
        }
    } else {
        dlog->SetImageIndex(argument);
        ShowDialogPanel(dlog);
    }
    RedrawAll();
}

void GUIHead::OpenModulationDialog()
{
    if (m_menuTarget && m_menuTarget->SetupModulationDialog()) OpenDialog(m_clickX, m_clickY, 10, 0);
}

// ---- Values -----------------------------------------------------------------

bool GUIHead::RouteValue(const CIParameter& d, float value)
{
    if (!m_editor) return false;
    const uint32_t index = d.index;
    switch (d.group) {
    case 0:
        m_editor->SetValue(0, index, value);
        if (CPIBase* model = Model()) model->OnEditorValueChanged(0, int(index), value);
        return true;
    case 1: m_editor->SetValue(1, index, value); return true;
    case 2: m_editor->SetValue(2, index, value); return true;
    case 3: m_editor->SetValue(9, index, value); return true;
    case 9: m_editor->SetValue(54, index, value); return true;
    case 8: m_editor->SetSampleValue(int32_t(index), int32_t(d.sub), value); return true;
    case 7: m_editor->SetValue(index, d.sub, value); return true;
    default: return false;
    }
}

void GUIHead::RedrawSameBinding(const CIParameter* d)
{
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GUIObject* w = m_widgets[i].get();
        if (&w->binding == d || w->binding.kind != d->kind || w->binding.group != d->group ||
            w->binding.index != d->index)
            continue;
        w->Update();
    }
}

bool GUIHead::OnValueChanged(const CIParameter* d, const void* bytes, int length, ValueKind kind)
{
    if (!d) return false;
    if (d->kind == CIParameter::kValue) {
        // The reset binding of a widget whose triple has no descriptor.
        if (d->group == 0 && d->index == 0) return false;
        float value = 0.0f;
        if (kind == ValueKind::kByte) {
            value = bytes && length >= 1 && *static_cast<const uint8_t*>(bytes) != 0 ? 1.0f : 0.0f;
        } else if (kind == ValueKind::kFloat && bytes && length >= 4) {
            memcpy(&value, bytes, sizeof value);
            if (d->displayType == 1) value = value > 0.0f ? 1.0f : 0.0f;
        } else if (kind == ValueKind::kInt && bytes && length >= 4) {
            int32_t n = 0;
            memcpy(&n, bytes, sizeof n);
            // The inverse of the shown trunc(max x value); a max below 1
            // (no range) takes the number as it is.
            value = d->max >= 1.0f ? float(n) / d->max : float(n);
        }
        const bool handled = RouteValue(*d, value);
        if (handled) RedrawSameBinding(d);
        return handled;
    }
    if (d->kind == CIParameter::kCommand) {
        if (d->group == 4) {
            if (m_openDialog <= 0 || !m_dialog) return false;
            ++m_controllerCalls;
            const bool handled = m_dialog->OnValueChanged(*d, bytes, length, kind);
            --m_controllerCalls;
            if (d->index == 0 && (d->sub == 1 || d->sub == 2)) CloseDialog();
            if (m_controllerCalls == 0) m_retired.clear();
            return handled;
        }
        if (d->group == 5 && d->index == 140) {
            if (m_openDialog >= 1 && m_openDialog <= 99) CloseDialog();
            m_page = int(d->sub);
            m_requestedPage = m_page;
            CPIBase* model = Model();
            if (model && model->GetGUI() == this)
                model->RefreshPartPage();
            else
                RedrawAll();
        }
        return false;
    }
    return d->kind <= 5;
}

bool GUIHead::SetIntValue(const CIParameter* d, uint8_t value)
{
    return OnValueChanged(d, &value, 1, ValueKind::kByte);
}

bool GUIHead::SetFloatValue(const CIParameter* d, float value)
{
    return OnValueChanged(d, &value, 4, ValueKind::kFloat);
}

bool GUIHead::SetTextValue(const CIParameter* d, const char* text)
{
    const char* t = text ? text : "";
    return OnValueChanged(d, t, int(strnlen(t, INT32_MAX)), ValueKind::kText);
}

bool GUIHead::SetStringValue(const CIParameter* d, const char* text)
{
    if (!d) return false;
    if (d->displayType == 14) {
        const int32_t n = LeadingInteger(text);
        return OnValueChanged(d, &n, 4, ValueKind::kInt);
    }
    if (d->displayType == 12 || d->displayType == 15) {
        if (d->group == 3) {
            if (!m_editor) return false;
            m_editor->SetText(9, int32_t(d->index), text ? text : "");
            return true;
        }
        return SetTextValue(d, text);
    }
    return false;
}

double GUIHead::ReadKindZero(const CIParameter& d, bool& found)
{
    found = m_editor != nullptr && !(d.group == 0 && d.index == 0);
    if (!found) return 0.0;
    switch (d.group) {
    case 0:
    case 1:
    case 2: return m_editor->GetValue(d.group, d.index);
    case 3: return m_editor->GetValue(9, d.index);
    case 9: return m_editor->GetValue(54, d.index);
    case 8: return m_editor->GetSampleValue(int32_t(d.index), int32_t(d.sub));
    case 7: return m_editor->GetValue(d.index, 0);
    default: found = false; return 0.0;
    }
}

bool GUIHead::GetValue(const CIParameter* d, double& out)
{
    out = 0.0;
    if (!d) return false;
    bool found = false;
    if (d->kind == CIParameter::kValue) {
        out = ReadKindZero(*d, found);
        if (found && d->displayType == 1) out = out > 0.0 ? 1.0 : 0.0;
    } else if (d->kind == CIParameter::kCommand && d->group == 4 && m_openDialog > 0 && m_dialog) {
        ++m_controllerCalls;
        found = m_dialog->GetValue(*d, out);
        if (--m_controllerCalls == 0) m_retired.clear();
    } else if (d->kind == CIParameter::kCommand && d->group == 5 && d->index == 140) {
        // A page button is lit while its page shows. The sound pages of the
        // other synthesis types stand in for pages 2 to 5, so there the
        // button that led to it stays lit. Page 5 is micro's sound page as
        // well as profi's Mod/FX page: for a part that is not profi's it is
        // a stand-in too.
        found = true;
        const int sub = int(d->sub);
        const CPIBase* model = Model();
        const bool standIn = (m_page >= 6 && m_page <= 13) ||
                             (m_page == 5 && model && model->GetPartSynthesisType(m_currentPart) != 0);
        out = standIn ? (sub == m_requestedPage ? 1.0 : 0.0) : (sub == m_page ? 1.0 : 0.0);
    }
    if (!found) out = 0.0;
    return found;
}

bool GUIHead::GetFloatValue(const CIParameter* d, float& out)
{
    double v = 0.0;
    const bool found = GetValue(d, v);
    out = float(v);
    return found;
}

bool GUIHead::GetIntValue(const CIParameter* d, int& out)
{
    double v = 0.0;
    const bool found = GetValue(d, v);
    out = TruncSaturate(v);
    return found;
}

bool GUIHead::GetBoolValue(const CIParameter* d, bool& out)
{
    double v = 0.0;
    const bool found = GetValue(d, v);
    out = v > 0.0;
    return found;
}

int GUIHead::GetValueText(const CIParameter* d, char* out, size_t size)
{
    if (!out || size == 0) return 0;
    out[0] = '\0';
    if (!d) return 0;
    if (d->kind == CIParameter::kValue && m_editor && !(d->group == 0 && d->index == 0)) {
        bool asked = true;
        switch (d->group) {
        case 0:
        case 1:
        case 2: m_editor->GetText(d->group, int32_t(d->index), out, size); break;
        case 3: m_editor->GetText(9, int32_t(d->index), out, size); break;
        case 9: m_editor->GetText(54, int32_t(d->index), out, size); break;
        case 8: m_editor->GetSampleText(int32_t(d->index), int32_t(d->sub), out, size); break;
        case 7: m_editor->GetText(d->index, 0, out, size); break;
        default: asked = false; break;
        }
        if (asked) return int(strnlen(out, size));
    }
    if (d->kind == CIParameter::kCommand && d->group == 4 && m_openDialog > 0 && m_dialog) {
        ++m_controllerCalls;
        const bool found = m_dialog->GetText(*d, out, size);
        if (--m_controllerCalls == 0) m_retired.clear();
        if (found) return int(strnlen(out, size));
    }
    float v = 0.0f;
    GetFloatValue(d, v);
    const double x = v;
    switch (d->displayType) {
    case 0: snprintf(out, size, "%6.2f", x); break;
    case 1: snprintf(out, size, "%s", v > 0.0f ? "true" : "false"); break;
    case 2: snprintf(out, size, "%4.0f %%", x * 100.0); break;
    case 3: snprintf(out, size, "%4.1f dB", x); break;
    case 4: snprintf(out, size, "%5.2f s", x); break;
    case 5: snprintf(out, size, "%7.0f", x); break;
    case 6: snprintf(out, size, "%4.1f ct", x); break;
    case 7: snprintf(out, size, "%3.2f", (x - 0.5) * 2.0); break;
    case 8:
    case 9:
    case 10:
    case 11:
    case 13: snprintf(out, size, "%5.2f", x); break;
    case 12: {
        const int n = TruncSaturate(double(d->max) * x);
        if (d->listId > 0)
            snprintf(out, size, "%s", CUIMenuResource::TextOfValue(d->listId, n));
        else
            snprintf(out, size, "%6d", n);
        break;
    }
    case 14:
        snprintf(out, size, "%6d",
                 d->kind == CIParameter::kCommand ? TruncSaturate(x) : TruncSaturate(double(d->max) * x));
        break;
    default: break;  // type 15 has no text source here; above 15: empty
    }
    return int(strnlen(out, size));
}

void GUIHead::SetParameter(int group, int index, float value)
{
    if (!m_editor) return;
    m_editor->SetValue(uint32_t(group), uint32_t(index), value);
    if (CPIBase* model = Model()) model->OnEditorValueChanged(group, index, value);
}

double GUIHead::GetParameter(int group, int index)
{
    return m_editor ? m_editor->GetValue(uint32_t(group), uint32_t(index)) : 0.0;
}

const char* GUIHead::GetHoverHint()
{
    const char* hint = m_hover ? m_hover->GetHintId(m_pointerX, m_pointerY) : nullptr;
    return hint ? hint : "";
}

const char* GUIHead::GetParameterText(int group, int index)
{
    m_text[0] = '\0';
    if (m_editor) m_editor->GetText(uint32_t(group), index, m_text, sizeof m_text);
    return m_text;
}

// ---- Assignments and controllers --------------------------------------------

bool GUIHead::IsAssignArmed(const CIParameter* d) const { return d && d->group == 0 && CPIBase::IsAssignArmed(); }

bool GUIHead::GetAssignAmount(const CIParameter* d, int& amount)
{
    amount = 0;
    CPIBase* model = Model();
    return d && d->group == 0 && model && model->FindAssignment(m_currentPart, int(d->index), &amount);
}

// Only sound values take an assignment: another group's index names no
// sound value, and stored as one it would move a value of the program.
void GUIHead::SetAssignAmount(const CIParameter* d, int amount)
{
    if (d && d->group == 0 && m_editor && m_editor->synth)
        m_editor->synth->SetAssignment(m_currentPart, int(d->index), amount);
}

bool GUIHead::GetAssignText(const CIParameter* d, char* out, size_t size)
{
    if (!IsAssignArmed(d) || !out || size == 0) return false;
    int source = 0;
    while (source < 7 && !CPIBase::IsAssignSource(source)) ++source;
    int amount = 0;
    GetAssignAmount(d, amount);
    // The axis as the 8D dialog's menu names it ("none" is the menu's value 0).
    const char* axis = CUIMenuResource::TextOfValue(kAssignMenu, source + 1);
    snprintf(out, size, "%s %+d", axis ? axis : "8D", amount);
    return true;
}

bool GUIHead::HasRouting(const CIParameter* d)
{
    CPIBase* model = Model();
    return d && model && model->HasRouting(int(d->group), int(d->index));
}

int GUIHead::GetController(const CIParameter* d)
{
    return d && m_editor ? m_editor->FindControllerAssignment(int(d->group), int(d->index)) : -1;
}

bool GUIHead::SetController(const CIParameter* d, int controller)
{
    return d && m_editor && m_editor->AssignController(int(d->group), int(d->index), controller);
}

bool GUIHead::TakesController(const CIParameter* d)
{
    return d && CEditor::TakesController(int(d->group), int(d->index));
}

CBrowser* GUIHead::GetBrowser(const CIParameter* d)
{
    return d && m_editor ? m_editor->GetBrowser(*d) : nullptr;
}

void GUIHead::Get8DPoint(int point, double* x, double* y)
{
    if (m_editor) m_editor->Get8DPoint(point, x, y);
}
