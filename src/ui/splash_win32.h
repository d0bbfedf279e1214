// The splash window: the product's picture in a thin border, shown while the
// payload is extracted and the front end starts. The run sequence shows,
// hides and ends it.
#pragma once

#include "framework/dialog_win32.h"

namespace lantern {

class CSplashDlg : public CDialog {
 public:
  CSplashDlg();
  // Makes the window, hidden, centred on the screen.
  BOOL Create();

  HICON AppIcon;

 protected:
  BOOL OnInitDialog() override;
};

}  // namespace lantern
