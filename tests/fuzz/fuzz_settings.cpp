// Fuzz target for the settings file: any file text is read and rewritten by
// the profile rules without fault, a value written is the value read back,
// and the escape encoding of a value decodes to the value.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/settings.h"
#include "platform/posix/profile_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/zub-fuzz-settings-" + std::to_string(getpid()) + ".ini";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    namespace posix = zub::platform::posix;
    (void)posix::read_profile(u"options", u"encoding", path);
    if (posix::write_profile(u"Zub", u"Folder1", u"/data/\u00E9 x", path) &&
        posix::read_profile(u"Zub", u"Folder1", path) != u"/data/\u00E9 x")
        std::abort();
    std::remove(path.c_str());

    std::u16string value;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;  // an escape that decodes to U+0000 ends a value
        value.push_back(c);
    }
    (void)zub::decode_setting_value(value);
    if (zub::decode_setting_value(zub::encode_setting_value(value)) != value) std::abort();
    return 0;
}
