#pragma once
// Stands in for a widget whose class this program does not have yet: it
// keeps its tag and its record so that a layout saves back as it was read,
// and draws nothing.
#include "gui/GUIObject.h"

class GUIPlaceholder : public GUIObject {
public:
    explicit GUIPlaceholder(const char* tag) : GUIObject(tag) {}

    // The (group, index, sub) the record held, kept even when no descriptor
    // answers to it, and written back in place of the binding's.
    uint32_t storedGroup = 0, storedIndex = 0, storedSub = 0;
};
