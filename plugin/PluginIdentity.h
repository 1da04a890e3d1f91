// The plugin's identity as the host sees it: the texts and numbers DVP_IdentifyA hands out, shared
// with the version resource where they must agree.
#pragma once

#include <cstdint>

#include "plugin/HostRecords.h"
#include "plugin/Version.h"

namespace identity {

constexpr std::uint32_t pluginFlags = 0x00008160;
// The same two words as the version resource's file version.
constexpr std::uint32_t versionHigh = (SONOLOOK_VERSION_MAJOR << 16) | SONOLOOK_VERSION_MINOR;
constexpr std::uint32_t versionLow = (SONOLOOK_VERSION_PATCH << 16) | SONOLOOK_VERSION_TWEAK;
constexpr const char* extensions = ".wav";
constexpr const char* displayName = "Sonolook Viewer/Player";
constexpr const char* description = "Sonolook Viewer and player plugin";
constexpr const char* copyright = "Copyright (c) 2026 The Sonolook developers";
constexpr const char* webAddress = "https://sonolook.invalid/";
// A 12-byte RIFF header, an 8-byte chunk header and a 16-byte fmt body.
constexpr std::uint64_t smallestFileSize = 36;
constexpr std::uint32_t wordAfterHostBlock = 0;
// {5E6F3C21-8A4B-4D2E-9C71-0B3A6D5F2E19}, fixed for every build.
constexpr PluginIdentifier identifier = {0x5E6F3C21, 0x8A4B, 0x4D2E, {0x9C, 0x71, 0x0B, 0x3A, 0x6D, 0x5F, 0x2E, 0x19}};
constexpr const wchar_t* moduleFileName = L"sonolook.dll";

} // namespace identity
