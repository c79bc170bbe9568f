#pragma once
// The main window: a fixed client area on the desktop whose events go to the
// editor controller (paint, timer, close) or to the GUI manager the editor
// owns (mouse, wheel, keys, context menu). The editor embeds one and opens
// it with its own size.
#include <cstdint>
#include <string>

#include "os/OWindow.h"

class CEditor;
class CUnifiedDC;
class GUIHead;

class CBaseWnd : public os::IWindowEvents {
public:
    static constexpr const char* kTitle = "ZAVO";

    CBaseWnd();
    ~CBaseWnd() override;
    CBaseWnd(const CBaseWnd&) = delete;
    CBaseWnd& operator=(const CBaseWnd&) = delete;

    // Opens the window at the top-left of the desktop with the client size.
    // False when there is no display (the reason is in LastError).
    bool Create(int clientWidth, int clientHeight, void* parent, CEditor* user);
    // Closes the window; its events stop.
    void Destroy();
    bool IsOpen() const { return m_window.IsOpen(); }
    void GetClientRect(int& width, int& height) const { m_window.GetClientSize(width, height); }
    // Timer events every ms milliseconds, at most one waiting.
    void SetTimer(uint32_t id, uint32_t ms);
    // Shows the whole surface (the desktop gives no update rectangle).
    void Paint(CUnifiedDC* dc);
    // 0 hides the cursor, 1 the arrow, 2..12 the other shapes.
    static void SetCursorShape(int shape);
    // Stores the size, each side at least 100.
    bool SetSize(int width, int height);
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

    // The message loop: runs until the window was closed or the process was
    // asked to stop (SIGINT, SIGTERM).
    void Run() { m_window.Run(); }
    IDrawWindow* GetDrawWindow() { return &m_window; }
    os::OWindow& Window() { return m_window; }
    // Why the last Create failed.
    static const std::string& LastError();

    // ---- Events of the window ----
    void OnMouseMove(uint32_t flags, int x, int y) override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseLeave() override;
    void OnDoubleClick(uint32_t flags, int x, int y) override;
    void OnContextMenu(int x, int y) override;
    bool OnKey(int key, int ch, uint32_t keyData) override;
    void OnWheel(int key, int x, int y) override;
    void OnTimer(int id) override;
    void OnPaint() override;
    void OnClose() override;

private:
    GUIHead* Gui() const;

    os::OWindow m_window;
    CEditor* m_user = nullptr;
    int m_width = 0;
    int m_height = 0;
};
