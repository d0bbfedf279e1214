#include "trust/signer_details_win32.h"

#include <wintrust.h>

#include <cstring>
#include <cwchar>

#include "core/when_memory_fails.h"
#include "framework/system_dlls_win32.h"
#include "framework/unique_handle_win32.h"
#include "trust/verdict.h"

namespace lantern {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kOpusInfoOid[] = "1.3.6.1.4.1.311.2.1.12";

// A working buffer from the local allocator, fixed and zeroed, so that its
// handle is its address.
UniqueLocalMemory AllocateZeroed(DWORD size, const CryptoApi& api) {
  return UniqueLocalMemory(api.LocalAllocate(LPTR, size));
}

// Closes what CryptQueryObject opened, each only if it was obtained.
class QueriedSignature {
 public:
  explicit QueriedSignature(const CryptoApi& api) : api_(api) {}
  ~QueriedSignature() {
    if (store_) api_.CloseStore(store_, 0);
    if (message_) api_.MsgClose(message_);
  }
  QueriedSignature(const QueriedSignature&) = delete;
  QueriedSignature& operator=(const QueriedSignature&) = delete;

  HCERTSTORE store_ = nullptr;
  HCRYPTMSG message_ = nullptr;

 private:
  const CryptoApi& api_;
};

class CertificateContext {
 public:
  CertificateContext(PCCERT_CONTEXT context, const CryptoApi& api) : context_(context), api_(api) {}
  ~CertificateContext() {
    if (context_) api_.FreeCertificateContext(context_);
  }
  CertificateContext(const CertificateContext&) = delete;
  CertificateContext& operator=(const CertificateContext&) = delete;
  PCCERT_CONTEXT get() const { return context_; }

 private:
  PCCERT_CONTEXT context_;
  const CryptoApi& api_;
};

// A link's text when it is a URL or a file; null for a moniker or an unknown
// choice.
PageText CopyLink(const SPC_LINK& link, const CryptoApi& api) {
  switch (link.dwLinkChoice) {
    case SPC_URL_LINK_CHOICE:
      return CopyText(link.pwszUrl, api);
    case SPC_FILE_LINK_CHOICE:
      return CopyText(link.pwszFile, api);
    default:
      return nullptr;
  }
}

// A name of the certificate (the issuer's with CERT_NAME_ISSUER_FLAG), sized
// by a first call.
PageText CertificateName(PCCERT_CONTEXT certificate, DWORD flags, const CryptoApi& api) {
  const DWORD count =
      api.GetNameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
  if (count == 0) return nullptr;
  PageText name(
      static_cast<wchar_t*>(api.PageAllocate(nullptr, count * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE)));
  if (name) api.GetNameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, name.get(), count);
  return name;
}

// The steps of GetAuthenticodeInformation between opening the signature and
// closing it; false when the signer information could not be read.
bool ReadSignerInformation(const std::wstring& path, SignerDetails& details, const CryptoApi& api,
                           QueriedSignature& signature, DiagnosticLog& log) {
  // A path cut to fit would name another file: that is a failed copy too.
  wchar_t file[MAX_PATH] = {};
  if (path.size() >= MAX_PATH || !lstrcpynW(file, path.c_str(), MAX_PATH)) {
    log.LogFormat(L"GetAuthenticodeInformation failed strcpy %s\n", path);
    return false;
  }

  DWORD encoding = 0, content_type = 0, format_type = 0;
  if (!api.QueryObject(CERT_QUERY_OBJECT_FILE, file, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                       CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type,
                       &signature.store_, &signature.message_, nullptr)) {
    return false;  // no embedded signature, or no file: no line of its own
  }

  DWORD size = 0;
  if (!api.MsgGetParam(signature.message_, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
    log.LogText(L"GetAuthenticodeInformation failed CryptMsgGetParam\n");
    return false;
  }
  const UniqueLocalMemory buffer = AllocateZeroed(size, api);
  if (!buffer) {
    log.LogText(L"GetAuthenticodeInformation failed Allocate 1\n");
    return false;
  }
  if (!api.MsgGetParam(signature.message_, CMSG_SIGNER_INFO_PARAM, 0, buffer.get(), &size)) {
    log.LogText(L"GetAuthenticodeInformation failed SignerInfo \n");
    return false;
  }

  const auto& signer = *static_cast<const CMSG_SIGNER_INFO*>(buffer.get());
  GetProgAndPublisherInfo(signer, details, api, log);
  GetSignerCertificateNames(signature.store_, signer, details, api);
  return true;
}

}  // namespace

bool CryptoApi::Complete() const {
  return QueryObject && MsgGetParam && MsgClose && CloseStore && DecodeObject && FindCertificateInStore &&
         GetNameString && FreeCertificateContext && LocalAllocate && PageAllocate;
}

CryptoApi LoadCryptoApi() {
  CryptoApi api;
  const HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
  api.QueryObject = ModuleFunction<decltype(api.QueryObject)>(crypt32, "CryptQueryObject");
  api.MsgGetParam = ModuleFunction<decltype(api.MsgGetParam)>(crypt32, "CryptMsgGetParam");
  api.MsgClose = ModuleFunction<decltype(api.MsgClose)>(crypt32, "CryptMsgClose");
  api.CloseStore = ModuleFunction<decltype(api.CloseStore)>(crypt32, "CertCloseStore");
  api.DecodeObject = ModuleFunction<decltype(api.DecodeObject)>(crypt32, "CryptDecodeObject");
  api.FindCertificateInStore =
      ModuleFunction<decltype(api.FindCertificateInStore)>(crypt32, "CertFindCertificateInStore");
  api.GetNameString = ModuleFunction<decltype(api.GetNameString)>(crypt32, "CertGetNameStringW");
  api.FreeCertificateContext =
      ModuleFunction<decltype(api.FreeCertificateContext)>(crypt32, "CertFreeCertificateContext");
  api.LocalAllocate = &::LocalAlloc;
  api.PageAllocate = &::VirtualAlloc;
  return api;
}

void PageFree::operator()(void* block) const noexcept { VirtualFree(block, 0, MEM_RELEASE); }

PageText CopyText(const wchar_t* text, const CryptoApi& api) {
  if (!text) return nullptr;
  const std::size_t count = std::wcslen(text) + 1;
  PageText copy(
      static_cast<wchar_t*>(api.PageAllocate(nullptr, count * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE)));
  if (copy) std::memcpy(copy.get(), text, count * sizeof(wchar_t));
  return copy;
}

void ReadSignerDetails(const std::wstring& module_path, std::wstring& installer_name, const CryptoApi& api,
                       DiagnosticLog& log) {
  installer_name = kDefaultInstallerName;
  SignerDetails details;
  if (!GetAuthenticodeInformation(module_path, details, api, log)) {
    log.LogText(L"Digital verification: Failed\n");
    return;
  }
  SignerDetailsView view;
  view.ProgramName = details.ProgramName.get();
  view.MoreInfo = details.MoreInfo.get();
  view.SerialNumber = details.SerialNumber.get();
  view.SerialNumberSize = details.SerialNumberSize;
  view.IssuerName = details.IssuerName.get();
  view.SubjectName = details.SubjectName.get();
  ReportSignerDetails(view, installer_name, log);
}

bool GetAuthenticodeInformation(const std::wstring& path, SignerDetails& details, const CryptoApi& api,
                                DiagnosticLog& log) {
  log.LogText(L"GetAuthenticodeInformation \n");
  bool read = false;
  // Without CryptoAPI no signature can be read; that is a failure like any other.
  if (api.Complete()) {
    LANTERN_TRY {
      QueriedSignature signature(api);
      read = ReadSignerInformation(path, details, api, signature, log);
    } LANTERN_CATCH(...) {
      // Out of memory for a log line: whatever was obtained is released above.
      read = false;
    }
  }
  log.LogText(L"GetAuthenticodeInformation Fininshed\n");
  return read;
}

void GetProgAndPublisherInfo(const CMSG_SIGNER_INFO& signer, SignerDetails& details, const CryptoApi& api,
                             DiagnosticLog& log) {
  const CRYPT_ATTRIBUTE* opus = nullptr;
  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (attribute.pszObjId && std::strcmp(attribute.pszObjId, kOpusInfoOid) == 0) {
      opus = &attribute;
      break;
    }
  }
  if (!opus || opus->cValue == 0) return;

  const CRYPT_ATTR_BLOB& value = opus->rgValue[0];
  DWORD size = 0;
  if (!api.DecodeObject(kEncoding, kOpusInfoOid, value.pbData, value.cbData, 0, nullptr, &size)) {
    log.LogText(L"GetProgAndPublisherInfo failed CryptDecodeObject\n");
    return;
  }
  const UniqueLocalMemory buffer = AllocateZeroed(size, api);
  if (!buffer) {
    log.LogText(L"GetProgAndPublisherInfo failed Allocate1\n");
    return;
  }
  if (!api.DecodeObject(kEncoding, kOpusInfoOid, value.pbData, value.cbData, 0, buffer.get(), &size)) {
    log.LogText(L"GetProgAndPublisherInfo failed CryptoDecodeObject\n");
    return;
  }
  const auto& info = *static_cast<const SPC_SP_OPUS_INFO*>(buffer.get());

  if (info.pwszProgramName) {
    details.ProgramName = CopyText(info.pwszProgramName, api);
  } else {
    log.LogText(L"GetProgAndPublisherInfo failed pwszProgramName\n");
  }
  if (info.pPublisherInfo) {
    details.PublisherInfo = CopyLink(*info.pPublisherInfo, api);
    log.LogFormat(L"GetProgAndPublisherInfo switch 1 %d\n", info.pPublisherInfo->dwLinkChoice);
  } else {
    log.LogText(L"GetProgAndPublisherInfo pPublisheInfo = null\n");
  }
  if (info.pMoreInfo) {
    details.MoreInfo = CopyLink(*info.pMoreInfo, api);
    log.LogFormat(L"GetProgAndPublisherInfo switch MoreInfo %d\n", info.pMoreInfo->dwLinkChoice);
  } else {
    log.LogText(L"GetProgAndPublisherInfo pMoreInfo = null\n");
  }
}

void GetSignerCertificateNames(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, SignerDetails& details,
                               const CryptoApi& api) {
  CERT_INFO query{};
  query.Issuer = signer.Issuer;
  query.SerialNumber = signer.SerialNumber;
  const CertificateContext certificate(
      api.FindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, &query, nullptr), api);
  if (!certificate.get()) return;

  const CRYPT_INTEGER_BLOB& serial = certificate.get()->pCertInfo->SerialNumber;
  details.SerialNumberSize = serial.cbData;
  details.SerialNumber.reset(
      static_cast<BYTE*>(api.PageAllocate(nullptr, serial.cbData, MEM_COMMIT, PAGE_READWRITE)));
  if (details.SerialNumber) std::memcpy(details.SerialNumber.get(), serial.pbData, serial.cbData);

  details.IssuerName = CertificateName(certificate.get(), CERT_NAME_ISSUER_FLAG, api);
  details.SubjectName = CertificateName(certificate.get(), 0, api);
}

}  // namespace lantern
