// The settings file next to the executable and the folder picker.
//
// Values are stored with an escape encoding that keeps any UTF-16 text in an
// ASCII profile file: every unit of 0x80 or above and "%" itself become "%"
// and four upper-case hexadecimal digits. Reading undoes it. The file is read
// and written through the platform's profile primitives (sections, key=value
// lines, a key replaced in place), and a write happens only when the file
// already exists and may be written: the programs never create it.
//
// Decoding of hand-edited values:
// - "%" and the four characters after it become one unit; "0"-"9", "A"-"F"
//   and "a"-"f" are digits, any other character counts as digit 0;
// - a "%" with fewer than four characters before the end of the value (a cut
//   escape) is read from the characters that are there ("%4A" at the end is
//   U+004A); a "%" that is the last character yields nothing;
// - an escape that decodes to U+0000 ends the value there, as the end of a
//   NUL-terminated text would;
// - the decoded value holds at most 32,779 units; the rest is dropped.
//
// The failure messages of this file ("can't GetModuleFileName(NULL,,)\n",
// "bad folder - not a part of the file system.\n") go through the common
// printers, so a redirected standard stream receives them as UTF-16LE like
// every other line.
#include "foundation/settings.h"

#include <cstdlib>

#include "foundation/text_output.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace zub {

namespace {

constexpr size_t DECODED_LIMIT = 32779;

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return 0;
}

void default_module_name_failure(uint32_t) {
    print_out(u"can't GetModuleFileName(NULL,,)\n");
    std::exit(1);
}

void default_bad_folder() { print_to(text_stream::err(), u"bad folder - not a part of the file system.\n"); }

module_name_failure_handler module_name_failure = default_module_name_failure;
bad_folder_handler bad_folder = default_bad_folder;

// Picker style: 0 not yet read, 1 new style, -1 classic.
int picker_style = 0;

}  // namespace

std::u16string environment_text(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::u16string() : platform::utf16_from_bytes(value);
}

std::u16string encode_setting_value(std::u16string_view value) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string encoded;
    encoded.reserve(value.size());
    for (char16_t unit : value) {
        if (unit >= 0x80 || unit == u'%') {
            encoded.push_back(u'%');
            encoded.push_back(digits[(unit >> 12) & 0xF]);
            encoded.push_back(digits[(unit >> 8) & 0xF]);
            encoded.push_back(digits[(unit >> 4) & 0xF]);
            encoded.push_back(digits[unit & 0xF]);
        } else {
            encoded.push_back(unit);
        }
    }
    return encoded;
}

std::u16string decode_setting_value(std::u16string_view raw) {
    std::u16string decoded;
    size_t i = 0;
    while (i < raw.size() && decoded.size() < DECODED_LIMIT) {
        char16_t unit = raw[i++];
        if (unit == u'%') {
            size_t present = raw.size() - i < 4 ? raw.size() - i : 4;
            if (present == 0) break;
            unsigned value = 0;
            for (size_t k = 0; k < present; ++k) value = value * 16 + static_cast<unsigned>(hex_digit(raw[i + k]));
            i += present;
            unit = static_cast<char16_t>(value);
        }
        if (unit == u'\0') break;
        decoded.push_back(unit);
    }
    return decoded;
}

std::optional<std::u16string> settings_path() {
    std::u16string exe;
    uint32_t error = 0;
    if (!platform::current().executable_path(exe, error) || exe.empty()) {
        if (module_name_failure) module_name_failure(error);
        return std::nullopt;
    }
    // Windows: the last three characters of the executable's path become
    // "ini", whatever they are. Elsewhere a program usually has no extension,
    // so only a name ending in ".exe" is treated so; any other gets ".ini".
    size_t n = exe.size();
    const bool ends_in_exe = n >= 4 && exe[n - 4] == u'.' && platform::ascii_upper(exe[n - 3]) == u'E' &&
                             platform::ascii_upper(exe[n - 2]) == u'X' && platform::ascii_upper(exe[n - 1]) == u'E';
    const bool replace = platform::native_path_style() == platform::path_style::windows ? n >= 3 : ends_in_exe;
    if (replace) {
        exe.replace(n - 3, 3, u"ini");
    } else {
        exe += u".ini";
    }
    return exe;
}

void set_module_name_failure_handler(module_name_failure_handler handler) {
    module_name_failure = handler ? handler : default_module_name_failure;
}

void set_bad_folder_handler(bad_folder_handler handler) { bad_folder = handler ? handler : default_bad_folder; }

std::u16string read_setting(std::u16string_view section, std::u16string_view key) {
    std::optional<std::u16string> path = settings_path();
    if (!path) return std::u16string();
    return decode_setting_value(platform::current().profile_read(section, key, *path));
}

void write_setting(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    std::optional<std::u16string> path = settings_path();
    if (!path) return;
    platform::os& sys = platform::current();
    if (!sys.can_write(*path)) return;
    sys.profile_write(section, key, encode_setting_value(value), *path);
}

std::optional<std::u16string> pick_folder(std::u16string_view initial, std::u16string_view title) {
    if (picker_style == 0) {
        picker_style = read_setting(u"SHBrowseForFolder", u"BIF_NEWDIALOGSTYLE") == u"1" ? 1 : -1;
        platform::set_picker_new_style(picker_style == 1);
    }
    // The platform keeps the process's current folder as it was (the result
    // logs are relative to it).
    std::optional<std::u16string> chosen =
        platform::current().pick_folder(title.empty() ? std::u16string_view(u"select folder") : title, initial);
    if (!chosen) return std::nullopt;
    if (chosen->empty()) {
        bad_folder();
        return std::nullopt;
    }
    return chosen;
}

}  // namespace zub
