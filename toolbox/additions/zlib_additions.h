#pragma once

// Whole-buffer compression with zlib: gzip-wrapped, zlib-wrapped and raw deflate streams, and
// inflation of each. Every operation answers nullopt when nothing was produced (empty input,
// input longer than 4294967295 bytes, a zlib failure); the reason goes to the console log.
// No shared state: any thread may call any of them at the same time.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/foundation/value.h"

// Compression levels: -1 is zlib's default; any other value is clamped into 1..9.
inline constexpr int32_t kZTMDefaultCompressionLevel = -1;

// Inflation stops with nullopt once the output would exceed this many bytes, so a small hostile
// input cannot exhaust memory. The default is far above what the service clients store or send.
inline constexpr size_t kZTMDefaultInflateOutputLimit = size_t{64} << 20;

// Gzip wrapper (window bits 15 + 16).
std::optional<platform::Bytes> ztm_dataByGzippingBytes(const void* bytes, size_t length,
                                                       int32_t level = kZTMDefaultCompressionLevel);
std::optional<platform::Bytes> ztm_dataByGzippingData(const platform::Bytes& data,
                                                      int32_t level = kZTMDefaultCompressionLevel);

// Zlib wrapper (window bits 15).
std::optional<platform::Bytes> ztm_dataByDeflatingBytes(
    const void* bytes, size_t length, int32_t level = kZTMDefaultCompressionLevel);
std::optional<platform::Bytes> ztm_dataByDeflatingData(const platform::Bytes& data,
                                                       int32_t level = kZTMDefaultCompressionLevel);

// Raw deflate, no header or trailer (window bits -15).
std::optional<platform::Bytes> ztm_dataByRawDeflatingBytes(
    const void* bytes, size_t length, int32_t level = kZTMDefaultCompressionLevel);
std::optional<platform::Bytes> ztm_dataByRawDeflatingData(
    const platform::Bytes& data, int32_t level = kZTMDefaultCompressionLevel);

// Inflates a zlib or gzip stream (the header is detected). The stream must end exactly at the end
// of the input: trailing bytes, a second gzip member included, give nullopt.
std::optional<platform::Bytes> ztm_dataByInflatingBytes(
    const void* bytes, size_t length, size_t outputLimit = kZTMDefaultInflateOutputLimit);
std::optional<platform::Bytes> ztm_dataByInflatingData(
    const platform::Bytes& data, size_t outputLimit = kZTMDefaultInflateOutputLimit);

// Inflates a raw deflate stream, with the same rules.
std::optional<platform::Bytes> ztm_dataByRawInflatingBytes(
    const void* bytes, size_t length, size_t outputLimit = kZTMDefaultInflateOutputLimit);
std::optional<platform::Bytes> ztm_dataByRawInflatingData(
    const platform::Bytes& data, size_t outputLimit = kZTMDefaultInflateOutputLimit);
