// Signing programs: what a signature made with a key carries, which bytes its
// digest covers, replacing a signature, signing through a command, and every
// refusal leaving no output. osslsigncode and Wine check the signatures
// themselves in the tool and end-to-end tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "pe/authenticode.h"
#include "pe/byte_io.h"
#include "pe/signature.h"
#include "pe_test_image.h"
#include "sign/crypto.h"
#include "sign/sign.h"
#include "sign/sign_arguments.h"

namespace lantern::sign {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// A program to sign: its size not a multiple of 8, so that padding shows.
Bytes Program() {
  testing_fakes::TestImageShape shape;
  shape.pe32_plus = false;
  shape.sections.push_back({".text", Bytes(0x300, 0xCC), 0x60000020});
  Bytes bytes = testing_fakes::BuildTestImage(shape);
  bytes.insert(bytes.end(), {'t', 'a', 'i', 'l'});
  return bytes;
}

pe::Result<std::optional<pe::SignatureSummary>> SignatureOf(const fs::path& path) {
  auto file = pe::FileSource::Open(path);
  if (!file) return file.AsFailure();
  auto image = pe::ReadImage(*file.Value());
  if (!image) return image.AsFailure();
  return pe::ReadSignature(*file.Value(), image.Value());
}

Bytes DigestOf(const fs::path& path) {
  auto file = pe::FileSource::Open(path);
  EXPECT_TRUE(file);
  auto layout = pe::PlanSigning(*file.Value());
  EXPECT_TRUE(layout) << layout.Message();
  Sha256 digest;
  EXPECT_TRUE(pe::ForEachDigestedPiece(*file.Value(), layout.Value(),
                                       [&digest](std::span<const std::uint8_t> bytes) { digest.Add(bytes); }));
  return digest.Finish();
}

class Signing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!SignsWithKeys()) return;
    folder_ = new fs::path(fs::temp_directory_path() / ("lantern-sign-test-" + std::to_string(std::random_device()())));
    fs::create_directories(*folder_);
    for (const char* name : {"signer", "other"}) {
      const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=Lantern\\ Unit\\ " +
                                  std::string(name) + " -keyout '" + (*folder_ / name).string() + ".key' -out '" +
                                  (*folder_ / name).string() + ".pem' >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
  static void TearDownTestSuite() {
    if (folder_ == nullptr) return;
    std::error_code ignored;
    fs::remove_all(*folder_, ignored);
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override {
    if (!SignsWithKeys()) GTEST_SKIP() << "this build signs through commands only";
    dir_ = *folder_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
    WriteAll(dir_ / "program.exe", Program());
  }

  SignOptions Keys(const char* who = "signer") const {
    SignOptions options;
    options.certificate = *folder_ / (std::string(who) + ".pem");
    options.key = (*folder_ / (std::string(who) + ".key")).string();
    return options;
  }

  static fs::path* folder_;
  fs::path dir_;
};
fs::path* Signing::folder_ = nullptr;

TEST_F(Signing, ASignatureCarriesTheNameInUnicodeAndTheLinkAndSigningAgainReplacesIt) {
  SignOptions options = Keys();
  options.program_name = "Pr\xc3\xb6gram \xe2\x9c\x93 \xf0\x9d\x84\x9e";
  options.more_info = "https://www.vantrel.example/more";
  ASSERT_TRUE(SignFile(dir_ / "program.exe", dir_ / "signed.exe", options));
  auto signature = SignatureOf(dir_ / "signed.exe");
  ASSERT_TRUE(signature && signature.Value()) << signature.Message();
  EXPECT_EQ(signature.Value()->program_name, options.program_name);
  EXPECT_EQ(signature.Value()->more_info, options.more_info);
  EXPECT_EQ(signature.Value()->signer_subject, "CN=Lantern Unit signer");
  EXPECT_EQ(signature.Value()->digest_algorithm, "sha256");
  EXPECT_FALSE(signature.Value()->timestamp);
  const std::uintmax_t first_size = fs::file_size(dir_ / "signed.exe");
  EXPECT_EQ(first_size % 8, 0u);

  // In place, with another key and no name: one signature, the new one.
  ASSERT_TRUE(SignFile(dir_ / "signed.exe", dir_ / "signed.exe", Keys("other")));
  signature = SignatureOf(dir_ / "signed.exe");
  ASSERT_TRUE(signature && signature.Value()) << signature.Message();
  EXPECT_EQ(signature.Value()->signer_subject, "CN=Lantern Unit other");
  EXPECT_FALSE(signature.Value()->program_name);
  EXPECT_FALSE(signature.Value()->more_info);
  EXPECT_LT(fs::file_size(dir_ / "signed.exe"), first_size);
  EXPECT_FALSE(fs::exists(dir_ / "signed.exe.partial"));
}

TEST_F(Signing, TheDigestCoversTheProgramAndItsPaddingButNotTheChecksumOrTheSignature) {
  ASSERT_TRUE(SignFile(dir_ / "program.exe", dir_ / "signed.exe", Keys()));
  const Bytes before = ReadAll(dir_ / "program.exe");
  const Bytes after = ReadAll(dir_ / "signed.exe");
  // The checksum and the certificate entry changed, and a table came after padding ...
  ASSERT_NE(before, after);
  ASSERT_TRUE(std::equal(before.end() - 4, before.end(), after.begin() + static_cast<long>(before.size()) - 4));
  // ... and the digest, taken as a verifier takes it from the signed file, is the program's.
  EXPECT_EQ(DigestOf(dir_ / "program.exe"), DigestOf(dir_ / "signed.exe"));

  // One byte of the program changes it.
  Bytes changed = before;
  changed[0x200] ^= 1;
  WriteAll(dir_ / "changed.exe", changed);
  EXPECT_NE(DigestOf(dir_ / "program.exe"), DigestOf(dir_ / "changed.exe"));
}

TEST_F(Signing, EveryRefusalSaysWhyAndLeavesNoOutput) {
  ASSERT_TRUE(SignFile(dir_ / "program.exe", dir_ / "signed.exe", Keys()));
  Bytes appended = ReadAll(dir_ / "signed.exe");
  appended.insert(appended.end(), 16, 0x41);
  WriteAll(dir_ / "appended.exe", appended);
  WriteAll(dir_ / "text.exe", Bytes{'h', 'e', 'l', 'l', 'o'});

  struct Case {
    const char* what;
    fs::path input;
    SignOptions options;
    std::string message;
  };
  SignOptions mismatched = Keys();
  mismatched.key = Keys("other").key;
  SignOptions missing_key = Keys();
  missing_key.key = (dir_ / "nowhere.key").string();
  SignOptions bad_name = Keys();
  bad_name.program_name = "\xff\xfe";
  const Case cases[] = {
      {"not a program", dir_ / "text.exe", Keys(), "not a Windows program"},
      {"a key of another certificate", dir_ / "program.exe", mismatched, "no certificate given belongs to the signing key"},
      {"a key that is not there", dir_ / "program.exe", missing_key, "cannot be read"},
      {"bytes after the signature", dir_ / "appended.exe", Keys(), "is not at the end of the file"},
      {"a program name that is not UTF-8", dir_ / "program.exe", bad_name, "the program name is not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path output = dir_ / "out.exe";
    pe::Status status = SignFile(c.input, output, c.options);
    ASSERT_FALSE(status);
    EXPECT_NE(status.Message().find(c.message), std::string::npos) << status.Message();
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(output.string() + ".partial"));
  }
}

TEST_F(Signing, ACommandSignsWithThePlaceholdersFilledInAndIsHeldToTheProgramName) {
  SignOptions named = Keys();
  named.program_name = "Service Installer";
  ASSERT_TRUE(SignFile(dir_ / "program.exe", dir_ / "presigned.exe", named));
  const std::string presigned = (dir_ / "presigned.exe").string();

  struct Case {
    const char* what;
    std::vector<std::string> command;
    std::optional<std::string> name;
    std::string message;  // empty: signed
  };
  const Case cases[] = {
      {"a service that signs into {out}", {"sh", "-c", "cp \"$0\" \"$1\"", presigned, "{out}", "{in}"},
       "Service Installer", ""},
      {"a tool that signs {in} in place", {"sh", "-c", "cp \"$0\" \"$1\"", presigned, "{in}"}, std::nullopt, ""},
      {"{name} reaches the command",
       {"sh", "-c", "test \"$0\" = 'Service Installer' && cp \"$1\" \"$2\"", "{name}", presigned, "{out}", "{in}"},
       "Service Installer", ""},
      {"the name asked for is not the one written", {"sh", "-c", "cp \"$0\" \"$1\"", presigned, "{out}", "{in}"},
       "Another Name", "did not give the signature the program name 'Another Name'"},
      {"a command that signs nothing", {"sh", "-c", "cp \"$0\" \"$1\"", "{in}", "{out}"}, std::nullopt,
       "left"},
      {"a command that fails", {"sh", "-c", "exit 3", "{in}"}, std::nullopt, "failed with exit status 3"},
      {"a command that is not there", {"/nonexistent/signer", "{in}"}, std::nullopt, "'/nonexistent/signer'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SignOptions options;
    options.command = c.command;
    options.program_name = c.name;
    const fs::path output = dir_ / "out.exe";
    fs::remove(output);
    pe::Status status = SignFile(dir_ / "program.exe", output, options);
    if (c.message.empty()) {
      ASSERT_TRUE(status) << status.Message();
      EXPECT_EQ(ReadAll(output), ReadAll(dir_ / "presigned.exe"));
    } else {
      ASSERT_FALSE(status);
      EXPECT_NE(status.Message().find(c.message), std::string::npos) << status.Message();
      EXPECT_FALSE(fs::exists(output));
    }
  }
}

TEST(SignArguments, KeyStoresMustBeOneAndWhole) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // empty: taken
  };
  const Case cases[] = {
      {{"a.exe", "--certificate", "c.pem", "--key", "k.pem"}, ""},
      {{"a.exe", "--pkcs12", "p.pfx", "-o", "b.exe", "--timestamp-url", "http://tsa/"}, ""},
      {{"a.exe", "--pkcs11-module", "m.so", "--key", "pkcs11:object=k", "--certificate", "c.pem"}, ""},
      {{"a.exe", "--program-name", "X", "--command", "signtool", "sign", "/d", "{name}", "{in}"}, ""},
      {{"a.exe"}, "nothing to sign with"},
      {{"--certificate", "c.pem", "--key", "k.pem"}, "no program to sign is named"},
      {{"a.exe", "--certificate", "c.pem"}, "the certificate needs its key"},
      {{"a.exe", "--key", "k.pem"}, "the signing key needs its certificate"},
      {{"a.exe", "--pkcs11-module", "m.so", "--certificate", "c.pem"}, "the PKCS#11 module needs the key's URI"},
      {{"a.exe", "--pkcs12", "p.pfx", "--key", "k.pem"}, "sign with one of"},
      {{"a.exe", "--pkcs12", "p.pfx", "--command", "x", "{in}"}, "sign with one of"},
      {{"a.exe", "--command", "signer", "file"}, "does not say where the file to sign goes ({in})"},
      {{"a.exe", "--command"}, "needs a program"},
      {{"a.exe", "--pkcs12"}, "needs a value"},
      {{"a.exe", "--pkcs12", "p.pfx", "--sideways", "x"}, "unknown option '--sideways'"},
      {{"a.exe", "b.exe", "--pkcs12", "p.pfx"}, "one program at a time"},
      {{"a.exe", "--pkcs12", "p.pfx", "--info-url", "https://exämple/"}, "not a URL in plain ASCII"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    auto request = ParseSignArguments(c.arguments);
    if (c.message.empty()) {
      EXPECT_TRUE(request) << request.Message();
    } else {
      ASSERT_FALSE(request);
      EXPECT_NE(request.Message().find(c.message), std::string::npos) << request.Message();
    }
  }
}

}  // namespace
}  // namespace lantern::sign
