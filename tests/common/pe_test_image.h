// Small Windows images made byte by byte for the tests of the image reader
// and writer: the headers a linker writes (PE32 or PE32+), sections with
// given bytes, and optionally data after the last section and a certificate
// table at the end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace lantern::testing_fakes {

struct TestSection {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::uint32_t characteristics = 0x40000040;  // initialised data, readable
};

struct TestImageShape {
  bool pe32_plus = true;
  std::vector<TestSection> sections;
  // The section whose first byte starts the resource directory, if any.
  int resource_section = -1;
  std::vector<std::uint8_t> overlay;
  std::vector<std::uint8_t> certificate;  // the certificate table's bytes, after the overlay
  std::uint32_t size_of_headers = 0x400;
};

constexpr std::uint32_t kTestFileAlignment = 0x200;
constexpr std::uint32_t kTestSectionAlignment = 0x1000;
constexpr std::uint32_t kTestNtOffset = 0x80;

inline void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

inline std::uint32_t TestAlign(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Offsets of the fields the tests look at.
inline std::size_t OptionalHeaderAt() { return kTestNtOffset + 24; }
inline std::size_t DirectoryAt(bool pe32_plus, int index) {
  return OptionalHeaderAt() + (pe32_plus ? 112 : 96) + 8 * index;
}
inline std::size_t SectionTableAt(bool pe32_plus) { return OptionalHeaderAt() + (pe32_plus ? 240 : 224); }

inline std::vector<std::uint8_t> BuildTestImage(const TestImageShape& shape) {
  std::vector<std::uint8_t> file(shape.size_of_headers, 0);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 0x3C, kTestNtOffset);
  const std::size_t nt = kTestNtOffset;
  file[nt] = 'P';
  file[nt + 1] = 'E';
  Put16(file, nt + 4, shape.pe32_plus ? 0x8664 : 0x014C);
  Put16(file, nt + 6, static_cast<std::uint32_t>(shape.sections.size()));
  Put16(file, nt + 20, shape.pe32_plus ? 240 : 224);
  Put16(file, nt + 22, shape.pe32_plus ? 0x0022 : 0x0102);
  const std::size_t optional = OptionalHeaderAt();
  Put16(file, optional, shape.pe32_plus ? 0x20B : 0x10B);
  Put32(file, optional + 32, kTestSectionAlignment);
  Put32(file, optional + 36, kTestFileAlignment);
  Put16(file, optional + 40, 6);  // operating system version
  Put16(file, optional + 48, 6);  // subsystem version
  Put32(file, optional + 60, shape.size_of_headers);
  Put16(file, optional + 68, 2);  // GUI
  Put32(file, optional + (shape.pe32_plus ? 108 : 92), 16);

  std::uint32_t rva = kTestSectionAlignment;
  std::uint32_t initialized = 0;
  std::size_t header = SectionTableAt(shape.pe32_plus);
  for (std::size_t i = 0; i < shape.sections.size(); ++i, header += 40) {
    const TestSection& section = shape.sections[i];
    const std::uint32_t raw_size =
        TestAlign(static_cast<std::uint32_t>(section.bytes.size()), kTestFileAlignment);
    const std::uint32_t offset = static_cast<std::uint32_t>(file.size());
    std::copy_n(section.name.begin(), std::min<std::size_t>(section.name.size(), 8), file.begin() + header);
    Put32(file, header + 8, static_cast<std::uint32_t>(section.bytes.size()));
    Put32(file, header + 12, rva);
    Put32(file, header + 16, raw_size);
    Put32(file, header + 20, offset);
    Put32(file, header + 36, section.characteristics);
    if (static_cast<int>(i) == shape.resource_section) {
      Put32(file, DirectoryAt(shape.pe32_plus, 2), rva);
      Put32(file, DirectoryAt(shape.pe32_plus, 2) + 4, static_cast<std::uint32_t>(section.bytes.size()));
    }
    if (section.characteristics & 0x40) initialized += raw_size;
    file.insert(file.end(), section.bytes.begin(), section.bytes.end());
    file.resize(offset + raw_size, 0);
    rva += TestAlign(std::max<std::uint32_t>(1, static_cast<std::uint32_t>(section.bytes.size())),
                     kTestSectionAlignment);
  }
  Put32(file, optional + 8, initialized);
  Put32(file, optional + 56, rva);
  file.insert(file.end(), shape.overlay.begin(), shape.overlay.end());
  if (!shape.certificate.empty()) {
    file.resize(TestAlign(static_cast<std::uint32_t>(file.size()), 8), 0);
    Put32(file, DirectoryAt(shape.pe32_plus, 4), static_cast<std::uint32_t>(file.size()));
    Put32(file, DirectoryAt(shape.pe32_plus, 4) + 4, static_cast<std::uint32_t>(shape.certificate.size()));
    file.insert(file.end(), shape.certificate.begin(), shape.certificate.end());
  }
  return file;
}

inline std::vector<std::uint8_t> TestBytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = 0x9E3779B9u * (seed + 1u);
  for (std::uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace lantern::testing_fakes
