// Program start: the application object, the main window, and its message loop until the
// window is closed. Everything runs on this thread, the dump included.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "app/application.h"
#include "app/main_form.h"
#include "session/debug_privilege.h"

namespace {

bool PreTranslate(const MSG& msg) { return MainForm != nullptr && MainForm->PreTranslateMessage(msg); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  try {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    TApplication application(instance);
    application.SetTitle(L"Tarnholm");
    if (!TMainForm::RegisterClasses(instance)) return 0;
    // Before the process list opens any process; a failure is said by the attach later.
    EnableDebugPrivilege();
    TMainForm form(instance, application.Handle);
    if (form.Handle == nullptr) return 0;
    application.ShowButton();
    application.Run(form.Handle, &PreTranslate);
  } catch (const std::exception& error) {
    MessageBoxA(nullptr, error.what(), "Tarnholm", MB_OK | MB_ICONSTOP);
  }
  return 0;
}
