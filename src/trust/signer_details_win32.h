// The signer details of the program's own signature: the opus-info program
// name and links, the signer certificate's serial number, issuer and subject.
// They go to the log; the program name also names the installer.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <wincrypt.h>

#include <memory>
#include <string>

#include "log/log.h"

namespace lantern {

// The CryptoAPI functions and allocators that reading the details uses, so
// that tests can make a single one of them fail.
struct CryptoApi {
  decltype(&::CryptQueryObject) QueryObject = nullptr;
  decltype(&::CryptMsgGetParam) MsgGetParam = nullptr;
  decltype(&::CryptMsgClose) MsgClose = nullptr;
  decltype(&::CertCloseStore) CloseStore = nullptr;
  decltype(&::CryptDecodeObject) DecodeObject = nullptr;
  decltype(&::CertFindCertificateInStore) FindCertificateInStore = nullptr;
  decltype(&::CertGetNameStringW) GetNameString = nullptr;
  decltype(&::CertFreeCertificateContext) FreeCertificateContext = nullptr;
  decltype(&::LocalAlloc) LocalAllocate = nullptr;   // working buffers
  decltype(&::VirtualAlloc) PageAllocate = nullptr;  // the record's texts and serial block

  // Every function is there.
  bool Complete() const;
};

// crypt32.dll from the system folder and the system allocators. A function
// that cannot be found stays null; the module stays loaded.
CryptoApi LoadCryptoApi();

// Releases what the page allocator gave.
struct PageFree {
  void operator()(void* block) const noexcept;
};
using PageText = std::unique_ptr<wchar_t[], PageFree>;
using PageBytes = std::unique_ptr<BYTE[], PageFree>;

// What GetAuthenticodeInformation fills; every field starts empty and each
// block is released with the record.
struct SignerDetails {
  PageText ProgramName;
  PageText PublisherInfo;  // a URL or file link, never logged
  PageText MoreInfo;       // a URL or file link
  DWORD SerialNumberSize = 0;
  PageBytes SerialNumber;  // least significant byte first
  PageText IssuerName;
  PageText SubjectName;
};

// Logs the signer details of the program's own file at `module_path` and sets
// the installer's name: the default, or the signature's program name when it
// has one.
void ReadSignerDetails(const std::wstring& module_path, std::wstring& installer_name, const CryptoApi& api,
                       DiagnosticLog& log);

// Reads the details of the embedded signature of the file at `path` into
// `details`. False when the signer information could not be read (nothing
// is filled then).
bool GetAuthenticodeInformation(const std::wstring& path, SignerDetails& details, const CryptoApi& api,
                                DiagnosticLog& log);

// The opus-info program name and links of a signer.
void GetProgAndPublisherInfo(const CMSG_SIGNER_INFO& signer, SignerDetails& details, const CryptoApi& api,
                             DiagnosticLog& log);

// The serial number and the issuer's and subject's names of the signer's
// certificate, found in the store that came with the message.
void GetSignerCertificateNames(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, SignerDetails& details,
                               const CryptoApi& api);

// A copy of `text` from the page allocator; null when that fails.
PageText CopyText(const wchar_t* text, const CryptoApi& api);

}  // namespace lantern
