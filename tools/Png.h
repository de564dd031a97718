#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace moonglow {

// CRC-32 as PNG chunks use it (polynomial 0xEDB88320, reflected).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
// Adler-32 as zlib streams end with it.
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);

// A truecolour PNG of `width` × `height` pixels given as 0xFFRRGGBB, row after
// row. The image data goes out in zlib stored blocks: no compression, but no
// library either. Returns the file's bytes; width and height must be ≥ 1.
std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, std::int32_t width,
                                    std::int32_t height);

// Why the PNG cannot go to `path`, as "'<path>' is <what it is instead>", or
// nothing when it can: only a regular file, which is replaced, or a name not
// taken yet takes it. A pipe would block the writer until something reads
// it, and a directory or a device holds no picture.
std::optional<std::string> PngTargetRefusal(const std::string& path);

// Writes EncodePng's bytes to `path`; false when the file cannot be written.
bool WritePng(const std::string& path, const std::uint32_t* pixels, std::int32_t width,
              std::int32_t height);

}  // namespace moonglow
