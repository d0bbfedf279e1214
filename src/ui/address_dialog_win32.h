// Shows a web page's address that could not be opened safely, selected in a
// read-only box, so that the user can copy it into a browser.
#pragma once

#include <string>

#include "core/config_strings.h"
#include "framework/dialog_win32.h"

namespace lantern {

class CAddressDialog : public CDialog {
 public:
  // The caption is the product's name from `strings`.
  CAddressDialog(const std::wstring& address, const StringTable& strings, CWnd* owner = nullptr);

 protected:
  BOOL OnInitDialog() override;
  BOOL OnDialogMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

 private:
  std::wstring address_;
  const StringTable& strings_;
};

}  // namespace lantern
