// Windows-only checks of the Win32 platform layer: what belongs to the system
// calls themselves and the platform-neutral tests cannot pin down (error codes
// and texts, full-path forming, sharing and append semantics, unbuffered
// reads, hard links, time conversion, the shell's folder browser).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

using namespace zub::platform;

const wchar_t* w(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

TEST(platform_win32, error_codes_map_to_errno_and_classes) {
    const std::pair<uint32_t, int> cases[] = {{2, 2},  {3, 2},   {18, 2},  {5, 13},  {8, 12},
                                              {0, 22}, {32, 22}, {87, 22}, {123, 22}};
    for (auto [code, number] : cases) EXPECT_EQ(errno_from_os_error(code), number) << code;
    for (uint32_t code : {2u, 3u, 18u}) EXPECT_TRUE(is_not_found(code)) << code;
    EXPECT_FALSE(is_not_found(5));
    EXPECT_TRUE(is_access_denied(5));
    EXPECT_FALSE(is_access_denied(2));
}

TEST(platform_win32, error_text_is_the_raw_system_message) {
    std::u16string text = native_os().error_text(2);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.back(), u'\n');  // the caller removes the line break
    EXPECT_TRUE(native_os().error_text(0x2FFFFFF0u).empty());
    EXPECT_EQ(native_os().errno_text(2), u"No such file or directory");
}

TEST(platform_win32, full_path_resolves_relative_names_against_the_current_folder) {
    temp_tree tree;
    os& sys = native_os();
    std::u16string saved, here, out;
    ASSERT_TRUE(sys.current_dir(saved));
    ASSERT_TRUE(sys.set_current_dir(tree.root()));
    ASSERT_TRUE(sys.current_dir(here));
    bool file_part = false;
    uint32_t error = 0;
    EXPECT_TRUE(sys.full_path(u"sub\\x.txt", out, &file_part, error));
    EXPECT_EQ(out, here + u"\\sub\\x.txt");
    EXPECT_TRUE(file_part);
    EXPECT_TRUE(sys.full_path(u"sub\\", out, &file_part, error));
    EXPECT_EQ(out, here + u"\\sub\\");
    EXPECT_FALSE(file_part);
    EXPECT_TRUE(sys.full_path(u"C:\\x\\..\\y", out, nullptr, error));
    EXPECT_EQ(out, u"C:\\y");
    // A name with a NUL inside is refused rather than cut short.
    EXPECT_FALSE(sys.full_path(std::u16string(u"a\0b", 3), out, nullptr, error));
    EXPECT_EQ(error, 123u);
    EXPECT_FALSE(sys.open_for_change(std::u16string(u"a\0b", 3), change_kind::remove, error).valid());
    EXPECT_TRUE(sys.set_current_dir(saved));
}

TEST(platform_win32, local_time_of_file_time_zero_and_of_a_known_date) {
    system_time t;
    ASSERT_TRUE(native_os().local_time(0, t));
    // 1601-01-01 00:00 UTC, moved by at most a day by the local zone.
    bool same_day = t.year == 1601 && t.month == 1 && t.day == 1;
    bool day_before = t.year == 1600 && t.month == 12 && t.day == 31;
    EXPECT_TRUE(same_day || day_before) << t.year << "-" << t.month << "-" << t.day;
    // 2020-06-15 12:34:56.789 UTC: minutes past the quarter hour, seconds and
    // milliseconds survive any zone offset.
    ASSERT_TRUE(native_os().local_time(132366980967890000ull, t));
    EXPECT_EQ(t.year, 2020);
    EXPECT_EQ(t.minute % 15, 34 % 15);
    EXPECT_EQ(t.second, 56);
    EXPECT_EQ(t.millisecond, 789);
}

TEST(platform_win32, read_only_file_refuses_writing_and_deleting_until_cleared) {
    temp_tree tree;
    os& sys = native_os();
    tree.write_file(u"ro.txt", "x");
    std::u16string file = tree.path(u"ro.txt");
    file_id folder;
    ASSERT_TRUE(sys.file_identity(tree.root(), folder));
    tree.set_read_only(u"ro.txt", true);
    uint32_t error = 0;
    ASSERT_TRUE(has(sys.get_attributes(file, error), attr_bits::READONLY));
    EXPECT_FALSE(sys.can_write(file));
    file_handle h = sys.open_for_change(file, change_kind::remove, error);
    ASSERT_TRUE(h.valid());
    EXPECT_FALSE(sys.delete_opened(h, file, folder, error));
    EXPECT_TRUE(is_access_denied(error));
    ASSERT_TRUE(sys.set_read_only(h, false, error));
    EXPECT_TRUE(sys.can_write(file));
    EXPECT_TRUE(sys.delete_opened(h, file, folder, error));
    sys.close(h, error);
    EXPECT_FALSE(tree.exists(u"ro.txt"));
    EXPECT_FALSE(sys.can_write(tree.root()));  // a folder is not a writable file
}

TEST(platform_win32, open_failures_map_to_the_c_library_errno) {
    // A sharing or lock violation is "Permission denied" for the C library's
    // own file open, unlike the primitives' narrower mapping.
    const std::pair<uint32_t, int> rows[] = {{32, 13}, {33, 13}, {2, 2}, {5, 13}, {80, 17}, {112, 28}, {1234, 22}};
    for (auto [code, number] : rows) EXPECT_EQ(errno_from_open_failure(code), number) << code;
    EXPECT_EQ(errno_from_os_error(32), 22);
}

TEST(platform_win32, run_lock_excludes_every_other_open_while_compare_opens_share) {
    temp_tree tree;
    os& sys = native_os();
    tree.write_file(u"data", "abc");
    std::u16string lock = tree.path(u"__LOCK__");
    uint32_t error = 0;
    lock_handle held = sys.open_lock(lock, error);
    ASSERT_TRUE(held.valid());
    EXPECT_FALSE(sys.open_lock(lock, error).valid());
    EXPECT_EQ(error, 32u);  // sharing violation
    EXPECT_FALSE(sys.open_read(lock, read_mode::exclusive, error).valid());
    EXPECT_EQ(error, 32u);
    EXPECT_TRUE(sys.release_lock(held));

    file_handle first = sys.open_read(tree.path(u"data"), read_mode::compare, error),
                second = sys.open_read(tree.path(u"data"), read_mode::compare, error);
    EXPECT_TRUE(first.valid() && second.valid());
    EXPECT_FALSE(sys.open_read(tree.path(u"data"), read_mode::exclusive, error).valid());
    sys.close(first, error);
    sys.close(second, error);
}

TEST(platform_win32, appending_handles_always_write_at_the_end) {
    temp_tree tree;
    os& sys = native_os();
    tree.write_file(u"log.txt", "ab");
    uint32_t error = 0;
    file_handle first = sys.open_write(tree.path(u"log.txt"), write_mode::append, error),
                second = sys.open_write(tree.path(u"log.txt"), write_mode::append, error);
    ASSERT_TRUE(first.valid() && second.valid());
    EXPECT_TRUE(sys.write(first, "1", 1, error));
    EXPECT_TRUE(sys.write(second, "22", 2, error));
    EXPECT_TRUE(sys.write(first, "3", 1, error));
    uint64_t size = 0;
    EXPECT_TRUE(sys.size_of(first, size, error));
    EXPECT_EQ(size, 6u);
    sys.close(first, error);
    sys.close(second, error);
    EXPECT_EQ(tree.read_file(u"log.txt"), "ab1223");
}

TEST(platform_win32, unbuffered_compare_reads_deliver_the_file_then_end) {
    temp_tree tree;
    os& sys = native_os();
    std::string data(10000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    tree.write_file(u"data.bin", data);
    void* block = sys.reserve_pages(65536);
    ASSERT_NE(block, nullptr);
    uint32_t error = 0;
    file_handle h = sys.open_read(tree.path(u"data.bin"), read_mode::compare, error);
    ASSERT_TRUE(h.valid());
    uint32_t got = 0;
    EXPECT_TRUE(sys.read(h, block, 16384, got, error));
    EXPECT_EQ(got, 10000u);
    EXPECT_EQ(std::memcmp(block, data.data(), data.size()), 0);
    EXPECT_TRUE(sys.read(h, block, 16384, got, error));
    EXPECT_EQ(got, 0u);
    sys.close(h, error);
    EXPECT_TRUE(sys.release_pages(block, 65536));
}

TEST(platform_win32, identity_is_shared_by_hard_links_and_spellings) {
    temp_tree tree;
    os& sys = native_os();
    tree.write_file(u"one.txt", "1");
    file_id one, upper, link;
    ASSERT_TRUE(sys.file_identity(tree.path(u"one.txt"), one));
    ASSERT_TRUE(sys.file_identity(tree.path(u"ONE.TXT"), upper));
    EXPECT_EQ(one, upper);
    ASSERT_TRUE(CreateHardLinkW(w(tree.path(u"link.txt")), w(tree.path(u"one.txt")), nullptr));
    ASSERT_TRUE(sys.file_identity(tree.path(u"link.txt"), link));
    EXPECT_EQ(one, link);
    file_id folder;
    EXPECT_TRUE(sys.file_identity(tree.root(), folder));
    EXPECT_FALSE(folder == one);
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

TEST(platform_win32, picker_opens_on_the_initial_folder_and_keeps_the_current_folder) {
    if (!can_show_windows()) GTEST_SKIP() << "no display for the folder browser";
    temp_tree tree;
    os& os_ = native_os();
    // A folder that existed before the test: a browser may not see one made a
    // moment ago in its cached view of the namespace.
    std::u16string exe, saved, after;
    uint32_t error = 0;
    ASSERT_TRUE(os_.executable_path(exe, error));
    std::u16string folder = exe.substr(0, exe.find_last_of(u'\\'));
    ASSERT_TRUE(os_.current_dir(saved));
    ASSERT_TRUE(os_.set_current_dir(tree.root()));
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
        EXPECT_EQ(after, tree.root());
    }
    set_picker_new_style(false);
    EXPECT_TRUE(os_.set_current_dir(saved));
}

}  // namespace
}  // namespace zub::test
