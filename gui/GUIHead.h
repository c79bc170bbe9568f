#pragma once
// The GUI manager: owns the window's widgets and is the only way in and out
// of them. It keeps them in drawing order with the current page and the open
// dialog, routes mouse, wheel, key and timer events (given as plain calls)
// to the right widget, runs the pop-up menu, shows hints, and turns a
// widget's values into the editor controller's calls through the widget's
// bound descriptor. Everything here runs on the GUI thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gui/CUIMenu.h"
#include "gui/GUIObject.h"
#include "gui/UIBaseDialog.h"
#include "params/CPIBase.h"

class CEditor;
class CBrowser;

class GUIHead : public CPIBaseListener {
public:
    using WidgetFactory = std::function<std::unique_ptr<GUIObject>(const char* tag)>;
    using DialogFactory = std::function<std::unique_ptr<UIBaseDialog>(int dialogId)>;

    // Menus the manager answers itself.
    static constexpr int kLayoutMenu = 1;
    static constexpr int kParameterMenu = 2;
    static constexpr int kColourMenu = 3;
    static constexpr int kLearnMenu = 4;
    static constexpr int kWidgetEditMenu = 6;  // a widget's menu while editing is allowed
    static constexpr int kAssignMenu = 312;    // "none", then the 8D pad's eight axes
    static constexpr int kAboutDialog = 500;

    // `editor` may be null (no values then); the menu lays out through the
    // parameter model's table view when there is one.
    GUIHead(CUnifiedDC* surface, CEditor* editor);
    ~GUIHead() override;
    GUIHead(const GUIHead&) = delete;
    GUIHead& operator=(const GUIHead&) = delete;

    // ---- The parameter model's listener ----
    int GetCurrentPart() const override { return m_currentPart; }
    int GetPage() const override { return m_page; }
    void SetPage(int page) override;
    // The model's change notice: the next idle tick redraws everything.
    void NotifyParameterChanged() override { m_redrawAll = 1; }
    void OpenDialog(int x, int y, int dialogId, int argument) override;
    void SetCurrentPart(int part) { m_currentPart = part; }
    // The editor is going away.
    void DetachEditor();

    // ---- Widgets ----
    // Makes the widgets AddObject asks for; without one the widget
    // factory's class of the tag is made.
    void SetWidgetFactory(WidgetFactory factory) { m_widgetFactory = std::move(factory); }
    // A widget of the tag, placed and bound to the descriptor (group, index,
    // sub) when index >= 0; a triple without a descriptor leaves the binding
    // reset, which routes no value. Appended to the list.
    GUIObject* AddObject(const char* tag, uint32_t group, int32_t index, uint32_t sub, int layer,
                         int dialogId, int x, int y, int w, int h);
    // Takes a widget made elsewhere and appends it.
    GUIObject* Adopt(std::unique_ptr<GUIObject> widget);
    // Deletes a widget and forgets every reference to it: capture, hover,
    // hint, menu target (closing its menu), clipboard; a dialog whose
    // target or "DLOG" it was closes.
    void DeleteObject(GUIObject* widget);
    // Stable sort by layer: the drawing order.
    void SortByLayer();
    const std::vector<std::unique_ptr<GUIObject>>& Objects() const { return m_widgets; }
    // The topmost visible widget under the point whose shape agrees.
    GUIObject* WidgetAt(int x, int y);
    static bool IsEditType(const GUIObject* widget);
    static bool IsDialog(const GUIObject* widget);

    // ---- Drawing ----
    // Every visible widget, background included, then the whole window.
    // While the pop-up is open only marks a full redraw for after it.
    void RedrawAll();
    // Draws the visible widgets above the background that meet the
    // rectangle, clipped to it, and shows it.
    void RedrawRegion(int left, int top, int right, int bottom);
    // Colour menu result: the surface's colour effect, then a full redraw.
    void SetColorScheme(int value);

    // ---- Input (client pixels; flags 1 left button, 4 Shift, 8 Control) ----
    void OnMouseDown(uint32_t flags, int x, int y);
    void OnDoubleClick(uint32_t flags, int x, int y);
    void OnMouseMove(uint32_t flags, int x, int y);
    void OnMouseUp(uint32_t flags, int x, int y);
    // The pointer left the window: nothing is hovered any more.
    void OnMouseLeave();
    bool OnKey(int key, int ch, uint32_t keyData);
    bool OnWheel(int key, int a, int b, int x, int y);
    void OnContextMenu(int x, int y);
    // The 50 ms tick.
    void OnIdle();

    // ---- Values through a widget's binding ----
    bool OnValueChanged(const CIParameter* d, const void* bytes, int length, ValueKind kind);
    bool SetIntValue(const CIParameter* d, uint8_t value);
    bool SetFloatValue(const CIParameter* d, float value);
    bool SetTextValue(const CIParameter* d, const char* text);
    // Display type 14: the integer the text begins with (saturated); 12 and
    // 15: the text itself.
    bool SetStringValue(const CIParameter* d, const char* text);
    bool GetValue(const CIParameter* d, double& out);
    bool GetFloatValue(const CIParameter* d, float& out);
    bool GetIntValue(const CIParameter* d, int& out);
    bool GetBoolValue(const CIParameter* d, bool& out);
    // Writes the value's text (cut to size) and answers its length.
    int GetValueText(const CIParameter* d, char* out, size_t size);

    // ---- Values by editor group ----
    void SetParameter(int group, int index, float value);
    double GetParameter(int group, int index);
    const char* GetParameterText(int group, int index);
    // The hint of the widget under the pointer, empty when it has none: the
    // header's hint line shows it.
    const char* GetHoverHint();

    // ---- Modulation assignment and controllers ----
    // Whether a drag of the widget bound to d sets a depth: an 8D axis is
    // armed and d is a sound value (mixer and master values take none).
    bool IsAssignArmed(const CIParameter* d) const;
    bool GetAssignAmount(const CIParameter* d, int& amount);
    void SetAssignAmount(const CIParameter* d, int amount);
    // While an 8D axis is armed a drag sets a depth, not the value: what the
    // widget shows in place of its value, the axis and its depth on this
    // value ("8D 1-X +40"). False, and nothing written, while none is armed.
    bool GetAssignText(const CIParameter* d, char* out, size_t size);
    bool HasRouting(const CIParameter* d);
    int GetController(const CIParameter* d);
    bool SetController(const CIParameter* d, int controller);
    // Whether a controller assigned to the value would move it.
    bool TakesController(const CIParameter* d);
    CBrowser* GetBrowser(const CIParameter* d);
    // An item dragged out of a list browser: delivered to the widget under
    // the pointer when the button is released.
    void SetPendingDrop(int item)
    {
        m_dropPending = 1;
        m_dropItem = item;
    }
    void Get8DPoint(int point, double* x, double* y);
    bool EditGesture() { return true; }

    // ---- The layout file ----
    // Reads the layout from the program folder. Without a file, the default
    // layout (a background, one knob and the properties dialog); a file
    // that is refused is reported in an "Error" box and the debug log, and
    // the default layout shows instead.
    void LoadLayout();
    // Writes the layout, while layout editing is allowed, through a
    // temporary file renamed over the old one. A refused file is kept
    // unless `overwriteRefused`. False, reported, when it could not be
    // written (the old file stays).
    bool SaveLayout(bool overwriteRefused = false);
    void AddDefaultLayout();
    void AddDefaultPropertiesDialog();
    bool IsLayoutRefused() const { return m_layoutRefused; }
    bool IsEditingAllowed() const { return m_editingAllowed != 0; }

    // ---- Dialogs ----
    // The about overlay (an "ABOX" widget) on or off.
    void ToggleAboutBox();
    // The overlay closed itself.
    void CloseAboutBox();
    void SetDialogFactory(DialogFactory factory) { m_dialogFactory = std::move(factory); }
    void CloseDialog();
    int GetOpenDialog() const { return m_openDialog; }
    UIBaseDialog* GetDialogController() const { return m_dialog.get(); }
    void OpenModulationDialog();

    // ---- Menus ----
    // Opens a pop-up for the target widget (may be null); false when the
    // menu has no rows.
    bool OpenMenu(int menuId, int x, int y, GUIObject* target);
    void OnMenuResult(int row);
    bool OnOwnMenu(int menuId, int value);
    void OnParameterMenu(int value);
    void OnLayoutCommand(int value);

    // ---- The layout editor ----
    // A widget of the insert menu's type number at the click point (in the
    // open dialog, on layer 11); nothing for a number without a widget.
    GUIObject* InsertByType(int typeNumber);
    // Deletes the menu target and releases the images no other widget uses.
    void DeleteMenuTarget();
    // A copy of the clipboard widget's settings at the click point, on the
    // current page only.
    GUIObject* Paste();
    // Every widget bound to (group 0, any index, sub) is bound to the row
    // (0, index, sub); false when that row does not exist.
    bool RebindBySub(uint32_t sub, uint32_t index);
    CPIBase* GetModel() const { return Model(); }
    void SetMenuTarget(GUIObject* w, int x, int y)
    {
        m_menuTarget = w;
        m_clickX = x;
        m_clickY = y;
    }
    GuiPoint GetClickPoint() const { return {m_clickX, m_clickY}; }
    CUIMenu& Menu() { return m_menu; }

    // ---- State, for the window and the tests ----
    CUnifiedDC* GetSurface() const { return m_surface; }
    CEditor* GetEditor() const { return m_editor; }
    GUIObject* GetCaptured() const { return m_captured; }
    GUIObject* GetHover() const { return m_hover; }
    GUIObject* GetHinted() const { return m_hinted; }
    GUIObject* GetMenuTarget() const { return m_menuTarget; }
    GUIObject* GetClipboard() const { return m_clipboardFull ? m_clipboard : nullptr; }
    int GetMenuId() const { return m_menuId; }
    bool IsHintShown() const { return m_hintShown != 0; }
    GuiRect GetHintBox() const { return m_hintBox; }
    bool IsRedrawAllPending() const { return m_redrawAll != 0; }
    void SetEditingAllowed(bool on) { m_editingAllowed = on; }
    void SetEditMode(bool on) { m_editMode = on; }
    bool IsEditMode() const { return m_editMode != 0; }

private:
    CPIBase* Model() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void HideHint();
    void ForgetHover();
    void EndPressIfChooserRan(uint32_t choosersBefore, uint32_t flags, int x, int y);
    void HintTick();
    void LeaveMenuAt(int x, int y);
    // What a move to the point lights and hovers, without a captured widget.
    void HoverAt(int x, int y);
    // A press elsewhere ends the typing in the captured edit field as Enter
    // does.
    void EndTypingUnless(const GUIObject* pressed);
    void EndMenuPress();
    void LetGoUnlessTyping();
    void Press(uint32_t flags, int x, int y, bool doubleClick);
    void ShowHint();
    void DeactivateAll(bool redraw);
    // Ends the hover highlight: widgets lit by the pointer go dark, an edit
    // field being typed in keeps its focus.
    void EndHover();
    void Capture(GUIObject* w);
    // Edit mode's mouse: select, move, rubber band.
    void EditMouseDown(uint32_t flags, int x, int y, GUIObject* w);
    void EditMouseMove(int x, int y);
    void EditMouseUp(int x, int y);
    void LeaveEditMode();
    // The dialog's controller, deleted now or, while one of its own calls
    // runs, once that call returns.
    void DropController();
    // Widgets of the dialog stop being captured, hovered or active.
    void ReleaseDialogWidgets(int dialogId);
    GUIObject* FindDialogWidget(int dialogId) const;
    void ShowDialogPanel(GUIObject* dlog);
    bool RouteValue(const CIParameter& d, float value);
    void RedrawSameBinding(const CIParameter* d);
    double ReadKindZero(const CIParameter& d, bool& found);

    CUnifiedDC* m_surface;
    CEditor* m_editor;
    std::vector<std::unique_ptr<GUIObject>> m_widgets;
    std::vector<std::unique_ptr<GUIObject>> m_dead;  // deleted, freed at the next event
    int m_page = 2;
    int m_requestedPage = 2;  // the page the last page button asked for
    int m_openDialog = 0;
    int m_currentPart = 0;
    CUIMenu m_menu;
    int m_clickX = 0, m_clickY = 0;
    GUIObject* m_captured = nullptr;
    GUIObject* m_menuTarget = nullptr;
    int m_menuId = 0;
    int m_listId = 0;
    std::unique_ptr<UIBaseDialog> m_dialog;
    std::vector<std::unique_ptr<UIBaseDialog>> m_retired;  // closed during their own call
    int m_controllerCalls = 0;
    uint8_t m_redrawAll = 0;
    uint8_t m_editingAllowed = 0;
    uint8_t m_editMode = 0;
    uint8_t m_buttonDown = 0;
    uint8_t m_bandActive = 0;
    uint8_t m_menuTookPress = 0;  // the last press went to the open menu
    // The press that opened a list, until the pointer moves onto another row
    // of it: its release (and a double click's second click) chooses nothing.
    enum class ListPress : uint8_t { kNone, kHeld, kReleased };
    ListPress m_listPress = ListPress::kNone;
    int m_listPressRow = -1;  // the row under that press, or -1
    uint8_t m_typingEnded = 0;  // the last press ended the typing in an edit field
    int m_bandStartX = 0, m_bandStartY = 0, m_bandEndX = 0, m_bandEndY = 0;
    uint8_t m_dropPending = 0;
    int m_dropItem = 0;
    uint8_t m_clipboardFull = 0;
    GUIObject* m_clipboard = nullptr;
    int m_pointerX = 0, m_pointerY = 0;
    int m_previousX = 0, m_previousY = 0;
    GUIObject* m_hinted = nullptr;
    GUIObject* m_hover = nullptr;
    uint8_t m_hintShown = 0;
    GuiRect m_hintBox;
    char m_text[64] = {};
    CUIMenuResource m_ownView;  // when there is no parameter model
    WidgetFactory m_widgetFactory;
    bool m_layoutRefused = false;
    DialogFactory m_dialogFactory;
};
