#include "ui/web_page_win32.h"

#include <exdisp.h>
#include <objbase.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "framework/system_dlls_win32.h"
#include "framework/unique_handle_win32.h"
#include "ui/address_dialog_win32.h"

namespace lantern {

namespace {

template <class Interface>
struct ComTraits {
  using Value = Interface*;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { value->Release(); }
};
template <class Interface>
using ComPtr = UniqueResource<ComTraits<Interface>>;

// Texts handed to another process must be real BSTRs. OLEAUT32 is loaded from
// the system folder when first needed.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) {
    using AllocFn = BSTR(WINAPI*)(const OLECHAR*);
    static const auto alloc = SystemFunction<AllocFn>(L"oleaut32.dll", "SysAllocString");
    if (alloc) value_ = alloc(text.c_str());
  }
  ~Bstr() {
    using FreeFn = void(WINAPI*)(BSTR);
    static const auto free = SystemFunction<FreeFn>(L"oleaut32.dll", "SysFreeString");
    if (value_ && free) free(value_);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_ = nullptr;
};

// COM on this thread for as long as the object lives; a thread that has it
// already keeps it as it is.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

// A failure that came back as success without the object asked for.
HRESULT Missing(HRESULT result) { return FAILED(result) ? result : E_NOINTERFACE; }

// The shell's automation object of the desktop's own folder view, living in
// the desktop shell's process: its ShellExecute runs there, with the shell's
// token. `shell_process` names that process.
HRESULT FindDesktopShell(ComPtr<IShellDispatch2>& shell, DWORD& shell_process) {
  ComPtr<IShellWindows> windows;
  HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                    reinterpret_cast<void**>(windows.put()));
  if (FAILED(result) || !windows) return Missing(result);

  VARIANT location{};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT root{};
  root.vt = VT_EMPTY;
  long window = 0;
  ComPtr<IDispatch> desktop;
  result =
      windows.get()->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put());
  // S_FALSE: no desktop window is registered.
  if (result != S_OK || !desktop) return Missing(result == S_FALSE ? E_FAIL : result);

  // Only a shell in another process keeps the page out of this elevated one.
  shell_process = 0;
  GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)), &shell_process);
  if (shell_process == 0 || shell_process == GetCurrentProcessId()) return E_ACCESSDENIED;

  ComPtr<IServiceProvider> services;
  result = desktop.get()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.put()));
  if (FAILED(result) || !services) return Missing(result);
  ComPtr<IShellBrowser> browser;
  result = services.get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                        reinterpret_cast<void**>(browser.put()));
  if (FAILED(result) || !browser) return Missing(result);
  ComPtr<IShellView> view;
  result = browser.get()->QueryActiveShellView(view.put());
  if (FAILED(result) || !view) return Missing(result);
  ComPtr<IDispatch> background;
  result =
      view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.put()));
  if (FAILED(result) || !background) return Missing(result);
  ComPtr<IShellFolderViewDual> folder_view;
  result =
      background.get()->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folder_view.put()));
  if (FAILED(result) || !folder_view) return Missing(result);
  ComPtr<IDispatch> application;
  result = folder_view.get()->get_Application(application.put());
  if (FAILED(result) || !application) return Missing(result);
  result = application.get()->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.put()));
  if (FAILED(result) || !shell) return Missing(result);
  return S_OK;
}

}  // namespace

bool DesktopShellAnswers() {
  const ComApartment apartment;
  ComPtr<IShellDispatch2> shell;
  DWORD shell_process = 0;
  return SUCCEEDED(FindDesktopShell(shell, shell_process));
}

bool Win32WebPageSystem::IsElevated() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  // A system that cannot answer is treated as elevated: no browser is started here.
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return true;
  return elevation.TokenIsElevated != 0;
}

std::int32_t Win32WebPageSystem::OpenThroughDesktopShell(const WebPage& page) {
  const ComApartment apartment;
  ComPtr<IShellDispatch2> shell;
  DWORD shell_process = 0;
  HRESULT result = FindDesktopShell(shell, shell_process);
  if (FAILED(result)) return result;

  const Bstr file(page.address);
  const Bstr verb(page.verb);
  if (!file.get() || (!page.verb.empty() && !verb.get())) return E_OUTOFMEMORY;
  VARIANT empty{};
  empty.vt = VT_EMPTY;
  VARIANT operation{};
  operation.vt = VT_EMPTY;
  if (!page.verb.empty()) {
    operation.vt = VT_BSTR;
    operation.bstrVal = verb.get();
  }
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = page.show;
  // The browser it starts may then come to the front over this process's windows.
  AllowSetForegroundWindow(shell_process);
  result = shell.get()->ShellExecute(file.get(), empty, empty, operation, show);
  if (result == S_OK) return 0;
  // S_FALSE: the shell tried and could not open it. A failure means the
  // request never reached it whole (the shell went away meanwhile).
  return result == S_FALSE ? 1 : static_cast<std::int32_t>(Missing(result));
}

bool Win32WebPageSystem::OpenInThisProcess(const WebPage& page) {
  const auto opened =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, page.verb.empty() ? nullptr : page.verb.c_str(),
                                              page.address.c_str(), nullptr, nullptr, page.show));
  return opened > 32;
}

void Win32WebPageSystem::ShowAddress(const std::wstring& address) {
  CWnd owner;
  owner.m_hWnd = GetActiveWindow();
  CAddressDialog dialog(address, strings_, owner.m_hWnd ? &owner : nullptr);
  dialog.DoModal();
  owner.m_hWnd = nullptr;
}

}  // namespace lantern
