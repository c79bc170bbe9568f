#pragma once
// Model of the preset browser (placeholder).
class CPresetBrowser {
public:
    CPresetBrowser() = default;
    virtual ~CPresetBrowser() = default;
};
