// The drive-letter prompt's dialog: asks for another place for the working
// folder, with the current one preselected so that typing replaces it.
#pragma once

#include <string>

#include "framework/dialog_win32.h"

namespace lantern {

class CTempFolderDialog : public CDialog {
 public:
  explicit CTempFolderDialog(const std::wstring& caption = {});

  std::wstring Caption;
  std::wstring FolderText;
  CEdit FolderEdit;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
};

}  // namespace lantern
