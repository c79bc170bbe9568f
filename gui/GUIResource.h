#pragma once
// The widget factory, the dialog factory and the layout file.
//
// The factory is one table of (tag, type number, constructor); a widget
// class joins it with one row in GUIResourceTable.cpp.
//
// The layout file: an image section (records "IBMP", a 16-bit id 1..511, a
// 64-byte name and one BMP stream, ended by "IEND"), then 56-byte widget
// records to the end of the file; every number a little-endian 16-bit word.
// It is read from memory in one pass and either taken whole or refused
// whole.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gui/CDIBitmap.h"
#include "gui/GUIObject.h"
#include "gui/UIBaseDialog.h"

class GUIResource {
public:
    using Maker = std::unique_ptr<GUIObject> (*)(const char* tag);
    // Copies a widget's whole state onto another of the same class.
    using Copier = bool (*)(GUIObject& target, const GUIObject& source);
    struct WidgetType {
        const char* tag;
        int typeNumber;  // the layout editor's insert menu value; 0: not insertable
        Maker make;
        Copier copy;
    };

    static constexpr const char* kFileName = "ZAVO.gui";
    static constexpr size_t kImageNameSize = 64;
    static constexpr int kMaxImageId = 511;

    // The rows, in GUIResourceTable.cpp.
    static std::span<const WidgetType> Types();
    // A new widget, initialised; a tag not in the table makes a picture.
    static std::unique_ptr<GUIObject> CreateByTag(const char* tag);
    // The tag of an insert-menu type number; "----" for a number without a
    // row.
    static const char* TagOfType(int typeNumber);
    static std::unique_ptr<GUIObject> CreateByType(int typeNumber);
    // The controller of a layout dialog, or null (a dialog without one).
    static std::unique_ptr<UIBaseDialog> CreateDialog(int dialogId);
    // The target takes the source's whole state when both are of the same
    // class; the background, dialog frames and the about box take nothing.
    static void CopyWidget(GUIObject& target, const GUIObject& source);

    struct Image {
        int id = 0;
        char name[kImageNameSize] = {};
        CDIBitmap bitmap;
    };
    struct Layout {
        std::vector<Image> images;
        std::vector<std::unique_ptr<GUIObject>> widgets;  // file order, all of them
    };
    // Reads a whole layout file. False, with the reason in `error`, when the
    // image section holds anything but "IBMP" records ended by "IEND", an id
    // outside 1..511, or a BMP stream that is refused or runs past the end;
    // `out` is then empty. Nothing is allocated beyond what the bytes hold.
    static bool ReadLayout(std::span<const uint8_t> bytes, Layout& out, std::string& error);
    // The image records (every cache slot 1..511 that holds an image, has a
    // name and is marked used), "IEND", then each widget's record.
    static std::vector<uint8_t> WriteLayout(const std::vector<std::unique_ptr<GUIObject>>& widgets);
    // One widget's record as the file keeps it.
    static std::array<uint8_t, GUIObject::kRecordSize> WriteWidget(const GUIObject& widget);

    // "<program folder>/ZAVO.gui".
    static std::string LayoutPath();
};
