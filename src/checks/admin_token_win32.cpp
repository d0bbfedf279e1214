#include <memory>
#include <type_traits>

#include "checks/machine_win32.h"

namespace lantern {

namespace {
struct SidFreer {
  void operator()(PSID sid) const { FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<std::remove_pointer_t<PSID>, SidFreer>;
}  // namespace

bool Win32AdminToken::IsUserAdmin() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID allocated = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &allocated)) {
    return false;
  }
  const UniqueSid administrators(allocated);
  BOOL member = FALSE;
  // No token: the calling thread's effective one.
  if (!CheckTokenMembership(nullptr, administrators.get(), &member)) return false;
  return member == TRUE;
}

}  // namespace lantern
