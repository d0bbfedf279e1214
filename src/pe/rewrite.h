// A new image made from an existing one with its resources replaced.
//
// The new resource section takes the place of the old one when that is the
// image's last section; otherwise it is added as a new last section and the
// resource directory points to it. The old section then keeps its addresses
// but loses its bytes in the file, the sections after it moving down, unless
// a debug directory or a symbol table points into the file by offset (then
// it stays whole, unused). The
// header's sizes, the resource directory, the section's sizes (aligned as
// the header says) and the checksum are set anew. The new section's bytes
// start on a page boundary in the file (where its address is on one), so
// that the loader maps a large payload from the file instead of reading it
// into the process's memory. A certificate table is
// dropped and its directory entry cleared: a signature cannot hold for
// changed bytes, and a signing tool adds a new one. Other data after the
// last section (the overlay) is kept, after the new section.
//
// The output is written in one pass: the image's own bytes are copied and
// each resource's bytes read from its source a piece at a time, so memory
// stays bounded whatever the resources' size. Only the checksum is written
// again at the end.
#pragma once

#include <cstdint>
#include <span>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/result.h"

namespace lantern::pe {

struct RewriteSummary {
  bool appended_section = false;     // a new last section, rather than the old one replaced
  std::uint32_t dropped_bytes = 0;   // the old resource section's bytes left out of the file
  bool dropped_certificate = false;  // the input was signed
  std::uint32_t resource_rva = 0;
  std::uint32_t resource_size = 0;
  std::uint64_t output_size = 0;
  std::uint32_t checksum = 0;
};

// Writes `input` (whose headers `image` holds, as ReadImage read them) to
// `output` with exactly `resources` as its resources, and `trailer` after
// everything else (counted in the checksum), with zero bytes before it so
// that the output's length is a multiple of `trailer_end_alignment` (a
// signing tool then pads nothing after it). Fails, with what is
// wrong, when the headers have no room for another section, the file
// alignment is beyond 64 KB (the system's limit), the resources
// do not fit in 4 GB of addresses, or a source or the sink fails; what was
// written by then is incomplete, and the caller discards it.
Result<RewriteSummary> WriteWithResources(ByteSource& input, const Image& image,
                                          std::span<const Resource> resources, ByteSink& output,
                                          std::span<const std::uint8_t> trailer = {},
                                          std::uint32_t trailer_end_alignment = 1);

}  // namespace lantern::pe
