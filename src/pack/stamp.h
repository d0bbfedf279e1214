// `lantern stamp`: an information block stamped into a program that is signed
// already, without signing it again. The block becomes the last unsigned
// attribute of the signature's last signer information, so that it lies
// inside the signature's own structure, no byte of the file lies outside the
// signature, and the file's last bytes are the block the bootstrapper looks
// for. A block stamped before is replaced; everything else in the signature
// (timestamps, nested signatures) stays as it was. The information is not
// covered by the signature: whoever can change the file can change it.
//
// The program is read by seeking for its headers and its certificate table,
// then copied straight through: memory stays bounded and the output is
// written in order, so it can go to a pipe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "pe/byte_io.h"
#include "pe/result.h"

namespace lantern::pack {

// The type of the unsigned attribute that carries the block.
constexpr std::string_view kStampedInformationAttribute = "2.25.302247809841260939668780919246452456230";

// `pkcs7` with `block` (an information block, see information_block.h) set
// as the attribute's one value: an OCTET STRING of zeros and then the block,
// as many zeros as make the signature's length a multiple of 8, so that its
// certificate table entry needs no padding after it.
pe::Result<std::vector<std::uint8_t>> StampedSignature(std::span<const std::uint8_t> pkcs7,
                                                       std::span<const std::uint8_t> block);

struct StampSummary {
  std::uint64_t output_size = 0;
  std::size_t information_size = 0;  // the information alone, without the marker and the bytes after it
  bool replaced = false;             // a block stamped before was replaced
};

// `input`, a signed program, written to `output` with `block` stamped.
// `named` names the program in a message ("'Setup.exe'"). Fails, with what
// is wrong, before anything is written when the input is not a program, is
// not signed, or has a certificate table that cannot be changed (see
// pe/certificate_table.h) or a signature that cannot be read.
pe::Result<StampSummary> Stamp(pe::ByteSource& input, const std::string& named,
                               std::span<const std::uint8_t> block, pe::ByteSink& output);

struct StampOptions {
  std::filesystem::path input;  // "-": the standard input
  std::filesystem::path information;
  std::filesystem::path output;  // "-": the standard output; may be the input
};

// Stamps the block made from the information file into the input. A file is
// written beside the output and renamed into place when complete. A standard
// input that cannot be read at any offset (a pipe) is first copied to a
// temporary file. The streams stand in for stdin and stdout, which must be in
// binary mode.
pe::Result<StampSummary> StampFile(const StampOptions& options, std::FILE* standard_input,
                                   std::FILE* standard_output);

}  // namespace lantern::pack
