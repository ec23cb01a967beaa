// The settings file next to the executable (zub64.exe -> zub64.ini; on POSIX
// zub64 -> zub64.ini) with its escape encoding, and the folder picker.
// The programs read and write the file but never create it: creating it,
// even empty, is how a user turns the memory on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zub {

// Every unit >= 0x80 and '%' itself become '%' + four upper-case hex digits.
std::u16string encode_setting_value(std::u16string_view value);
// '%' + four characters -> one unit (0-9, A-F, a-f; any other counts as 0);
// a cut escape at the end of the value decodes from what is there ("%4A" ->
// U+004A; a final lone '%' yields nothing); an escape that decodes to U+0000
// ends the value. The result holds at most 32,779 units.
std::u16string decode_setting_value(std::u16string_view raw);

// The settings file's path, or nullopt when the executable path is unknown
// (then the installed failure handler has run).
std::optional<std::u16string> settings_path();

// What happens when the executable's path cannot be found; the handler is
// given the OS error code of the failure. The default (the console programs)
// writes "can't GetModuleFileName(NULL,,)\n" to standard output and ends the
// process with 1. The dialog program installs its own.
using module_name_failure_handler = void (*)(uint32_t code);
void set_module_name_failure_handler(module_name_failure_handler handler);

// What happens when the picker returns an item that is not a file-system
// folder. The default (the console programs) writes
// "bad folder - not a part of the file system.\n" to standard error; the
// dialog program installs one that shows a message box.
using bad_folder_handler = void (*)();
void set_bad_folder_handler(bad_folder_handler handler);

// The value of an environment variable (empty when it is not set).
std::u16string environment_text(const char* name);

// Decoded value; empty when the file, section or key is missing.
std::u16string read_setting(std::u16string_view section, std::u16string_view key);
// Writes only when the settings file exists and may be written.
void write_setting(std::u16string_view section, std::u16string_view key, std::u16string_view value);

// The chosen folder, or nullopt when cancelled or not a file-system folder
// (then the bad-folder handler ran: by default
// "bad folder - not a part of the file system.\n" went to standard error).
// The first call reads "SHBrowseForFolder"/"BIF_NEWDIALOGSTYLE" ("1" exactly
// selects the new-style browser) and hands the style to the platform.
// The process's current folder is restored afterwards. An empty title means
// "select folder".
std::optional<std::u16string> pick_folder(std::u16string_view initial, std::u16string_view title);

}  // namespace zub
