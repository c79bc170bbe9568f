#pragma once
// The properties dialog of the layout editor: shows a widget's rectangle,
// binding, page mask, layer, dialog, text style and images, and writes them
// back when its first button applies them.
#include <cstdint>

#include "gui/GUIObject.h"
#include "gui/UIBaseDialog.h"

class UIPropertiesDialog : public UIBaseDialog {
public:
    // The fields by their sub in the dialog's rows (group 4, index 1).
    enum Field {
        kX = 1, kY = 2, kW = 3, kH = 4, kGroup = 7, kIndex = 8, kSub = 9, kPages = 10, kLayer = 11,
        kDialog = 12, kFont = 20, kRed = 21, kGreen = 22, kBlue = 23, kFirstImage = 100
    };

    void LoadFrom(GUIObject* widget) override;
    bool OnValueChanged(const CIParameter& field, const void* bytes, int length, ValueKind kind) override;
    bool GetValue(const CIParameter& field, double& out) override;
    bool GetText(const CIParameter& field, char* out, size_t size) override;

    // Writes the fields into the target.
    void Apply();
    // Loads a bitmap file as image n (0..15); false, reported, when it
    // could not be loaded (nothing changes then).
    bool TakeImage(int n, const char* name, const char* path);

    int32_t x = 0, y = 0, w = 0, h = 0;
    int32_t images[GUIObject::kProperties] = {};
    int32_t group = 0, index = 0, sub = 0;
    int32_t pageMask = 0, layer = 0, dialogId = 0;
    int32_t font = 0, red = 0, green = 0, blue = 0;

private:
    int32_t* FieldOf(uint32_t sub);
};

// The modulation dialog works by rebinding its own widgets when it opens.
class UIModulationDialog : public UIBaseDialog {};
