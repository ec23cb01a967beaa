// Fuzz target for the lossless name scheme: any bytes (a POSIX file name)
// converted to UTF-16 and back must give the same bytes, and UTF-16 text of
// any units must convert to bytes without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (zub::platform::bytes_from_utf16(zub::platform::utf16_from_bytes(bytes)) != bytes) std::abort();

    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const std::string encoded = zub::platform::bytes_from_utf16(units);
    // Bytes made from UTF-16 come back as the same bytes once more.
    if (zub::platform::bytes_from_utf16(zub::platform::utf16_from_bytes(encoded)) != encoded) std::abort();
    return 0;
}
