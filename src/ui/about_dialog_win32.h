// The About box: the product's name, the bootstrapper's version and the
// copyright line, opened from the notice dialog's system menu.
#pragma once

#include "core/config_strings.h"
#include "framework/dialog_win32.h"

namespace lantern {

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(const StringTable& strings, CWnd* owner = nullptr);

 protected:
  BOOL OnInitDialog() override;

 private:
  const StringTable& strings_;
};

}  // namespace lantern
