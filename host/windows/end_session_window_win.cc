#include "host/windows/end_session_window_win.h"

namespace qoinfo::win {
namespace {

constexpr wchar_t kClassName[] = L"QoInfoAgentEndSession";

}  // namespace

EndSessionWindow::EndSessionWindow(std::function<void()> at_end)
    : m_atEnd(std::move(at_end)) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = &EndSessionWindow::Procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);  // fails harmlessly the second time
  // Top-level (not message-only), never shown.
  m_window = CreateWindowExW(0, kClassName, L"QoInfoAgent", WS_POPUP, 0, 0, 0,
                             0, nullptr, nullptr, GetModuleHandleW(nullptr),
                             this);
}

EndSessionWindow::~EndSessionWindow() {
  if (m_window != nullptr) DestroyWindow(m_window);
}

LRESULT CALLBACK EndSessionWindow::Procedure(HWND window, UINT message,
                                             WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<EndSessionWindow*>(
      GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE && self != nullptr && self->m_atEnd) self->m_atEnd();
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace qoinfo::win
