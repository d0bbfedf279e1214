#include "payload/decoder.h"

namespace lantern {

const wchar_t* DecodeStatusText(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Done:
      return L"decoded";
    case DecodeStatus::Damaged:
      return L"the compressed data is damaged";
    case DecodeStatus::Truncated:
      return L"the compressed data ends early";
    case DecodeStatus::TooLarge:
      return L"it decodes to more bytes than the catalogue gives";
    case DecodeStatus::WindowTooBig:
      return L"it needs a larger decoding window than this build allows";
    case DecodeStatus::OutOfMemory:
      return L"there is not enough memory to decode it";
    case DecodeStatus::WriteFailed:
      return L"the file could not be written";
    case DecodeStatus::NoDecoder:
      return L"this bootstrapper has no decoder";
    case DecodeStatus::DictionaryTooLarge:
      return L"the dictionary is larger than this build allows";
  }
  return L"";
}

}  // namespace lantern
