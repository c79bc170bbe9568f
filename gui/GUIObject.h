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

#include "params/CIParameter.h"

class CUnifiedDC;
class GUIHead;

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
    virtual uint32_t GetGroup() const { return binding.group; }
    virtual uint32_t GetIndex() const { return binding.index; }

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
};
