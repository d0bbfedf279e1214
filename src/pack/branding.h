// What a product team changes of the stub's look: its pictures, its icon, and
// the version and copyright line its version record and About box show. Each
// is checked as it is read, with a message that names the option and the
// file, and becomes the resources that replace the stub's own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pe/resources.h"
#include "pe/result.h"

namespace lantern::pack {

using pe::Result;

// Ids of the stub's resources a product may replace (as in the stub's resource script).
constexpr std::uint16_t kIconGroupId = 5;
constexpr std::uint16_t kBannerId = 130;
constexpr std::uint16_t kSplashId = 133;
constexpr std::uint16_t kVersionId = 1;
// The language of every resource the stub carries: English (United Kingdom).
constexpr std::uint16_t kResourceLanguage = 0x0809;

struct Branding {
  std::optional<std::filesystem::path> banner;  // 634 x 78, 24 or 8 bits per pixel (or RLE8)
  std::optional<std::filesystem::path> splash;  // 425 x 208, 24 or 8 bits per pixel (or RLE8)
  std::optional<std::filesystem::path> icon;    // an .ico file
  std::optional<std::string> version;           // "a.b.c.d", each part at most 65535
  std::optional<std::string> copyright;         // UTF-8, at most 46 characters
};

// The resources that replace the stub's for what `branding` names: a bitmap
// each for banner and splash, the icon group 5 with one icon resource per
// image of the file, and the version record when a version or a copyright is
// given (a missing version is `default_version`). Fails with the option's
// message (such as "VERSION '1.2.3' must have four parts, such as 1.2.0.15").
pe::Result<std::vector<pe::Resource>> BrandingResources(const Branding& branding,
                                                        const std::string& default_version);

}  // namespace lantern::pack
