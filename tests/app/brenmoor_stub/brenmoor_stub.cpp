// Stand-in for the master-settings program: owns a top-level window of class
// TF_Brenmoor and counts the WM_CLOSE messages it receives without closing.
// WM_APP ends it with the count as exit code, so a test can tell how many
// closes arrived before it asked.
#include <windows.h>

namespace {
int closes = 0;

LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE: ++closes; return 0;
    case WM_APP: PostQuitMessage(closes); return 0;
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"TF_Brenmoor";
  RegisterClassW(&wc);
  CreateWindowExW(0, L"TF_Brenmoor", L"マスタ設定", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                  instance, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return static_cast<int>(message.wParam);
}
