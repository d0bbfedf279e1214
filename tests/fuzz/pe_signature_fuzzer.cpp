// An image's certificate table as an inspecting tool could be handed one:
// the fuzzer's bytes are the table of a small image. Whatever they hold, the
// signature reader reads nothing outside them, and either says what is wrong
// or gives a summary whose texts are UTF-8 safe to show, with times, serial
// number and digest in their documented forms. Stamping an information block
// into the image either says what is wrong or gives an image that ends with
// the block in one 8-aligned entry, and stamping that again changes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "pack/information_block.h"
#include "pack/stamp.h"
#include "pe/byte_io.h"
#include "pe/certificate_table.h"
#include "pe/image.h"
#include "pe/signature.h"
#include "pe_test_image.h"

namespace lantern::pe {
namespace {

// Well-formed UTF-8 without control characters.
bool ShowableText(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || text.size() - at < length) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<std::uint8_t>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return false;
    at += length;
  }
  return true;
}

bool TimeForm(const std::optional<std::string>& time) {
  if (!time) return true;
  const std::string form = "dddd-dd-ddTdd:dd:ddZ";
  if (time->size() != form.size()) return false;
  for (std::size_t i = 0; i < form.size(); ++i) {
    const char c = (*time)[i];
    if (form[i] == 'd' ? (c < '0' || c > '9') : c != form[i]) return false;
  }
  return true;
}

bool SerialForm(const std::string& serial) {
  const std::size_t start = !serial.empty() && serial[0] == '-' ? 1 : 0;
  if (serial.size() == start || (serial.size() - start) % 2 != 0) return false;
  return serial.find_first_not_of("0123456789ABCDEF", start) == std::string::npos;
}

void CheckSummary(const SignatureSummary& summary) {
  const std::optional<std::string> texts[] = {summary.digest_algorithm, summary.signer_subject,
                                              summary.signer_issuer,    summary.program_name,
                                              summary.more_info,        summary.timestamp_authority};
  for (const std::optional<std::string>& text : texts) {
    FUZZ_CHECK(!text || ShowableText(*text), "a text that is not safe to show: " + *text);
  }
  FUZZ_CHECK(!summary.digest_algorithm.empty(), "no digest algorithm");
  FUZZ_CHECK(SerialForm(summary.serial_number), "a serial number in another form: " + summary.serial_number);
  FUZZ_CHECK(TimeForm(summary.signing_time), "a signing time in another form: " + *summary.signing_time);
  FUZZ_CHECK(TimeForm(summary.timestamp), "a timestamp in another form: " + *summary.timestamp);
  FUZZ_CHECK(summary.timestamp || !summary.timestamp_authority, "an authority without a timestamp");
}

}  // namespace
}  // namespace lantern::pe

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern::pe;
  using namespace lantern::testing_fakes;
  static const std::vector<std::uint8_t> unsigned_image = [] {
    TestImageShape shape;
    shape.pe32_plus = false;
    shape.sections = {{".text", TestBytes(0x40, 1), 0x60000020}};
    return BuildTestImage(shape);
  }();
  // The table at the end of the image, as a signing tool puts it.
  std::vector<std::uint8_t> file = unsigned_image;
  file.insert(file.end(), data, data + size);
  Put32(file, DirectoryAt(false, 4), static_cast<std::uint32_t>(unsigned_image.size()));
  Put32(file, DirectoryAt(false, 4) + 4, static_cast<std::uint32_t>(size));

  SpanSource source(file);
  const Result<Image> image = ReadImage(source);
  FUZZ_CHECK(image.Ok(), "the image around the table does not read: " + image.Message());
  const Result<std::optional<SignatureSummary>> signature = ReadSignature(source, image.Value());
  if (!signature) {
    FUZZ_CHECK(!signature.Message().empty(), "a failure without a message");
    return 0;
  }
  FUZZ_CHECK(signature->has_value() == (size != 0), "a table read as no signature, or none as one");
  if (signature->has_value()) CheckSummary(*signature.Value());

  static const std::vector<std::uint8_t> block = [] {
    const std::string information = "<info>stamped</info>";
    return lantern::pack::InformationBlock(std::vector<std::uint8_t>(information.begin(), information.end()),
                                           "info")
        .Value();
  }();
  MemorySink once;
  const auto stamped = lantern::pack::Stamp(source, "'fuzz.exe'", block, once);
  if (!stamped) {
    FUZZ_CHECK(!stamped.Message().empty(), "a refused stamp without a message");
    FUZZ_CHECK(once.bytes.empty(), "a refused stamp wrote bytes");
    return 0;
  }
  FUZZ_CHECK(once.bytes.size() >= block.size() &&
                 std::equal(block.begin(), block.end(),
                            once.bytes.end() - static_cast<std::ptrdiff_t>(block.size())),
             "the stamped image does not end with the block");
  SpanSource stamped_source(once.bytes);
  const Result<Image> stamped_image = ReadImage(stamped_source);
  FUZZ_CHECK(stamped_image.Ok(), "the stamped image does not read: " + stamped_image.Message());
  const auto entry = ReadSignatureEntry(stamped_source, stamped_image.Value());
  FUZZ_CHECK(entry.Ok(), "the stamped image's table does not read: " + entry.Message());
  FUZZ_CHECK(entry->pkcs7.size() % 8 == 0, "the stamped signature needs padding");
  MemorySink twice;
  const auto again = lantern::pack::Stamp(stamped_source, "'fuzz.exe'", block, twice);
  FUZZ_CHECK(again.Ok(), "a stamped image cannot be stamped again: " + again.Message());
  FUZZ_CHECK(twice.bytes == once.bytes, "stamping again changed the image");
  return 0;
}
