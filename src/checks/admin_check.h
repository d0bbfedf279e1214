// The administrator gate: whether the build asks for administrator rights
// (string 145) and whether the user has them.
#pragma once

#include "core/config_strings.h"

namespace lantern {

// What the gate asks the system about the caller's token.
class AdminToken {
 public:
  virtual ~AdminToken() = default;
  // True when the calling thread's token is a member of the administrators
  // group (S-1-5-32-544); false when that cannot be found out.
  virtual bool IsUserAdmin() = 0;
};

// Rights are required unless string 145 is exactly "0"; a missing entry
// requires them too.
inline bool IsAdminRequired(const StringTable& table) {
  return ReadConfigFlag(LoadConfigString(table, cfg::AdminRequired));
}

}  // namespace lantern
