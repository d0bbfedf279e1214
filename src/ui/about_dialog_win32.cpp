#include "ui/about_dialog_win32.h"

#include <optional>
#include <span>

#include "core/version_resource.h"
#include "ui/resource_ids.h"

namespace lantern {
namespace {

// The version and copyright line of this program's own version record, the
// one its file properties show: 0.0.0.0 and no line when it has none.
VersionRecord OwnVersionRecord() {
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
  const HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return ReadVersionResource(std::span(bytes, ::SizeofResource(nullptr, found))).value_or(VersionRecord{});
}

}  // namespace

CAboutDlg::CAboutDlg(const StringTable& strings, CWnd* owner)
    : CDialog(IDD_LANTERN_ABOUT, owner), strings_(strings) {}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const HWND version_line = GetDlgItem(m_hWnd, IDC_ABOUT_VERSION);
  const std::wstring product = LoadConfigString(strings_, cfg::ProductName);

  std::wstring text;
  FormatConfigString(strings_, cfg::AboutTitle, text, product);
  SetWindowText(text);

  const VersionRecord record = OwnVersionRecord();
  const auto& version = record.version;
  if (version_line) {
    FormatConfigString(strings_, cfg::AboutVersion, text, product, unsigned{version[0]}, unsigned{version[1]},
                       unsigned{version[2]}, unsigned{version[3]});
    ::SetWindowTextW(version_line, text.c_str());
  }
  // The copyright line would otherwise keep the template's placeholder text.
  if (const HWND copyright_line = GetDlgItem(m_hWnd, IDC_ABOUT_COPYRIGHT)) {
    const std::wstring copyright(record.copyright.begin(), record.copyright.end());
    ::SetWindowTextW(copyright_line, copyright.c_str());
  }
  return TRUE;
}

}  // namespace lantern
