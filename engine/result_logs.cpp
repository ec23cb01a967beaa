// Opening and closing the result files of a run, and the byte-order marks.
// Every name is relative, so the files land in the current folder. A file
// that cannot be created leaves its stream closed; writes to a closed stream
// do nothing, so the run goes on without that file, but removes nothing
// more and ends with 1 (records_intact).
#include "engine/result_logs.h"

#include "foundation/settings.h"

namespace zub {

namespace {

using platform::write_mode;

// The file names of the result streams, indexed by log_id.
constexpr std::u16string_view LOG_NAMES[LOG_COUNT] = {
    u"zubaer.log",  u"zublog.txt",  u"zubssame.log", u"zubdsame.log", u"zubsdif.log", u"zubddif.log", u"zubsfnf.log",
    u"zubdfnf.log", u"zubsdnf.log", u"zubddnf.log",  u"zubsrm.log",   u"zubdrm.log",  u"zubserr.log", u"zubderr.log",
    u"zubpart.log", u"zublong.log", u"zubfile.log",  u"zubmove.bat",  u"zubmove.sh",
};

log_id log_at(size_t index) { return static_cast<log_id>(index); }

// The twelve path lists, in the order they are opened and closed.
constexpr size_t FIRST_LIST = static_cast<size_t>(log_id::ssame);
constexpr size_t END_OF_LISTS = static_cast<size_t>(log_id::derr) + 1;

// A file of length 0 receives the mark U+FEFF in its encoding: the bytes
// FF FE in UTF-16LE, EF BB BF in UTF-8.
void mark_if_empty(text_stream& stream) {
    if (!stream.is_open()) return;
    if (stream.length() != 0) return;
    const std::string_view mark = byte_order_mark(stream.encoding());
    stream.write_bytes(mark.data(), mark.size());
}

// zubmove.sh: UTF-8 with LF whatever the output encoding, since no shell
// reads anything else, and no byte-order mark. A new or emptied script
// starts with its header; an appended one already has it.
void open_shell_script(text_stream& script, write_mode mode) {
    if (!script.open(log_file_name(log_id::move_sh), mode)) return;
    script.set_encoding(text_encoding::utf8);
    if (script.length() == 0) print_to(script, u"#!/bin/sh\nset -e\n");
}

bool bom_requested() {
    std::u16string value = read_setting(u"options", u"BOM");
    return !value.empty() && value[0] == u'1';
}

}  // namespace

std::u16string_view log_file_name(log_id log) { return LOG_NAMES[static_cast<size_t>(log)]; }

void open_run_log(run_state& run) { run.logs[log_id::aer].open(log_file_name(log_id::aer), write_mode::append); }

namespace {

// The identities of the open result files, taken once they are all open.
void note_result_files(run_state& run) {
    run.result_files.clear();
    for (text_stream& stream : run.logs.streams) {
        platform::file_state state;
        if (stream.is_open() && platform::current().state_of(stream.file(), state))
            run.result_files.push_back(state.id);
    }
}

constexpr event_wording RECORDS_FAILED{.err = u"%s cannot be written: no more files are removed\n",
                                       .aer = u"%s cannot be written: no more files are removed\n"};
constexpr event_wording WRITE_FAILED{.err = u"%s cannot be written\n", .aer = u"%s cannot be written\n"};

}  // namespace

void open_logs(run_state& run) {
    const run_options& o = run.options;
    log_set& logs = run.logs;
    const write_mode mode = o.append_logs ? write_mode::append : write_mode::truncate;
    auto open = [&](log_id log) { logs[log].open(log_file_name(log), mode); };

    if (o.full_log) open(log_id::full);
    for (size_t i = FIRST_LIST; i < END_OF_LISTS; ++i) open(log_at(i));
    if (o.partial_compare) open(log_id::part);
    if (o.long_log) open(log_id::lng);
    if (o.file_log) open(log_id::file);
    if (o.move_script) open(log_id::move);
    if (o.move_script && platform::native_path_style() == platform::path_style::posix)
        open_shell_script(logs[log_id::move_sh], mode);
    note_result_files(run);

    if (!bom_requested()) return;
    // The move scripts never get a mark. zubaer.log holds this run's argument
    // lines by now, so it gets a mark only if it could not take them.
    for (size_t i = 0; i < static_cast<size_t>(log_id::move); ++i) mark_if_empty(logs[log_at(i)]);
}

void close_logs(run_state& run) {
    for (size_t i = FIRST_LIST; i < LOG_COUNT; ++i) run.logs[log_at(i)].close();
}

bool records_intact(run_state& run) {
    if (run.removals_halted) return false;
    std::u16string_view failed;
    for (size_t i = 0; i < LOG_COUNT; ++i) {
        text_stream& stream = run.logs[log_at(i)];
        stream.flush();
        if (failed.empty() && stream.failed()) failed = LOG_NAMES[i];
    }
    if (failed.empty() && run.output_failed) failed = u"standard output";
    if (failed.empty()) return true;
    run.removals_halted = true;
    report_event(run, run_removes(run) ? RECORDS_FAILED : WRITE_FAILED, {failed});
    return false;
}

bool is_result_file(const run_state& run, const platform::file_id& id) {
    for (const platform::file_id& file : run.result_files)
        if (file == id) return true;
    return false;
}

void close_run_log(run_state& run) {
    run.logs[log_id::full].close();
    run.logs[log_id::aer].close();
}

std::u16string shell_quote(std::u16string_view path) {
    std::u16string quoted(1, u'\'');
    for (char16_t c : path) {
        if (c == u'\'')
            quoted += u"'\\''";
        else
            quoted.push_back(c);
    }
    quoted.push_back(u'\'');
    return quoted;
}

void write_move(run_state& run, std::u16string_view from, std::u16string_view to) {
    log_line(run.logs[log_id::move], u"move \"%s\" \"%s\"\n", batch_quote(from), batch_quote(to));
    log_line(run.logs[log_id::move_sh], u"mv -n -- %s %s\n", shell_quote(from), shell_quote(to));
}

void write_rename(run_state& run, std::u16string_view path, std::u16string_view suffix) {
    const std::u16string quoted = batch_quote(path);
    log_line(run.logs[log_id::move], u"move \"%s\" \"%s%s\"\n", quoted, quoted, batch_quote(suffix));
    log_line(run.logs[log_id::move_sh], u"mv -n -- %s %s\n", shell_quote(path),
             shell_quote(std::u16string(path).append(suffix)));
}

std::u16string batch_quote(std::u16string_view path) {
    std::u16string quoted;
    quoted.reserve(path.size());
    for (char16_t c : path) {
        quoted.push_back(c);
        if (c == u'%') quoted.push_back(u'%');
    }
    return quoted;
}

}  // namespace zub
