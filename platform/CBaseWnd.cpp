#include "platform/CBaseWnd.h"

#include <algorithm>

#include "editor/CEditor.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"

namespace {

std::string g_lastError;
// The open window, for the cursor calls that name none.
CBaseWnd* g_current = nullptr;

} // namespace

CBaseWnd::CBaseWnd() = default;

CBaseWnd::~CBaseWnd()
{
    Destroy();
}

const std::string& CBaseWnd::LastError()
{
    return g_lastError;
}

bool CBaseWnd::Create(int clientWidth, int clientHeight, void* /*parent*/, CEditor* user)
{
    SetSize(clientWidth, clientHeight);
    g_lastError.clear();
    if (!m_window.Create(kTitle, m_width, m_height, &g_lastError)) return false;
    m_user = user;
    m_window.SetHandler(this);
    g_current = this;
    return true;
}

void CBaseWnd::Destroy()
{
    m_window.SetHandler(nullptr);
    m_window.Destroy();
    if (g_current == this) g_current = nullptr;
}

void CBaseWnd::SetTimer(uint32_t id, uint32_t ms)
{
    m_window.StartTimer(static_cast<int>(id), static_cast<int>(ms));
}

void CBaseWnd::Paint(CUnifiedDC* dc)
{
    if (dc && m_window.IsOpen()) dc->PresentAll(&m_window);
}

void CBaseWnd::SetCursorShape(int shape)
{
    if (g_current) g_current->m_window.SetCursorShape(shape);
}

bool CBaseWnd::SetSize(int width, int height)
{
    m_width = std::max(width, 100);
    m_height = std::max(height, 100);
    return true;
}

GUIHead* CBaseWnd::Gui() const
{
    return m_user ? m_user->GetGUI() : nullptr;
}

void CBaseWnd::OnMouseMove(uint32_t flags, int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnMouseMove(flags, x, y);
}

void CBaseWnd::OnMouseDown(uint32_t flags, int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnMouseDown(flags, x, y);
}

void CBaseWnd::OnMouseUp(uint32_t flags, int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnMouseUp(flags, x, y);
}

void CBaseWnd::OnMouseLeave()
{
    if (GUIHead* gui = Gui()) gui->OnMouseLeave();
}

void CBaseWnd::OnDoubleClick(uint32_t flags, int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnDoubleClick(flags, x, y);
}

void CBaseWnd::OnContextMenu(int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnContextMenu(x, y);
}

bool CBaseWnd::OnKey(int key, int ch, uint32_t keyData)
{
    GUIHead* gui = Gui();
    return gui && gui->OnKey(key, ch, keyData);
}

void CBaseWnd::OnWheel(int key, int x, int y)
{
    if (GUIHead* gui = Gui()) gui->OnWheel(key, 0, 0, x, y);
}

void CBaseWnd::OnTimer(int id)
{
    if (id == 1 && m_user) m_user->OnTimer();
}

void CBaseWnd::OnPaint()
{
    if (m_user) m_user->OnPaint();
}

void CBaseWnd::OnClose()
{
    if (m_user) m_user->OnDestroy();
}
