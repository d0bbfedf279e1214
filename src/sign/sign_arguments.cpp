#include "sign/sign_arguments.h"

#include <fstream>
#include <iterator>

#include "pack/text.h"

namespace lantern::sign {

const char kSignUsage[] =
    "usage: lantern sign <program.exe> [-o <signed.exe>] <key store> [options]\n"
    "Signs a program with Authenticode (SHA-256), replacing a signature it carries.\n"
    "Key stores (one):\n"
    "  --certificate <file> --key <file>   a certificate (PEM or DER, a chain in PEM) and its key\n"
    "  --pkcs12 <file.pfx>                 a PKCS#12 file holding both\n"
    "  --pkcs11-module <module.so> --key <pkcs11:URI> --certificate <file>\n"
    "                                      a key on a PKCS#11 token; it signs there and never leaves it\n"
    "  --command <program> <argument>...   everything after --command: a signing command, with\n"
    "                                      {in}, {out}, {name} and {url} filled in; without {out}\n"
    "                                      it signs {in} in place\n"
    "Pass phrases and PINs come from the environment: LANTERN_SIGN_PASSWORD, LANTERN_SIGN_PIN.\n"
    "Options:\n"
    "  --program-name <text>   the program name the signature carries (written as Unicode)\n"
    "  --program-name-file <file>  the same, the whole of a UTF-8 file\n"
    "  --info-url <url>        the signature's more-info link\n"
    "  --timestamp-url <url>   an RFC 3161 timestamp server (http), so that the signature\n"
    "                          outlives its certificate\n"
    "  -q, --quiet             no summary line\n";

pe::Result<SignRequest> ParseSignArguments(const std::vector<std::string>& arguments) {
  SignRequest request;
  SignOptions& options = request.options;
  bool have_output = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--command") {
      options.command.assign(arguments.begin() + static_cast<std::ptrdiff_t>(at) + 1, arguments.end());
      if (options.command.empty()) return pe::Failure{"the option '--command' needs a program"};
      break;
    }
    if (argument == "-q" || argument == "--quiet") {
      request.quiet = true;
      continue;
    }
    if (!argument.empty() && argument[0] == '-') {
      if (at + 1 >= arguments.size()) return pe::Failure{"the option '" + argument + "' needs a value"};
      const std::string& value = arguments[++at];
      if (argument == "-o" || argument == "--output") {
        request.output = pack::PathFromUtf8(value);
        have_output = true;
      } else if (argument == "--certificate") {
        options.certificate = pack::PathFromUtf8(value);
      } else if (argument == "--key") {
        options.key = value;
      } else if (argument == "--pkcs12") {
        options.pkcs12 = pack::PathFromUtf8(value);
      } else if (argument == "--pkcs11-module") {
        options.pkcs11_module = pack::PathFromUtf8(value);
      } else if (argument == "--program-name") {
        options.program_name = value;
      } else if (argument == "--program-name-file") {
        std::ifstream in(pack::PathFromUtf8(value), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) return pe::Failure{"the program name file '" + value + "' cannot be read"};
        options.program_name = text;
      } else if (argument == "--info-url") {
        options.more_info = value;
      } else if (argument == "--timestamp-url") {
        options.timestamp_url = value;
      } else {
        return pe::Failure{"unknown option '" + argument + "'"};
      }
      continue;
    }
    if (!request.input.empty()) return pe::Failure{"one program at a time ('" + argument + "' too)"};
    request.input = pack::PathFromUtf8(argument);
  }
  if (request.input.empty()) return pe::Failure{"no program to sign is named"};
  if (!have_output) request.output = request.input;
  pe::Status checked = CheckSignOptions(options);
  if (!checked) return checked.AsFailure();
  return request;
}

}  // namespace lantern::sign
