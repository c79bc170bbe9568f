#pragma once
// The controller of an open layout dialog (properties, modulation): it loads
// its fields from the widget it edits and takes the values of the dialog's
// own widgets (descriptor group 4).
#include <cstddef>
#include <cstdint>

class CIParameter;
class GUIObject;

// What a widget sent with a value, so that the receiver decodes it as sent:
// a button's byte, a knob's float, a text field's characters, a number
// typed into a field (an int32 of the shown scale).
enum class ValueKind : uint8_t { kByte, kFloat, kText, kInt };

class UIBaseDialog {
public:
    virtual ~UIBaseDialog() = default;
    // Fills the dialog from the widget it edits.
    virtual void LoadFrom(GUIObject* widget) { target = widget; }
    // A value of one of the dialog's fields; true when taken.
    virtual bool OnValueChanged(const CIParameter& field, const void* bytes, int length,
                                ValueKind kind)
    {
        (void)field; (void)bytes; (void)length; (void)kind;
        return false;
    }
    // The value a field shows; false when the dialog has none for it.
    virtual bool GetValue(const CIParameter& field, double& out)
    {
        (void)field;
        out = 0.0;
        return false;
    }
    // The text a field shows (an image's name); false when it has none.
    virtual bool GetText(const CIParameter& field, char* out, size_t size)
    {
        (void)field; (void)out; (void)size;
        return false;
    }
    // A dialog that edits a widget cannot open without one.
    virtual bool NeedsTarget() const { return true; }

    GUIObject* target = nullptr;
};
