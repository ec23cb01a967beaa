// Windows-only checks of the Win32 platform layer: behaviour that belongs to
// the system calls themselves (error codes and texts, full-path forming,
// sharing modes, append semantics, unbuffered reads, 64-bit sizes, time
// conversion) and that the platform-neutral tests cannot pin down.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"
#include "temp_tree.h"

namespace zub::test {
namespace {

using namespace zub::platform;

const wchar_t* w(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// A fresh folder under the system's temporary folder, removed afterwards.
class win32_layer : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_GT(length, 0u);
        static int serial = 0;
        root_ = std::u16string(reinterpret_cast<char16_t*>(temp), length) + u"zub-win32-" +
                std::u16string(reinterpret_cast<const char16_t*>(std::to_wstring(GetCurrentProcessId()).c_str())) +
                u"-" + std::u16string(reinterpret_cast<const char16_t*>(std::to_wstring(++serial).c_str()));
        ASSERT_TRUE(CreateDirectoryW(w(root_), nullptr));
    }
    void TearDown() override { remove_tree(root_); }

    std::u16string path(std::u16string_view name) const { return root_ + u"\\" + std::u16string(name); }

    void write(std::u16string_view name, std::string_view bytes) {
        handle h = os_.open_write(path(name), write_mode::truncate);
        ASSERT_TRUE(h.valid());
        ASSERT_TRUE(os_.write(h, bytes.data(), bytes.size()));
        ASSERT_TRUE(os_.close(h));
    }

    std::string contents(std::u16string_view name) {
        std::string result;
        handle h = os_.open_read(path(name), read_mode::exclusive);
        if (!h.valid()) return "<unreadable>";
        char chunk[512];
        uint32_t got = 0;
        while (os_.read(h, chunk, sizeof chunk, got) && got > 0) result.append(chunk, got);
        os_.close(h);
        return result;
    }

    static void remove_tree(const std::u16string& folder) {
        WIN32_FIND_DATAW data;
        std::u16string pattern = folder + u"\\*";
        HANDLE search = FindFirstFileW(w(pattern), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::u16string name(reinterpret_cast<char16_t*>(data.cFileName));
                if (name == u"." || name == u"..") continue;
                std::u16string full = folder + u"\\" + name;
                SetFileAttributesW(w(full), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    remove_tree(full);
                else
                    DeleteFileW(w(full));
            } while (FindNextFileW(search, &data));
            FindClose(search);
        }
        RemoveDirectoryW(w(folder));
    }

    os& os_ = native_os();
    std::u16string root_;
};

TEST(platform_win32, error_codes_map_to_errno_and_classes) {
    for (uint32_t code : {2u, 3u, 18u}) {
        EXPECT_EQ(errno_from_os_error(code), 2) << code;
        EXPECT_TRUE(is_not_found(code)) << code;
    }
    EXPECT_EQ(errno_from_os_error(5), 13);
    EXPECT_EQ(errno_from_os_error(8), 12);
    for (uint32_t code : {0u, 32u, 87u, 123u})
        EXPECT_EQ(errno_from_os_error(code), 22) << code;
    EXPECT_FALSE(is_not_found(5));
    EXPECT_TRUE(is_access_denied(5));
    EXPECT_FALSE(is_access_denied(2));
    set_last_error(1234);
    EXPECT_EQ(last_error(), 1234u);
}

TEST(platform_win32, error_text_is_the_raw_system_message) {
    std::u16string text = native_os().error_text(2);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.back(), u'\n');  // the caller removes the line break
    EXPECT_TRUE(native_os().error_text(0x2FFFFFF0u).empty());
    EXPECT_EQ(native_os().errno_text(2), u"No such file or directory");
}

TEST_F(win32_layer, full_path_resolves_relative_names_against_the_current_folder) {
    std::u16string saved;
    ASSERT_TRUE(os_.current_dir(saved));
    ASSERT_TRUE(os_.set_current_dir(root_));
    std::u16string here;
    ASSERT_TRUE(os_.current_dir(here));
    std::u16string out;
    bool file_part = false;
    EXPECT_TRUE(os_.full_path(u"sub\\x.txt", out, &file_part));
    EXPECT_EQ(out, here + u"\\sub\\x.txt");
    EXPECT_TRUE(file_part);
    EXPECT_TRUE(os_.full_path(u"a\\..\\b\\.\\c", out, &file_part));
    EXPECT_EQ(out, here + u"\\b\\c");
    EXPECT_TRUE(os_.full_path(u"sub\\", out, &file_part));
    EXPECT_EQ(out, here + u"\\sub\\");
    EXPECT_FALSE(file_part);
    EXPECT_TRUE(os_.full_path(u"C:\\x\\..\\y", out, nullptr));
    EXPECT_EQ(out, u"C:\\y");
    // A name with a NUL inside is refused rather than cut short.
    EXPECT_FALSE(os_.full_path(std::u16string(u"a\0b", 3), out, nullptr));
    EXPECT_EQ(last_error(), 123u);
    EXPECT_TRUE(os_.set_current_dir(saved));
}

TEST(platform_win32, local_time_of_file_time_zero_and_of_a_known_date) {
    system_time t;
    ASSERT_TRUE(native_os().local_time(0, t));
    // 1601-01-01 00:00 UTC, moved by at most a day by the local zone.
    bool same_day = t.year == 1601 && t.month == 1 && t.day == 1;
    bool day_before = t.year == 1600 && t.month == 12 && t.day == 31;
    EXPECT_TRUE(same_day || day_before) << t.year << "-" << t.month << "-" << t.day;
    // 2020-06-15 12:34:56.789 UTC: minutes past the quarter hour and the
    // milliseconds survive any zone offset.
    const file_time june = 132366980967890000ull;
    ASSERT_TRUE(native_os().local_time(june, t));
    EXPECT_EQ(t.year, 2020);
    EXPECT_EQ(t.minute % 15, 34 % 15);
    EXPECT_EQ(t.second, 56);
    EXPECT_EQ(t.millisecond, 789);
}

TEST_F(win32_layer, sparse_file_of_5_gib_reports_both_halves_of_its_size) {
    std::u16string file = path(u"big.bin");
    HANDLE h = CreateFileW(w(file), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    if (!DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        CloseHandle(h);
        GTEST_SKIP() << "the file system cannot make sparse files";
    }
    LARGE_INTEGER end;
    end.QuadPart = 5368709120ll;
    ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);

    find_entry entry;
    handle search = os_.find_first(file, entry);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(entry.size, 5368709120ull);
    EXPECT_TRUE(os_.find_close(search));
    handle opened = os_.open_read(file, read_mode::exclusive);
    ASSERT_TRUE(opened.valid());
    uint64_t size = 0;
    EXPECT_TRUE(os_.size_of(opened, size));
    EXPECT_EQ(size, 5368709120ull);
    os_.close(opened);
}

TEST_F(win32_layer, read_only_attribute_round_trip_guards_writes_and_deletes) {
    write(u"ro.txt", "x");
    std::u16string file = path(u"ro.txt");
    uint32_t before = os_.get_attributes(file);
    ASSERT_NE(before, INVALID_ATTRIBUTES);
    EXPECT_TRUE(os_.can_write(file));
    ASSERT_TRUE(os_.set_attributes(file, before | ATTR_READONLY));
    EXPECT_EQ(os_.get_attributes(file), before | ATTR_READONLY);
    EXPECT_FALSE(os_.can_write(file));
    EXPECT_FALSE(os_.delete_file(file));
    EXPECT_TRUE(is_access_denied(last_error()));
    ASSERT_TRUE(os_.set_attributes(file, before));
    EXPECT_EQ(os_.get_attributes(file), before);
    EXPECT_TRUE(os_.delete_file(file));
    EXPECT_EQ(os_.get_attributes(file), INVALID_ATTRIBUTES);
    EXPECT_TRUE(is_not_found(last_error()));
    EXPECT_FALSE(os_.can_write(root_));  // a folder is not a writable file
}

TEST_F(win32_layer, run_lock_is_created_and_excludes_every_other_open) {
    std::u16string lock = path(u"__LOCK__");
    handle held = os_.open_lock(lock);
    ASSERT_TRUE(held.valid());
    EXPECT_NE(os_.get_attributes(lock), INVALID_ATTRIBUTES);
    EXPECT_FALSE(os_.open_lock(lock).valid());
    EXPECT_EQ(last_error(), 32u);  // sharing violation
    EXPECT_FALSE(os_.open_read(lock, read_mode::exclusive).valid());
    EXPECT_TRUE(os_.close(held));
    handle again = os_.open_lock(lock);
    EXPECT_TRUE(again.valid());
    os_.close(again);
}

TEST_F(win32_layer, truncation_empties_an_existing_file_and_never_creates_one) {
    write(u"full.txt", "content");
    EXPECT_TRUE(os_.truncate_file(path(u"full.txt")));
    EXPECT_EQ(contents(u"full.txt"), "");
    EXPECT_FALSE(os_.truncate_file(path(u"missing.txt")));
    EXPECT_TRUE(is_not_found(last_error()));
    EXPECT_EQ(os_.get_attributes(path(u"missing.txt")), INVALID_ATTRIBUTES);
}

TEST_F(win32_layer, appending_handles_always_write_at_the_end) {
    write(u"log.txt", "ab");
    handle first = os_.open_write(path(u"log.txt"), write_mode::append);
    handle second = os_.open_write(path(u"log.txt"), write_mode::append);
    ASSERT_TRUE(first.valid() && second.valid());
    EXPECT_TRUE(os_.write(first, "1", 1));
    EXPECT_TRUE(os_.write(second, "22", 2));
    EXPECT_TRUE(os_.write(first, "3", 1));
    uint64_t size = 0;
    EXPECT_TRUE(os_.size_of(first, size));
    EXPECT_EQ(size, 6u);
    os_.close(first);
    os_.close(second);
    EXPECT_EQ(contents(u"log.txt"), "ab1223");
    handle fresh = os_.open_write(path(u"log.txt"), write_mode::truncate);
    ASSERT_TRUE(fresh.valid());
    os_.close(fresh);
    EXPECT_EQ(contents(u"log.txt"), "");
}

TEST_F(win32_layer, unbuffered_compare_reads_deliver_the_file_then_end) {
    std::string data(10000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    write(u"data.bin", data);
    void* block = os_.reserve_pages(65536);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % page_size(), 0u);
    handle h = os_.open_read(path(u"data.bin"), read_mode::compare);
    ASSERT_TRUE(h.valid());
    // Another process may still open a file that is being compared.
    handle other = os_.open_read(path(u"data.bin"), read_mode::compare);
    EXPECT_TRUE(other.valid());
    os_.close(other);
    uint32_t got = 0;
    EXPECT_TRUE(os_.read(h, block, 16384, got));
    EXPECT_EQ(got, 10000u);
    EXPECT_EQ(std::memcmp(block, data.data(), data.size()), 0);
    EXPECT_TRUE(os_.read(h, block, 16384, got));
    EXPECT_EQ(got, 0u);
    os_.close(h);
    EXPECT_TRUE(os_.release_pages(block, 65536));
}

TEST_F(win32_layer, identity_tells_hard_links_and_spellings_from_other_files) {
    write(u"one.txt", "1");
    write(u"two.txt", "1");
    file_id one, two, upper, link;
    ASSERT_TRUE(os_.file_identity(path(u"one.txt"), one));
    ASSERT_TRUE(os_.file_identity(path(u"two.txt"), two));
    ASSERT_TRUE(os_.file_identity(path(u"ONE.TXT"), upper));
    EXPECT_EQ(one, upper);
    EXPECT_FALSE(one == two);
    if (CreateHardLinkW(w(path(u"link.txt")), w(path(u"one.txt")), nullptr)) {
        ASSERT_TRUE(os_.file_identity(path(u"link.txt"), link));
        EXPECT_EQ(one, link);
    }
    file_id folder;
    EXPECT_TRUE(os_.file_identity(root_, folder));
    EXPECT_FALSE(os_.file_identity(path(u"none"), folder));
    EXPECT_TRUE(is_not_found(last_error()));
}

TEST_F(win32_layer, listing_an_empty_folder_gives_the_dot_entries_then_no_more_files) {
    ASSERT_TRUE(CreateDirectoryW(w(path(u"Empty")), nullptr));
    find_entry entry;
    handle search = os_.find_first(path(u"Empty\\*.*"), entry);
    ASSERT_TRUE(search.valid());
    std::u16string names = entry.name;
    EXPECT_NE(entry.attributes & ATTR_DIRECTORY, 0u);
    while (os_.find_next(search, entry)) names += u"," + entry.name;
    EXPECT_EQ(last_error(), 18u);
    EXPECT_TRUE(os_.find_close(search));
    EXPECT_EQ(names, u".,..");
    EXPECT_FALSE(os_.find_first(path(u"Empty\\nothing*"), entry).valid());
    EXPECT_TRUE(is_not_found(last_error()));
}

TEST_F(win32_layer, profile_values_round_trip_and_missing_ones_read_empty) {
    std::u16string file = path(u"zub.ini");
    EXPECT_TRUE(os_.profile_write(u"history0", u"source", u"C:\\Donn%00E9es", file));
    EXPECT_TRUE(os_.profile_write(u"history0", u"source", u"C:\\a", file));  // replaced in place
    EXPECT_EQ(os_.profile_read(u"history0", u"source", file), u"C:\\a");
    EXPECT_EQ(os_.profile_read(u"history0", u"destination", file), u"");
    EXPECT_EQ(os_.profile_read(u"options", u"BOM", path(u"absent.ini")), u"");
}

// Under Wine without an X display the browser cannot be shown (and the
// classic one never returns), so the picker is tried only where windows can be.
bool can_show_windows() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return !wine || GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0;
}

// Answers the next folder browser of `owner_thread` with a button, once one
// of its controls shows `expected` (the status text of the classic browser,
// the edit box of the new one; at once when it is empty) or after ten seconds. A browser that ignores
// the button is cancelled, so a failure never hangs the test.
class picker_answer {
public:
    picker_answer(DWORD owner_thread, WPARAM button, std::u16string expected)
        : expected_(std::move(expected)), thread_([this, owner_thread, button] {
              int waited = 0;
              bool pressed = false;
              while (!done_) {
                  HWND found = nullptr;
                  EnumThreadWindows(owner_thread, find_dialog, reinterpret_cast<LPARAM>(&found));
                  if (found && !pressed) {
                      if (expected_.empty() || shows_expected(found) || (waited += 50) >= 10000) {
                          PostMessageW(found, WM_COMMAND, button, 0);
                          pressed = true;
                          waited = 0;
                      }
                  } else if (found && (waited += 50) >= 3000) {
                      PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
                  }
                  Sleep(50);
              }
          }) {}
    ~picker_answer() {
        done_ = true;
        thread_.join();
    }

private:
    static BOOL CALLBACK find_dialog(HWND window, LPARAM found) {
        wchar_t name[16];
        if (GetClassNameW(window, name, 16) && std::wcscmp(name, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK find_text(HWND control, LPARAM self) {
        auto* me = reinterpret_cast<picker_answer*>(self);
        wchar_t text[1024];
        int length = GetWindowTextW(control, text, 1024);
        if (length > 0 && _wcsicmp(text, w(me->expected_)) == 0) {
            me->seen_ = true;
            return FALSE;
        }
        return TRUE;
    }
    bool shows_expected(HWND dialog) {
        seen_ = false;
        EnumChildWindows(dialog, find_text, reinterpret_cast<LPARAM>(this));
        return seen_;
    }
    std::u16string expected_;
    bool seen_ = false;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(win32_layer, picker_opens_on_the_initial_folder_and_keeps_the_current_folder) {
    if (!can_show_windows()) GTEST_SKIP() << "no display for the folder browser";
    // A folder that existed before the test: a browser may not see one made a
    // moment ago in its cached view of the namespace.
    std::u16string exe, saved, after;
    ASSERT_TRUE(os_.executable_path(exe));
    std::u16string folder = exe.substr(0, exe.find_last_of(u'\\'));
    ASSERT_TRUE(os_.current_dir(saved));
    ASSERT_TRUE(os_.set_current_dir(root_));
    for (bool new_style : {false, true}) {
        set_picker_new_style(new_style);
        std::optional<std::u16string> chosen;
        {
            // The classic browser shows the path as its status, the new one
            // the folder's name in its edit box.
            picker_answer press(GetCurrentThreadId(), IDOK,
                                new_style ? folder.substr(folder.find_last_of(u'\\') + 1) : folder);
            chosen = os_.pick_folder(u"", folder);
        }
        ASSERT_TRUE(chosen.has_value()) << new_style;
        EXPECT_EQ(_wcsicmp(w(*chosen), w(folder)), 0) << narrow(*chosen) << " " << new_style;
        {
            picker_answer press(GetCurrentThreadId(), IDCANCEL, u"");
            chosen = os_.pick_folder(u"title", folder);
        }
        EXPECT_EQ(chosen, std::nullopt) << new_style;
        ASSERT_TRUE(os_.current_dir(after));
        EXPECT_EQ(after, root_);
    }
    set_picker_new_style(false);
    EXPECT_TRUE(os_.set_current_dir(saved));
}

TEST(platform_win32, process_paths_and_console_probes) {
    std::u16string exe;
    ASSERT_TRUE(native_os().executable_path(exe));
    ASSERT_GT(exe.size(), 4u);
    EXPECT_EQ(exe.substr(exe.size() - 4), u".exe");
    std::vector<std::u16string> args = command_line(0, nullptr);
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(native_path_style(), path_style::windows);
    EXPECT_EQ(page_size() % 4096, 0u);
    // Whatever the streams are, the probe and the handle agree on validity.
    if (native_os().is_console(std_stream::error)) {
        EXPECT_TRUE(native_os().std_handle(std_stream::error).valid());
    }
}

}  // namespace
}  // namespace zub::test
