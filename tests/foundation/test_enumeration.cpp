// Tests of the directory enumeration primitives: what an entry's attribute
// bits say, the status steps (access denied, the attribute fallback of a drive
// root, the size refresh) through a table-driven layer, and listings, sizes
// and kinds on the real file system.
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

// The OS error code the running platform reports for a refused access.
uint32_t access_denied_code() {
    for (uint32_t code = 1; code < 200; ++code)
        if (is_access_denied(code)) return code;
    return 0;
}

TEST(enumeration_tables, attribute_bits_answer_folder_link_and_read_only) {
    const struct {
        A bits;
        bool folder, link, read_only;
    } rows[] = {
        {A{}, false, false, false},
        {A::NORMAL | A::ARCHIVE | A::HIDDEN | A::SYSTEM, false, false, false},
        {A::DIRECTORY, true, false, false},
        {A::READONLY | A::ARCHIVE, false, false, true},
        {A::DIRECTORY | A::REPARSE_POINT, true, true, false},  // a link to a folder
        {A::REPARSE_POINT | A::READONLY, false, true, true},
        {A::COMPRESSED | A::ENCRYPTED | A::SPARSE, false, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(bits_of(row.bits));
        file_info info;
        info.attributes = row.bits;
        EXPECT_EQ(std::tuple(info.is_folder(), info.is_link(), info.is_read_only()),
                  std::tuple(row.folder, row.link, row.read_only));
    }
}

class status_steps : public ::testing::Test {
protected:
    table_os os;
    layer_scope scope{os};
    path_status_record st;
    uint32_t error = 0;
};

TEST_F(status_steps, entry_supplies_time_size_and_attributes_and_an_open_file_refreshes_the_size) {
    find_entry e;
    e.attributes = A::ARCHIVE | A::REPARSE_POINT;
    e.size = 5368709120ull;
    e.written = 33;
    os.searches[u"f"].push_back(e);
    ASSERT_TRUE(path_status(u"f", st, error));
    EXPECT_EQ(st.size, 5368709120ll);
    EXPECT_EQ(st.written, 33u);
    EXPECT_EQ(st.attributes, A::ARCHIVE | A::REPARSE_POINT);

    // Where entries can lag (Windows), the file's own size counts; a POSIX
    // status is current and costs no open.
    os.add_entry(u"grown", u"grown", A::ARCHIVE, 10);
    os.open_sizes[u"grown"] = 4096;
    ASSERT_TRUE(path_status(u"grown", st, error));
    EXPECT_EQ(st.size, entry_size_can_lag() ? 4096 : 10);
    // A file that cannot be opened (held by another process) keeps the entry's size.
    os.add_entry(u"held", u"held", A::ARCHIVE, 10);
    ASSERT_TRUE(path_status(u"held", st, error));
    EXPECT_EQ(st.size, 10);
    EXPECT_EQ(os.open_searches, 0);
}

TEST_F(status_steps, drive_root_falls_back_to_attributes) {
    os.attributes[u"C:\\"] = A::DIRECTORY | A::HIDDEN | A::SYSTEM;
    st.size = 99;
    st.written = 5;
    ASSERT_TRUE(path_status(u"C:\\", st, error));
    EXPECT_EQ(st.attributes, A::DIRECTORY | A::HIDDEN | A::SYSTEM);
    EXPECT_EQ(st.size, -1);
    EXPECT_EQ(st.written, 0u);
}

TEST_F(status_steps, failures_hand_back_the_os_code) {
    const uint32_t denied = access_denied_code();
    ASSERT_NE(denied, 0u);
    os.find_errors[u"secret"] = denied;
    os.attributes[u"secret"] = A::DIRECTORY;  // would succeed, but is not asked
    EXPECT_FALSE(path_status(u"secret", st, error));
    EXPECT_EQ(error, denied);

    EXPECT_FALSE(path_status(u"nothing", st, error));
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);
    file_info info;
    error = 0;
    EXPECT_FALSE(find_first(u"nothing", info, error).valid());
    EXPECT_EQ(error, ERR_FILE_NOT_FOUND);

    os.fail_close = true;
    EXPECT_FALSE(find_close(search_handle{0}, error));
    EXPECT_EQ(error, ERR_ACCESS_DENIED);
}

// --- the real file system ---

TEST(enumeration_native, empty_folder_lists_dot_entries_then_ends_with_enoent) {
    temp_tree tree;
    uint32_t error = 0;
    tree.make_dir(u"empty");
    std::multiset<std::u16string> names;
    file_info info;
    search_handle search = find_first(listing_pattern(tree.path(u"empty")), info, error);
    ASSERT_TRUE(search.valid());
    do names.insert(info.name);
    while (find_next(search, info, error));
    EXPECT_EQ(errno_from_os_error(error), ENOENT);
    EXPECT_TRUE(find_close(search, error));
    EXPECT_EQ(names, (std::multiset<std::u16string>{u".", u".."}));
}

TEST(enumeration_native, entries_carry_kind_size_and_name) {
    temp_tree tree;
    uint32_t error = 0;
    tree.write_file(u"three.txt", "abc");
    tree.make_dir(u"sub");
    file_info info;
    search_handle search = find_first(tree.path(u"three.txt"), info, error);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(info.name, u"three.txt");
    EXPECT_EQ(info.size, 3);
    EXPECT_FALSE(info.is_folder());
    EXPECT_NE(info.written, 0u);
    EXPECT_TRUE(find_close(search, error));
    search = find_first(tree.path(u"sub"), info, error);
    ASSERT_TRUE(search.valid());
    EXPECT_TRUE(info.is_folder());
    EXPECT_TRUE(find_close(search, error));
}

TEST(enumeration_native, five_gib_sparse_file_reports_its_full_size) {
    temp_tree tree;
    uint32_t error = 0;
    const uint64_t five_gib = 5368709120ull;
    tree.make_sparse(u"big", five_gib);
    if (tree.size_of(u"big") != five_gib) GTEST_SKIP() << "no sparse file of 5 GiB on this file system";
    file_info info;
    search_handle search = find_first(tree.path(u"big"), info, error);
    ASSERT_TRUE(search.valid());
    EXPECT_EQ(info.size, static_cast<int64_t>(five_gib));
    find_close(search, error);
    path_status_record st;
    ASSERT_TRUE(path_status(tree.path(u"big"), st, error));
    EXPECT_EQ(st.size, static_cast<int64_t>(five_gib));
}

TEST(enumeration_native, status_of_read_only_file_folder_and_missing_path) {
    temp_tree tree;
    uint32_t error = 0;
    tree.write_file(u"ro.txt", "x");
    tree.set_read_only(u"ro.txt", true);
    path_status_record st;
    ASSERT_TRUE(path_status(tree.path(u"ro.txt"), st, error));
    EXPECT_EQ(std::tuple(st.is_folder(), st.is_read_only()), std::tuple(false, true));
    EXPECT_EQ(st.size, 1);
    EXPECT_NE(st.written, 0u);
    tree.set_read_only(u"ro.txt", false);
    tree.make_dir(u"dir");
    ASSERT_TRUE(path_status(tree.path(u"dir"), st, error));
    EXPECT_EQ(std::tuple(st.is_folder(), st.is_read_only()), std::tuple(true, false));
    EXPECT_FALSE(path_status(tree.path(u"missing"), st, error));
    EXPECT_TRUE(is_not_found(error));
    file_info info;
    error = 0;
    EXPECT_FALSE(find_first(tree.path(u"missing"), info, error).valid());
    EXPECT_TRUE(is_not_found(error));
}

}  // namespace
}  // namespace zub::test
