// The widget factory's table: one row per tag. A class joins with one row,
// Row<Class>("TAG", type number).
#include <memory>

#include "editor/CUI8D.h"
#include "editor/CUIAboutBox.h"
#include "editor/CUIKeyboard.h"
#include "editor/CUIMEnvelope.h"
#include "editor/CUIMWheel.h"
#include "editor/CUIPartButton.h"
#include "editor/CUIPartialEditor.h"
#include "editor/CUISequCtrl.h"
#include "editor/CUISlider.h"
#include "editor/CUISongSequencer.h"
#include "editor/CUIStepSequencer.h"
#include "editor/CUIWaveEditor.h"
#include "gui/GUIBackground.h"
#include "gui/GUIBrowser.h"
#include "gui/GUIButton.h"
#include "gui/GUICatButtons.h"
#include "gui/GUIDialog.h"
#include "gui/GUIEditField.h"
#include "gui/GUIEditSelection.h"
#include "gui/GUIInfo.h"
#include "gui/GUIKnob.h"
#include "gui/GUILMeter.h"
#include "gui/GUIPicture.h"
#include "gui/GUIResource.h"
#include "gui/GUISelection.h"
#include "gui/GUISpinBPM.h"
#include "gui/GUISpinField.h"
#include "gui/GUITextField.h"

namespace {

template <class T>
std::unique_ptr<GUIObject> Make(const char*)
{
    return std::make_unique<T>();
}

template <class T>
bool Copy(GUIObject& target, const GUIObject& source)
{
    auto* t = dynamic_cast<T*>(&target);
    auto* s = dynamic_cast<const T*>(&source);
    if (!t || !s || typeid(*t) != typeid(*s)) return false;
    *t = *s;
    return true;
}

template <class T>
constexpr GUIResource::WidgetType Row(const char* tag, int typeNumber)
{
    return {tag, typeNumber, &Make<T>, &Copy<T>};
}

const GUIResource::WidgetType kTypes[] = {
    // The standard widgets.
    Row<GUIBackground>("BKGD", 0),
    Row<GUIButton>("BTTN", 6),
    Row<GUIDialog>("DLOG", 18),
    Row<GUIEditField>("EDIT", 8),
    Row<GUITextField>("TEXT", 5),
    Row<GUIKnob>("KNOB", 1),
    Row<GUISelection>("SLCT", 11),
    Row<GUIEditSelection>("EDTS", 12),
    Row<GUISpinField>("SPIN", 7),
    Row<GUIPicture>("PICT", 52),
    Row<GUILMeter>("LMTR", 27),
    Row<GUIInfo>("INFO", 28),
    Row<GUICatButtons>("CATB", 59),
    Row<GUISpinBPM>("SBPM", 54),
    // The list browser.
    Row<GUIBrowser>("BRWS", 58),
    // The synthesizer's own widgets.
    Row<CUISlider>("SLDR", 3),
    Row<CUIMWheel>("MWHL", 14),
    Row<CUIMEnvelope>("MENV", 16),
    Row<CUIWaveEditor>("WEDT", 17),
    Row<CUIPartialEditor>("PEDT", 48),
    Row<CUIPartButton>("PBTN", 21),
    Row<CUISequCtrl>("SCTR", 30),
    Row<CUIStepSequencer>("STSQ", 31),
    Row<CUISongSequencer>("SOSQ", 32),
    Row<CUIKeyboard>("KEYB", 33),
    Row<CUI8D>("UI8D", 53),
    Row<CUIAboutBox>("ABOX", 57),
};

}  // namespace

std::span<const GUIResource::WidgetType> GUIResource::Types() { return kTypes; }
