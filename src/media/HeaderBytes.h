#pragma once

// The fixed-size fields of file headers, read before any library parses a file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace vl::header {

inline std::uint32_t byteAt(std::string_view b, std::size_t i) { return static_cast<unsigned char>(b[i]); }

inline std::uint32_t bigEndian(std::string_view b, std::size_t at, int count)
{
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v = v << 8 | byteAt(b, at + static_cast<std::size_t>(i));
    return v;
}

// `count` bytes of the file from `offset`; fewer where it ends.
inline std::string readAt(std::ifstream& in, std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(in ? count : static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

} // namespace vl::header
