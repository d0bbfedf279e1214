#include "checks/machine_win32.h"
#include "framework/unique_handle_win32.h"

namespace lantern {

bool Win32AdminToken::IsUserAdmin() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  UniqueSid administrators;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, administrators.put())) {
    return false;
  }
  BOOL member = FALSE;
  // No token: the calling thread's effective one.
  if (!CheckTokenMembership(nullptr, administrators.get(), &member)) return false;
  return member == TRUE;
}

}  // namespace lantern
