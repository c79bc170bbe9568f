#pragma once
// The base of every widget of the window.
//
// A widget is a rectangle on the shared drawing surface, named by a
// four-letter tag, placed on a layer, shown on a set of pages and optionally
// inside one dialog. It carries its own copy of the descriptor it edits (the
// binding); every value it shows or changes travels through the GUI manager
// by that copy. The layout file stores one 56-byte record per widget: the
// tag, the binding's (group, index, sub) triple, the rectangle, page mask,
// dialog, layer and 16 style words, each as a little-endian 16-bit word.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "gui/CUnifiedDC.h"
#include "params/CIParameter.h"

class CPIBase;
class GUIHead;

struct GuiPoint {
    int32_t x = 0, y = 0;
};

class GUIObject {
public:
    static constexpr size_t kTagSize = 4;
    static constexpr size_t kRecordSize = 56;                    // tag and 26 words
    static constexpr size_t kBodySize = kRecordSize - kTagSize;  // what Read takes
    static constexpr int kProperties = 16;

    // `tag` names the class ("KNOB", "BTTN", ...); its first four characters
    // are kept.
    explicit GUIObject(const char* tag);
    virtual ~GUIObject() = default;
    GUIObject(const GUIObject&) = default;
    GUIObject& operator=(const GUIObject&) = default;

    // Back to the state of a new widget: layer 2, every page, main window,
    // 20 x 20 at the origin, no style, not active, binding reset. Subclasses
    // chain to it and clear their own state.
    virtual void Init();
    // Runs after a layout record was read or the widget was placed or edited
    // in the layout editor.
    virtual void AfterLoad() {}
    // True lets the manager open the modulation dialog for this widget.
    virtual bool SetupModulationDialog() { return false; }
    virtual bool IsActive() const { return active != 0; }
    // Edit widgets start editing on Activate and commit on Deactivate.
    virtual void Activate() { active = 1; }
    virtual void Deactivate() { active = 0; }
    // Draws into the surface; answers the rectangle that changed (empty:
    // nothing drawn).
    virtual GuiRect Draw() { return {}; }
    // Asked only once the point lies in the rectangle, so a widget can
    // refine its shape.
    virtual bool HitTest(int x, int y);
    // Mouse flags: 1 left button, 4 Shift, 8 Control.
    virtual void OnMouseDown(uint32_t flags, int x, int y);
    virtual void OnDoubleClick(uint32_t flags, int x, int y);
    virtual void OnMouseUp(uint32_t flags, int x, int y);
    // Pointer over the widget with no button: the arrow cursor.
    virtual void OnMouseMove(int x, int y);
    // Pointer moved with the button held while this widget has the capture.
    virtual void OnMouseDrag(uint32_t flags, int x, int y);
    virtual bool OnKey(int key, int ch, uint32_t keyData);
    // The wheel arrives as a key code.
    virtual bool OnWheel(int key, int a, int b, int x, int y);
    virtual void Slot16(uint32_t, uint32_t, uint32_t) {}
    // A pop-up result neither the manager nor the editor took.
    virtual bool OnMenu(int menuId, int value);
    // Every idle tick while visible: poll the model, Update when it changed.
    virtual void OnIdle() {}
    // An item dragged out of a list browser was released over the widget.
    virtual void OnDrop(int item, int x, int y);
    // A positive menu id makes a left click open that menu instead.
    virtual int GetLeftClickMenu(int x, int y);
    virtual GuiPoint GetLeftClickMenuPos() { return {}; }
    virtual int GetContextMenu(int x, int y);
    virtual GuiPoint GetContextMenuPos() { return {}; }
    // The model's context menu for the bound value ("Modulation", "MIDI
    // learn", "MIDI forget").
    virtual int GetParameterMenu(CPIBase* model, int x, int y);
    // The hint text; null or "" shows none.
    virtual const char* GetHintId(int x, int y);
    virtual void Slot26() {}
    virtual void SetImageIndex(int) {}
    virtual int GetImage() { return 0; }
    virtual uint32_t GetGroup() const { return binding.group; }
    virtual uint32_t GetIndex() const { return binding.index; }

    // Draws this widget again and shows it, with whatever lies above it:
    // nothing for the background layer or while hidden; a dialog widget
    // redraws the whole window (the dialog's panel lies under it).
    void Update();
    // On the current page, and in the main window or the open dialog.
    bool IsVisibleNow() const;
    // The idle step the manager runs for visible widgets.
    void PollIdle();

    // Values addressed by editor group, through the manager.
    void SetValue(int group, int index, float value);
    double GetValue(int group, int index);
    const char* GetValueText(int group, int index);

    // Text in font 0, transparent, spacing 2, at (left + dx, top + dy) and
    // at most right - left wide; a null text draws nothing.
    GuiRect DrawLabel(int left, int top, int right, int bottom, int dx, int dy, const char* text,
                      CUnifiedDC::Colour colour);
    // One centred line in the rectangle, light ink (pale yellow when
    // highlighted); the box of this text and of the one drawn here before
    // is erased first except inside a dialog (an empty text only erases).
    // Answers what changed.
    GuiRect DrawText(int left, int top, int right, int bottom, const char* text, bool highlight);
    // The binding's label centred in the widget's rectangle.
    GuiRect DrawCaption(bool highlight);
    // The short label under a control: a sound value's own name on the
    // current part's synthesis type where that type has one, else the
    // binding's label.
    const char* Caption() const;

    // Layout-edit move: the grab offset on button down (even pixels), then
    // the new origin for each pointer position, kept inside a client area
    // of width x height; answers the union of the old and new rectangles.
    void BeginMove(int px, int py);
    GuiRect MoveWithPointer(int px, int py, int clientWidth, int clientHeight);
    GuiRect Rect() const { return {x, y, x + w, y + h}; }

    // Reads the record that follows the tag (the caller read the tag to make
    // the widget): initialises the widget, takes the fields and binds the
    // descriptor of the stored triple. A triple without a descriptor leaves
    // the binding reset. A short record (the end of a file) reads its
    // missing bytes as 0; bytes past the record are not read.
    void Read(std::span<const uint8_t> body);
    // The whole record, tag first. Each field is stored as its low 16 bits.
    std::array<uint8_t, kRecordSize> Write() const;

    const char* GetTag() const { return tag; }

    CIParameter binding;
    char tag[kTagSize + 1] = {};
    int32_t layer = 2;  // drawing order; 0 = background, drawn only by full redraws
    uint32_t pageMask = 0xFFFFFFFF;  // bit p: shown on page p
    int32_t dialogId = 0;            // 0 = main window
    uint32_t properties[kProperties] = {};  // style words, mostly image ids
    int32_t x = 0, y = 0, w = 20, h = 20;
    // Text style set in the properties dialog, not stored in the layout. A
    // colour applies when red is below 256.
    uint16_t font = 0xFFFF, textRed = 0xFFFF, textGreen = 0xFFFF, textBlue = 0xFFFF;
    uint8_t active = 0;  // hover highlight; selection while editing the layout
    CUnifiedDC* surface = nullptr;  // not owned
    GUIHead* owner = nullptr;       // not owned
    int32_t grabX = 0, grabY = 0;   // pointer minus origin during a layout-edit move
    uint16_t shownTextHalf = 0;     // half the width of what DrawText drew last
    uint8_t shownOverPrint = 0;     // DrawText last covered a caption printed on the page
};
