// Tests of the directory enumeration primitives: the attribute and mode
// tables, the status steps (access denied, the attribute fallback of a drive
// root, the size refresh) through a table-driven layer, and listings, sizes
// and modes on the real file system.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <tuple>

#include "foundation/enumeration.h"
#include "foundation/paths.h"
#include "tests/foundation/table_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {
namespace {

using namespace zub::platform;
using A = attr_bits;
using F = fi_bits;
using M = mode_bits;

// The OS error code the running platform reports for a refused access.
uint32_t access_denied_code() {
    for (uint32_t code = 1; code < 200; ++code)
        if (is_access_denied(code)) return code;
    return 0;
}

TEST(enumeration_tables, attributes_and_mode_bits) {
    const A all =
        A::READONLY | A::HIDDEN | A::SYSTEM | A::ARCHIVE | A::COMPRESSED | A::ENCRYPTED | A::REPARSE_POINT | A::SPARSE;
    EXPECT_EQ(translate_attributes(all | A::DIRECTORY), F::READONLY | F::HIDDEN | F::SYSTEM | F::ARCHIVE |
                                                            F::COMPRESSED | F::ENCRYPTED | F::REPARSE_POINT |
                                                            F::SPARSE | F::DIRECTORY);
    // Normal, temporary, offline, not-indexed and the rest are dropped.
    EXPECT_EQ(translate_attributes(A::NORMAL | A{0x100 | 0x1000 | 0x2000 | 0x10000}), F{});
    const M rw = M::READABLE | M::WRITABLE;
    EXPECT_EQ(mode_from_attributes(A::DIRECTORY), M::DIRECTORY | rw);
    EXPECT_EQ(mode_from_attributes(A::NORMAL), M::REGULAR | rw);
    EXPECT_EQ(mode_from_attributes(all), M::REGULAR | M::READABLE | M::READONLY | M::ARCHIVE | M::SYSTEM | M::HIDDEN |
                                             M::COMPRESSED | M::ENCRYPTED | M::REPARSE_POINT | M::SPARSE);
}

class status_steps : public ::testing::Test {
protected:
    table_os os;
    layer_scope scope{os};
    path_status_record st;
};

TEST_F(status_steps, entry_supplies_times_size_and_tag_and_an_open_file_refreshes_the_size) {
    find_entry e;
    e.attributes = A::ARCHIVE | A::REPARSE_POINT;
    e.size = 5368709120ull;
    e.created = 11;
    e.accessed = 22;
    e.written = 33;
    e.reparse_tag = 0xA000000C;
    os.searches[u"f"].push_back(e);
    e.attributes = A::ARCHIVE;
    os.searches[u"g"].push_back(e);
    ASSERT_EQ(path_status(u"f", st), 0);
    EXPECT_EQ(st.size, 5368709120ll);
    EXPECT_EQ(std::tuple(st.created, st.accessed, st.written, st.reparse_tag), std::tuple(11u, 22u, 33u, 0xA000000Cu));
    EXPECT_EQ(st.mode, M::REGULAR | M::READABLE | M::WRITABLE | M::ARCHIVE | M::REPARSE_POINT);
    ASSERT_EQ(path_status(u"g", st), 0);
    EXPECT_EQ(st.reparse_tag, 0u);  // not a reparse point: no tag kept

    // Where entries can lag (Windows), the file's own size counts; a POSIX
    // status is current and costs no open.
    os.add_entry(u"grown", u"grown", A::ARCHIVE, 10);
    os.open_sizes[u"grown"] = 4096;
    ASSERT_EQ(path_status(u"grown", st), 0);
    EXPECT_EQ(st.size, entry_size_can_lag() ? 4096 : 10);
    // A file that cannot be opened (held by another process) keeps the entry's size.
    os.add_entry(u"held", u"held", A::ARCHIVE, 10);
    ASSERT_EQ(path_status(u"held", st), 0);
    EXPECT_EQ(st.size, 10);
    EXPECT_EQ(os.open_searches, 0);
}

TEST_F(status_steps, drive_root_falls_back_to_attributes) {
    os.attributes[u"C:\\"] = A::DIRECTORY | A::HIDDEN | A::SYSTEM;
    st.size = 99;
    st.written = 5;
    ASSERT_EQ(path_status(u"C:\\", st), 0);
    EXPECT_EQ(st.mode, M::DIRECTORY | M::READABLE | M::WRITABLE | M::HIDDEN | M::SYSTEM);
    EXPECT_EQ(st.size, -1);
    EXPECT_EQ(st.written + st.created + st.accessed, 0u);
}

TEST_F(status_steps, failures_set_the_os_code_and_errno) {
    const uint32_t denied = access_denied_code();
    ASSERT_NE(denied, 0u);
    os.find_errors[u"secret"] = denied;
    os.attributes[u"secret"] = A::DIRECTORY;  // would succeed, but is not asked
    errno = 0;
    EXPECT_EQ(path_status(u"secret", st), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(last_error(), denied);

    errno = 0;
    EXPECT_EQ(path_status(u"nothing", st), -1);
    EXPECT_EQ(errno, ENOENT);
    file_info info;
    errno = 0;
    EXPECT_FALSE(find_first(u"nothing", info).valid());
    EXPECT_EQ(errno, ENOENT);
    set_os_error(ERR_FILE_NOT_FOUND);
    EXPECT_EQ(last_error(), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(errno, ENOENT);

    os.fail_close = true;
    errno = 0;
    EXPECT_EQ(find_close(handle{0}), -1);
    EXPECT_EQ(errno, EINVAL);
}

// --- the real file system ---

TEST(enumeration_native, empty_folder_lists_dot_entries_then_ends_with_enoent) {
    temp_tree tree;
    tree.make_dir(u"empty");
    std::multiset<std::u16string> names;
    file_info info;
    handle search = find_first(listing_pattern(tree.path(u"empty")), info);
    ASSERT_TRUE(search.valid());
    do names.insert(info.name);
    while (find_next(search, info) == 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(find_close(search), 0);
    EXPECT_EQ(names, (std::multiset<std::u16string>{u".", u".."}));
}

TEST(enumeration_native, entries_carry_kind_size_and_name) {
    temp_tree tree;
    tree.write_file(u"three.txt", "abc");
    tree.make_dir(u"sub");
    file_info info;
    handle search = find_first(tree.path(u"three.txt"), info);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(info.name, u"three.txt");
    EXPECT_EQ(info.size, 3);
    EXPECT_FALSE(has(info.flags, F::DIRECTORY));
    EXPECT_NE(info.written, 0u);
    EXPECT_EQ(find_close(search), 0);
    search = find_first(tree.path(u"sub"), info);
    ASSERT_TRUE(search.valid());
    EXPECT_TRUE(has(info.flags, F::DIRECTORY));
    EXPECT_EQ(find_close(search), 0);
}

TEST(enumeration_native, five_gib_sparse_file_reports_its_full_size) {
    temp_tree tree;
    const uint64_t five_gib = 5368709120ull;
    tree.make_sparse(u"big", five_gib);
    if (tree.size_of(u"big") != five_gib) GTEST_SKIP() << "no sparse file of 5 GiB on this file system";
    file_info info;
    handle search = find_first(tree.path(u"big"), info);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(info.size, static_cast<int64_t>(five_gib));
    find_close(search);
    path_status_record st;
    ASSERT_EQ(path_status(tree.path(u"big"), st), 0);
    EXPECT_EQ(st.size, static_cast<int64_t>(five_gib));
}

TEST(enumeration_native, status_of_read_only_file_folder_and_missing_path) {
    temp_tree tree;
    tree.write_file(u"ro.txt", "x");
    tree.set_read_only(u"ro.txt", true);
    path_status_record st;
    ASSERT_EQ(path_status(tree.path(u"ro.txt"), st), 0);
    EXPECT_EQ(st.mode & (M::REGULAR | M::READABLE | M::READONLY | M::WRITABLE | M::DIRECTORY),
              M::REGULAR | M::READABLE | M::READONLY);
    EXPECT_EQ(st.size, 1);
    EXPECT_NE(st.written, 0u);
    tree.set_read_only(u"ro.txt", false);
    tree.make_dir(u"dir");
    ASSERT_EQ(path_status(tree.path(u"dir"), st), 0);
    EXPECT_EQ(st.mode & (M::DIRECTORY | M::REGULAR), M::DIRECTORY);
    errno = 0;
    EXPECT_EQ(path_status(tree.path(u"missing"), st), -1);
    EXPECT_EQ(errno, ENOENT);
    file_info info;
    errno = 0;
    EXPECT_FALSE(find_first(tree.path(u"missing"), info).valid());
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
}  // namespace zub::test
