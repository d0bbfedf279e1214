// The signature check and the reading of signer details with the trust
// provider or one CryptoAPI function replaced: the statuses and failures
// Wine does not produce, the exact request made of the trust provider, and
// that everything opened is closed on every path.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they build on.
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <functional>
#include <string>

#include "bitness.h"
#include "e2e_paths.h"
#include "e2e_support.h"
#include "memory_log.h"
#include "trust/signer_details_win32.h"
#include "trust/verify_signature_win32.h"

namespace lantern::e2e {
namespace {

using testing_fakes::MemoryLog;

// ---- the trust provider ----------------------------------------------------

struct TrustCall {
  HWND window = reinterpret_cast<HWND>(1);
  GUID action{};
  WINTRUST_DATA data{};
  WINTRUST_FILE_INFO file{};
  std::wstring path;
  LONG status = 0;
  DWORD last_error = 0;
};
TrustCall trust_call;

LONG WINAPI FakeWinVerifyTrust(HWND window, GUID* action, LPVOID data) {
  trust_call.window = window;
  trust_call.action = *action;
  std::memcpy(&trust_call.data, data, 48);
  trust_call.file = *trust_call.data.pFile;
  trust_call.path = trust_call.file.pcwszFilePath;
  SetLastError(trust_call.last_error);
  return trust_call.status;
}

// A file held open as the run holds its own (this program's file), under the
// name the test gives it.
OwnFile HeldFile(const std::wstring& path) {
  OwnFile file = OpenOwnFile(GetModulePath(GetModuleFileNameW));
  file.path = path;
  return file;
}

TEST(TrustProvider, IsAskedForTheGenericVerifyActionWithoutWindowOrRevocationCheck) {
  // The structures are filled with their 32-bit sizes and layout.
  LANTERN_SKIP_UNLESS_32_BIT();
  trust_call = {};
  const std::wstring path = L"C:\\Downloads\\Setup.exe";
  const OwnFile file = HeldFile(path);
  ASSERT_TRUE(file.handle);
  std::wstring verdict = L"left over";
  MemoryLog log;
  EXPECT_EQ(VerifyFileSignature(file, verdict, FakeWinVerifyTrust, log.log), 0);

  const GUID generic_verify_v2 = {
      0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
  EXPECT_EQ(trust_call.window, nullptr);
  EXPECT_TRUE(IsEqualGUID(trust_call.action, generic_verify_v2));
  const WINTRUST_DATA& data = trust_call.data;
  EXPECT_EQ(data.cbStruct, 48u);
  EXPECT_EQ(data.pPolicyCallbackData, nullptr);
  EXPECT_EQ(data.pSIPClientData, nullptr);
  EXPECT_EQ(data.dwUIChoice, 2u);           // WTD_UI_NONE
  EXPECT_EQ(data.fdwRevocationChecks, 0u);  // WTD_REVOKE_NONE
  EXPECT_EQ(data.dwUnionChoice, 1u);        // WTD_CHOICE_FILE
  EXPECT_EQ(data.dwStateAction, 0u);        // WTD_STATEACTION_IGNORE
  EXPECT_EQ(data.hWVTStateData, nullptr);
  EXPECT_EQ(data.pwszURLReference, nullptr);
  EXPECT_EQ(data.dwProvFlags, 0x100u);  // WTD_SAFER_FLAG
  EXPECT_EQ(data.dwUIContext, 0u);      // WTD_UICONTEXT_EXECUTE
  EXPECT_EQ(trust_call.file.cbStruct, 16u);
  EXPECT_EQ(trust_call.path, path);
  // The provider reads through the run's handle, so it checks the bytes the
  // run goes on to read.
  EXPECT_EQ(trust_call.file.hFile, file.handle.get());
  EXPECT_EQ(trust_call.file.pgKnownSubject, nullptr);

  EXPECT_EQ(verdict, L"The file \"C:\\Downloads\\Setup.exe\" is signed and the signature was verified.\n");
  EXPECT_EQ(log.Lines(),
            L"Digital verification: 'The file \"C:\\Downloads\\Setup.exe\" is signed and the signature was "
            L"verified.\n'\n");
}

TEST(TrustProvider, StatusesWineDoesNotGiveComeBackUnchangedWithTheirVerdict) {
  struct Case {
    std::uint32_t status, last_error;
    std::wstring verdict;
  };
  const Case cases[] = {
      {0x800B010A, 0x800B010A, L"The certificate in the signature cannot be verified.\n"},
      {0x800B0111, 0, L"The signature is present, but specifically disallowed.\n"},
      {0x800B0004, 0, L"The signature is present, but not trusted.\n"},
      // The last error is the one left by the trust provider itself.
      {0x800B0100, ERROR_ACCESS_DENIED,
       L"An unknown error occurred trying to verify the signature of the \"C:\\a.exe\" file. Error 0x5\n"},
      {0x800B0100, 0x800B0003, L"The file \"C:\\a.exe\" is not signed. Error 0x800b0003\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status);
    trust_call = {};
    trust_call.status = static_cast<LONG>(c.status);
    trust_call.last_error = c.last_error;
    std::wstring verdict;
    MemoryLog log;
    SetLastError(0);
    EXPECT_EQ(static_cast<std::uint32_t>(
                  VerifyFileSignature(HeldFile(L"C:\\a.exe"), verdict, FakeWinVerifyTrust, log.log)),
              c.status);
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(log.Lines(), L"Digital verification: '" + c.verdict + L"'\n");
  }
}

TEST(TrustProvider, WithoutATrustProviderNothingIsAccepted) {
  std::wstring verdict;
  MemoryLog log;
  EXPECT_EQ(
      static_cast<std::uint32_t>(VerifyFileSignature(HeldFile(L"C:\\a.exe"), verdict, nullptr, log.log)),
      0x800B0001u);
  EXPECT_EQ(verdict, L"Error is: 0x800b0001.\n");
}

TEST(TrustProvider, AFileThatCouldNotBeOpenedIsNotCheckedByItsPathInstead) {
  // The provider would accept anything it was asked about.
  trust_call = {};
  OwnFile file;
  file.path = L"C:\\Downloads\\Setup.exe";
  file.open_error = ERROR_SHARING_VIOLATION;
  std::wstring verdict;
  MemoryLog log;
  EXPECT_EQ(static_cast<std::uint32_t>(VerifyFileSignature(file, verdict, FakeWinVerifyTrust, log.log)),
            0x80070020u);
  EXPECT_EQ(trust_call.path, L"");  // never asked
  EXPECT_EQ(verdict,
            L"The file \"C:\\Downloads\\Setup.exe\" cannot be opened to check its signature. Error 0x20\n");
  EXPECT_EQ(log.Lines(), L"Digital verification: '" + verdict + L"'\n");
}

// ---- CryptoAPI -------------------------------------------------------------

// Real CryptoAPI, counting what is opened and closed, with one call made to
// fail or a decoded opus info put in place of the real one.
struct Crypto {
  int fail_msg_get_param_at = 0, msg_get_param_calls = 0;
  int fail_local_alloc_at = 0, local_alloc_calls = 0;
  int fail_decode_at = 0, decode_calls = 0;
  bool no_certificate = false, no_pages = false;
  const SPC_SP_OPUS_INFO* opus = nullptr;
  int queries = 0, stores = 0, messages = 0, contexts = 0;
};
Crypto crypto;
// What the counting functions hand on to.
const CryptoApi real_crypto = LoadCryptoApi();

BOOL WINAPI QueryObject(DWORD type, const void* object, DWORD content, DWORD format, DWORD flags,
                        DWORD* encoding, DWORD* content_type, DWORD* format_type, HCERTSTORE* store,
                        HCRYPTMSG* message, const void** context) {
  ++crypto.queries;
  const BOOL ok = real_crypto.QueryObject(type, object, content, format, flags, encoding, content_type,
                                          format_type, store, message, context);
  if (ok && store && *store) ++crypto.stores;
  if (ok && message && *message) ++crypto.messages;
  return ok;
}
BOOL WINAPI CloseStore(HCERTSTORE store, DWORD flags) {
  --crypto.stores;
  return real_crypto.CloseStore(store, flags);
}
BOOL WINAPI MsgClose(HCRYPTMSG message) {
  --crypto.messages;
  return real_crypto.MsgClose(message);
}
BOOL WINAPI MsgGetParam(HCRYPTMSG message, DWORD type, DWORD index, void* data, DWORD* size) {
  if (++crypto.msg_get_param_calls == crypto.fail_msg_get_param_at) return FALSE;
  return real_crypto.MsgGetParam(message, type, index, data, size);
}
HLOCAL WINAPI LocalAllocate(UINT flags, SIZE_T size) {
  if (++crypto.local_alloc_calls == crypto.fail_local_alloc_at) return nullptr;
  return LocalAlloc(flags, size);
}
LPVOID WINAPI PageAllocate(LPVOID at, SIZE_T size, DWORD type, DWORD protect) {
  return crypto.no_pages ? nullptr : VirtualAlloc(at, size, type, protect);
}
BOOL WINAPI DecodeObject(DWORD encoding, LPCSTR structure, const BYTE* data, DWORD data_size, DWORD flags,
                         void* out, DWORD* size) {
  if (++crypto.decode_calls == crypto.fail_decode_at) return FALSE;
  if (!crypto.opus) return real_crypto.DecodeObject(encoding, structure, data, data_size, flags, out, size);
  if (out) std::memcpy(out, crypto.opus, sizeof(SPC_SP_OPUS_INFO));
  *size = sizeof(SPC_SP_OPUS_INFO);
  return TRUE;
}
PCCERT_CONTEXT WINAPI FindCertificate(HCERTSTORE store, DWORD encoding, DWORD flags, DWORD type,
                                      const void* para, PCCERT_CONTEXT previous) {
  if (crypto.no_certificate) return nullptr;
  PCCERT_CONTEXT found = real_crypto.FindCertificateInStore(store, encoding, flags, type, para, previous);
  if (found) ++crypto.contexts;
  return found;
}
BOOL WINAPI FreeCertificate(PCCERT_CONTEXT context) {
  --crypto.contexts;
  return real_crypto.FreeCertificateContext(context);
}

CryptoApi CountingApi() {
  CryptoApi api = real_crypto;
  api.QueryObject = QueryObject;
  api.CloseStore = CloseStore;
  api.MsgClose = MsgClose;
  api.MsgGetParam = MsgGetParam;
  api.LocalAllocate = LocalAllocate;
  api.PageAllocate = PageAllocate;
  api.DecodeObject = DecodeObject;
  api.FindCertificateInStore = FindCertificate;
  api.FreeCertificateContext = FreeCertificate;
  return api;
}

std::wstring Text(const PageText& text) { return text ? text.get() : L"(none)"; }

constexpr wchar_t kStart[] = L"GetAuthenticodeInformation \n";
constexpr wchar_t kEnd[] = L"GetAuthenticodeInformation Fininshed\n";
constexpr wchar_t kNamedOpus[] =
    L"GetProgAndPublisherInfo pPublisheInfo = null\nGetProgAndPublisherInfo switch MoreInfo 1\n";

TEST(SignerDetailsReading, EveryFailureIsLoggedAndEverythingOpenedIsClosed) {
  const std::wstring named = HostPath(LANTERN_NAMED_EXE);
  struct Case {
    const char* what;
    std::wstring path;
    std::function<void(Crypto&)> arrange;
    bool read;
    std::wstring lines;
    bool program_name, certificate;
  };
  const Case cases[] = {
      {"all goes well", named, [](Crypto&) {}, true, std::wstring(kStart) + kNamedOpus + kEnd, true, true},
      {"no signature", HostPath(LANTERN_UNSIGNED_EXE), [](Crypto&) {}, false, std::wstring(kStart) + kEnd,
       false, false},
      {"the signer information's size cannot be learned", named,
       [](Crypto& c) { c.fail_msg_get_param_at = 1; }, false,
       std::wstring(kStart) + L"GetAuthenticodeInformation failed CryptMsgGetParam\n" + kEnd, false, false},
      {"no memory for the signer information", named, [](Crypto& c) { c.fail_local_alloc_at = 1; }, false,
       std::wstring(kStart) + L"GetAuthenticodeInformation failed Allocate 1\n" + kEnd, false, false},
      {"the signer information cannot be read", named, [](Crypto& c) { c.fail_msg_get_param_at = 2; }, false,
       std::wstring(kStart) + L"GetAuthenticodeInformation failed SignerInfo \n" + kEnd, false, false},
      {"the opus info's size cannot be learned", named, [](Crypto& c) { c.fail_decode_at = 1; }, true,
       std::wstring(kStart) + L"GetProgAndPublisherInfo failed CryptDecodeObject\n" + kEnd, false, true},
      {"no memory for the opus info", named, [](Crypto& c) { c.fail_local_alloc_at = 2; }, true,
       std::wstring(kStart) + L"GetProgAndPublisherInfo failed Allocate1\n" + kEnd, false, true},
      {"the opus info cannot be decoded", named, [](Crypto& c) { c.fail_decode_at = 2; }, true,
       std::wstring(kStart) + L"GetProgAndPublisherInfo failed CryptoDecodeObject\n" + kEnd, false, true},
      {"the signer's certificate is not in the store", named, [](Crypto& c) { c.no_certificate = true; },
       true, std::wstring(kStart) + kNamedOpus + kEnd, true, false},
      // A cut path would name another file.
      {"a path too long to copy", named + L"\\" + std::wstring(MAX_PATH, L'x'), [](Crypto&) {}, false,
       std::wstring(kStart) + L"GetAuthenticodeInformation failed strcpy " + named + L"\\" +
           std::wstring(MAX_PATH, L'x') + L"\n" + kEnd,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    crypto = {};
    c.arrange(crypto);
    const CryptoApi api = CountingApi();
    SignerDetails details;
    MemoryLog log;
    EXPECT_EQ(GetAuthenticodeInformation(c.path, details, api, log.log), c.read);
    EXPECT_EQ(log.Lines(), c.lines);
    EXPECT_EQ(Text(details.ProgramName), c.program_name ? L"Lantern T\u00ebst Installer" : L"(none)");
    EXPECT_EQ(Text(details.MoreInfo), c.program_name ? L"https://www.vantrel.example/more-info" : L"(none)");
    EXPECT_EQ(Text(details.SubjectName), c.certificate ? L"Lantern Test Publisher" : L"(none)");
    EXPECT_EQ(Text(details.IssuerName), c.certificate ? L"Lantern Test Root" : L"(none)");
    EXPECT_EQ(details.SerialNumberSize, c.certificate ? 7u : 0u);
    if (c.certificate) {
      ASSERT_TRUE(details.SerialNumber);
      // 0x4C616E7465726E, least significant byte first.
      EXPECT_EQ(std::memcmp(details.SerialNumber.get(), "nretnaL", 7), 0);
    }
    EXPECT_EQ(crypto.stores, 0);
    EXPECT_EQ(crypto.messages, 0);
    EXPECT_EQ(crypto.contexts, 0);
  }
}

TEST(SignerDetailsReading, WithoutMemoryForTheDetailsTheyStayEmptyAndTheReadingStillSucceeds) {
  crypto = {};
  crypto.no_pages = true;
  SignerDetails details;
  MemoryLog log;
  EXPECT_TRUE(GetAuthenticodeInformation(HostPath(LANTERN_NAMED_EXE), details, CountingApi(), log.log));
  EXPECT_FALSE(details.ProgramName);
  EXPECT_FALSE(details.MoreInfo);
  EXPECT_FALSE(details.SerialNumber);
  EXPECT_EQ(details.SerialNumberSize, 7u);  // a count, not an allocation
  EXPECT_FALSE(details.IssuerName);
  EXPECT_FALSE(details.SubjectName);
  EXPECT_EQ(crypto.stores + crypto.messages + crypto.contexts, 0);
}

TEST(SignerDetailsReading, WithoutCryptoApiNothingIsRead) {
  CryptoApi api = real_crypto;
  api.DecodeObject = nullptr;
  SignerDetails details;
  MemoryLog log;
  EXPECT_FALSE(GetAuthenticodeInformation(HostPath(LANTERN_NAMED_EXE), details, api, log.log));
  EXPECT_EQ(log.Lines(), std::wstring(kStart) + kEnd);
}

TEST(SignerDetailsReading, LinksAreKeptWhenTheyAreUrlsOrFilesAndTheirChoiceIsLogged) {
  wchar_t url[] = L"https://example.test/publisher";
  wchar_t file[] = L"C:\\Publisher\\about.txt";
  SPC_LINK url_link{};
  url_link.dwLinkChoice = SPC_URL_LINK_CHOICE;
  url_link.pwszUrl = url;
  SPC_LINK file_link{};
  file_link.dwLinkChoice = SPC_FILE_LINK_CHOICE;
  file_link.pwszFile = file;
  SPC_LINK moniker_link{};
  moniker_link.dwLinkChoice = SPC_MONIKER_LINK_CHOICE;
  SPC_LINK unknown_link{};
  unknown_link.dwLinkChoice = 7;

  struct Case {
    const char* what;
    SPC_SP_OPUS_INFO opus;
    std::wstring lines, program_name, publisher, more_info;
  };
  const Case cases[] = {
      {"publisher as a file, more info as a moniker",
       {L"Prog", &moniker_link, &file_link},
       L"GetProgAndPublisherInfo switch 1 3\nGetProgAndPublisherInfo switch MoreInfo 2\n",
       L"Prog",
       file,
       L"(none)"},
      {"publisher as a URL, more info as a file",
       {L"", &file_link, &url_link},
       L"GetProgAndPublisherInfo switch 1 1\nGetProgAndPublisherInfo switch MoreInfo 3\n",
       L"",
       url,
       file},
      {"no program name, an unknown choice",
       {nullptr, &unknown_link, nullptr},
       L"GetProgAndPublisherInfo failed pwszProgramName\nGetProgAndPublisherInfo pPublisheInfo = null\n"
       L"GetProgAndPublisherInfo switch MoreInfo 7\n",
       L"(none)",
       L"(none)",
       L"(none)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    crypto = {};
    crypto.opus = &c.opus;
    SignerDetails details;
    MemoryLog log;
    EXPECT_TRUE(GetAuthenticodeInformation(HostPath(LANTERN_NAMED_EXE), details, CountingApi(), log.log));
    EXPECT_EQ(log.Lines(), kStart + c.lines + kEnd);
    EXPECT_EQ(Text(details.ProgramName), c.program_name);
    EXPECT_EQ(Text(details.PublisherInfo), c.publisher);
    EXPECT_EQ(Text(details.MoreInfo), c.more_info);
  }
}

}  // namespace
}  // namespace lantern::e2e
