// The fixture of the comparison, judgement and walk tests: a temporary tree
// for the files compared, a temporary current folder for the result files,
// a capturing host, a run state, the compare buffers and the fault-injecting
// platform layer in force. Tests fill `opt`, call start() (which opens the
// logs as the run driver does) and read the result files with log().
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/byte_compare.h"
#include "engine/result_logs.h"
#include "engine/run_state.h"
#include "foundation/enumeration.h"
#include "foundation/text_output.h"
#include "tests/support/capture_host.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_tree.h"

namespace zub::test {

// Prints UTF-16 text readably in assertion messages.
inline std::string show(std::u16string_view text) { return narrow(text); }

class engine_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (src_buffer == nullptr) {
            ASSERT_TRUE(reserve_compare_buffers());
        }
    }

    void SetUp() override {
        ASSERT_TRUE(platform::current().current_dir(saved_dir_));
        ASSERT_TRUE(platform::current().set_current_dir(work.root()));
        scope_ = std::make_unique<faulty_os_scope>(fos);
    }

    void TearDown() override {
        finish();
        scope_.reset();
        platform::current().set_current_dir(saved_dir_);
    }

    // Starts a run with `opt` (and the host of the given build): resets the
    // state, opens the result logs, sets dst_prefix_len for `dst_root`.
    void start(build_kind kind = build_kind::console, std::u16string_view dst_root = {}) {
        finish();
        host = std::make_unique<capture_host>(kind);
        run = std::make_unique<run_state>(*host);
        run->reset();
        run->options = opt;
        run->load_level = load_level;
        if (!ext.empty()) parse_ext_list(run->extensions, &ext);
        if (!dst_root.empty()) run->dst_prefix_len = static_cast<int32_t>(dst_root.size()) + 1;
        open_run_log(*run);
        open_logs(*run);
    }

    // Closes the logs (further log() reads see everything written).
    void finish() {
        if (!run) return;
        close_logs(*run);
        close_run_log(*run);
    }

    // A result file as text, CR LF read back as LF.
    std::u16string log(std::u16string_view name) const {
        std::u16string text = from_utf16le(read_whole_file(work.path(name)));
        std::u16string out;
        for (size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) out += text[i];
        return out;
    }

    static std::u16string os_text(uint32_t code) { return system_message_text(code); }
    static std::u16string errno_text_of(uint32_t os_code) {
        return errno_message_text(platform::errno_from_os_error(os_code));
    }
    static std::u16string line(std::u16string_view s) { return std::u16string(s) + u"\n"; }
    static std::u16string q(std::u16string_view s) { return u"\"" + std::u16string(s) + u"\""; }
    static bool has(const std::u16string& text, const std::u16string& part) {
        return text.find(part) != std::u16string::npos;
    }
    // Closes the logs and checks where a failure went: standard error, the
    // run log (a line among others, unless `aer` is empty), both error lists, zublong.log and zublog.txt.
    void expect_failure(const std::u16string& err, const std::u16string& aer, const std::u16string& serr,
                        const std::u16string& derr, const std::u16string& lng, const std::u16string& full) {
        finish();
        EXPECT_EQ(host->err, err);
        EXPECT_TRUE(has(log(u"zubaer.log"), aer)) << show(aer);
        EXPECT_EQ(log(u"zubserr.log"), serr);
        EXPECT_EQ(log(u"zubderr.log"), derr);
        EXPECT_EQ(log(u"zublong.log"), lng);
        EXPECT_EQ(log(u"zublog.txt"), full);
    }

    temp_tree files;  // the trees compared
    temp_tree work;   // the current folder: the result files
    faulty_os fos;
    run_options opt;
    std::u16string ext;  // -e value when not empty
    int load_level = 4;
    std::unique_ptr<capture_host> host;
    std::unique_ptr<run_state> run;

private:
    std::u16string saved_dir_;
    std::unique_ptr<faulty_os_scope> scope_;
};

}  // namespace zub::test
