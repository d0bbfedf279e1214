#include "sign/sign.h"

#include <random>
#include <system_error>

#include "core/utf8.h"
#include "pack/pending_output.h"
#include "pack/text.h"
#include "pe/authenticode.h"
#include "pe/byte_io.h"
#include "pe/certificate_table.h"
#include "pe/signature.h"
#include "pe/signed_data.h"
#include "sign/crypto.h"
#include "sign/run_command.h"

namespace lantern::sign {
namespace {

using pe::Done;
using pe::Failure;
using pe::Status;
using Bytes = std::vector<std::uint8_t>;

constexpr char kPlaceholderIn[] = "{in}";
constexpr char kPlaceholderOut[] = "{out}";
constexpr char kPlaceholderName[] = "{name}";
constexpr char kPlaceholderUrl[] = "{url}";

bool Mentions(const std::vector<std::string>& arguments, std::string_view placeholder) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [placeholder](const std::string& a) { return a.find(placeholder) != std::string::npos; });
}

std::string Replace(std::string text, std::string_view placeholder, const std::string& value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
  return text;
}

// A new empty folder of our own under the system's temporary folder, removed
// with what is in it when this goes.
class ScratchFolder {
 public:
  static pe::Result<std::unique_ptr<ScratchFolder>> Make() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return Failure{"no temporary folder to sign in: " + error.message()};
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
      const std::filesystem::path path = base / ("lantern-sign-" + std::to_string(random()));
      if (std::filesystem::create_directory(path, error)) {
        return std::unique_ptr<ScratchFolder>(new ScratchFolder(path));
      }
    }
    return Failure{"no folder to sign in can be made under '" + pack::ShowPath(base) + "'"};
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  explicit ScratchFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

Status CopyInto(const std::filesystem::path& from, pack::PendingOutput& output) {
  std::error_code error;
  std::filesystem::copy_file(from, output.Partial(), std::filesystem::copy_options::overwrite_existing, error);
  if (error) return Failure{"the signed file cannot be written: " + error.message()};
  return output.Commit();
}

// What a signed image's signature says; a failure when it carries none.
pe::Result<pe::SignatureSummary> SignatureOf(const std::filesystem::path& path) {
  auto file = pe::FileSource::Open(path);
  if (!file) return file.AsFailure();
  auto image = pe::ReadImage(*file.Value());
  if (!image) return image.AsFailure();
  auto signature = pe::ReadSignature(*file.Value(), image.Value());
  if (!signature) return signature.AsFailure();
  if (!signature.Value()) return Failure{"it carries no signature"};
  return *signature.Value();
}

// Writes `signed_file` to `output` with an RFC 3161 timestamp of its first
// signer's signature (one it carries already is replaced).
Status AddTimestamp(const std::filesystem::path& signed_file, const std::string& url, pack::PendingOutput& output) {
  auto file = pe::FileSource::Open(signed_file);
  if (!file) return file.AsFailure();
  auto image = pe::ReadImage(*file.Value());
  if (!image) return image.AsFailure();
  auto entry = pe::ReadSignatureEntry(*file.Value(), image.Value());
  if (!entry) return Failure{"the signing command's signature cannot be timestamped: " + entry.Message()};
  auto signature = pe::SignerSignature(entry->pkcs7);
  if (!signature) return Failure{"the signing command's signature cannot be timestamped: " + signature.Message()};
  auto token = RequestTimestamp(url, signature.Value());
  if (!token) return token.AsFailure();
  auto timestamped = pe::SetUnsignedAttribute(entry->pkcs7, pe::kTimestampAttributeOid, token.Value(),
                                              pe::SignerChoice::kFirst);
  if (!timestamped) return timestamped.AsFailure();
  auto sink = pe::FileSink::Create(output.Partial());
  if (!sink) return sink.AsFailure();
  auto written = pe::WriteWithSignature(*file.Value(), image.Value(), entry.Value(), timestamped.Value(),
                                        *sink.Value());
  if (!written) return written.AsFailure();
  Status finished = sink.Value()->Finish();
  if (!finished) return finished;
  return output.Commit();
}

Status SignThroughCommand(const std::filesystem::path& input, const std::filesystem::path& output,
                          const SignOptions& options) {
  auto scratch = ScratchFolder::Make();
  if (!scratch) return scratch.AsFailure();
  const std::filesystem::path in = scratch.Value()->Path() / input.filename();
  const std::filesystem::path out = scratch.Value()->Path() / ("signed-" + input.filename().string());
  std::error_code error;
  std::filesystem::copy_file(input, in, error);
  if (error) return Failure{"the program '" + pack::ShowPath(input) + "' cannot be copied to sign: " + error.message()};

  std::vector<std::string> arguments;
  for (std::string argument : options.command) {
    argument = Replace(argument, kPlaceholderIn, pack::ShowPath(in));
    argument = Replace(argument, kPlaceholderOut, pack::ShowPath(out));
    argument = Replace(argument, kPlaceholderName, options.program_name.value_or(""));
    argument = Replace(argument, kPlaceholderUrl, options.more_info.value_or(""));
    arguments.push_back(std::move(argument));
  }
  Status ran = RunCommand(arguments);
  if (!ran) return ran;
  const std::filesystem::path result = Mentions(options.command, kPlaceholderOut) ? out : in;
  auto signature = SignatureOf(result);
  if (!signature) {
    return Failure{"the signing command left '" + pack::ShowPath(result) + "' unsigned: " + signature.Message()};
  }
  if (options.program_name && signature->program_name != options.program_name) {
    return Failure{"the signing command did not give the signature the program name '" + *options.program_name +
                   "' (pass it with {name})"};
  }
  pack::PendingOutput pending(output);
  if (options.timestamp_url.empty()) return CopyInto(result, pending);
  return AddTimestamp(result, options.timestamp_url, pending);
}

Status SignWithKey(const std::filesystem::path& input, const std::filesystem::path& output,
                   const SignOptions& options) {
  std::optional<std::u16string> program_name;
  if (options.program_name) {
    program_name = Utf16FromUtf8(*options.program_name);
    if (!program_name) return Failure{"the program name is not UTF-8"};
  }
  auto store = OpenKeyStore(options);
  if (!store) return store.AsFailure();
  auto file = pe::FileSource::Open(input);
  if (!file) return file.AsFailure();
  auto layout = pe::PlanSigning(*file.Value());
  if (!layout) return Failure{"the program '" + pack::ShowPath(input) + "' cannot be signed: " + layout.Message()};

  Sha256 image_digest;
  Status read = pe::ForEachDigestedPiece(*file.Value(), layout.Value(),
                                         [&image_digest](std::span<const std::uint8_t> bytes) { image_digest.Add(bytes); });
  if (!read) return read;
  const Bytes indirect = pe::IndirectDataContent(image_digest.Finish());
  const Bytes attributes =
      pe::SignedAttributes(Sha256Of(pe::DigestedContent(indirect)), program_name, options.more_info);
  auto signature = store.Value()->Sign(attributes);
  if (!signature) return signature.AsFailure();
  std::vector<Bytes> unsigned_attributes;
  if (!options.timestamp_url.empty()) {
    auto token = RequestTimestamp(options.timestamp_url, signature.Value());
    if (!token) return token.AsFailure();
    unsigned_attributes.push_back(pe::Attribute(pe::kTimestampAttributeOid, token.Value()));
  }
  const Bytes signed_data =
      pe::SignedData(indirect, store.Value()->Identity(), attributes, signature.Value(), unsigned_attributes);

  pack::PendingOutput pending(output);
  auto sink = pe::FileSink::Create(pending.Partial());
  if (!sink) return sink.AsFailure();
  Status written = pe::WriteSigned(*file.Value(), layout.Value(), signed_data, *sink.Value());
  if (!written) return written;
  Status finished = sink.Value()->Finish();
  if (!finished) return finished;
  return pending.Commit();
}

}  // namespace

Status CheckSignOptions(const SignOptions& options) {
  const int stores = (!options.command.empty() ? 1 : 0) + (!options.pkcs12.empty() ? 1 : 0) +
                     (!options.pkcs11_module.empty() ? 1 : 0) +
                     (options.pkcs12.empty() && options.pkcs11_module.empty() && options.command.empty() &&
                              (!options.certificate.empty() || !options.key.empty())
                          ? 1
                          : 0);
  if (stores == 0) return Failure{"nothing to sign with: give a certificate and key, a PKCS#12 file, a PKCS#11 "
                                  "module with a key and certificate, or a signing command"};
  if (stores > 1 || (!options.command.empty() && (!options.certificate.empty() || !options.key.empty())) ||
      (!options.pkcs12.empty() && (!options.certificate.empty() || !options.key.empty()))) {
    return Failure{"sign with one of: a certificate and key, a PKCS#12 file (which holds both), a PKCS#11 module, "
                   "or a signing command"};
  }
  if (options.command.empty() && options.pkcs12.empty()) {
    if (options.certificate.empty()) return Failure{"the signing key needs its certificate (--certificate)"};
    if (options.key.empty()) {
      return Failure{options.pkcs11_module.empty() ? "the certificate needs its key (--key <file>)"
                                                   : "the PKCS#11 module needs the key's URI (--key pkcs11:...)"};
    }
  }
  if (!options.command.empty() && !Mentions(options.command, kPlaceholderIn)) {
    return Failure{"the signing command does not say where the file to sign goes ({in})"};
  }
  if (options.more_info && options.more_info->find_first_not_of(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=%") !=
                               std::string::npos) {
    return Failure{"the more-info link '" + *options.more_info + "' is not a URL in plain ASCII"};
  }
  return Done{};
}

Status SignFile(const std::filesystem::path& input, const std::filesystem::path& output,
                const SignOptions& options) {
  Status checked = CheckSignOptions(options);
  if (!checked) return checked;
  return options.command.empty() ? SignWithKey(input, output, options)
                                 : SignThroughCommand(input, output, options);
}

}  // namespace lantern::sign
