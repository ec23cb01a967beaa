// Opening and closing the result files of a run, and the byte-order marks.
// Every name is relative, so the files land in the current folder. A file
// that cannot be created leaves its stream closed; writes to a closed stream
// do nothing, so the run goes on without that file.
#include "result_logs.h"

#include "settings.h"

namespace zub {

namespace {

using platform::write_mode;

struct named_stream {
    text_stream log_set::*member;
    const char16_t* name;
};

// The twelve path lists, in the order they are opened and closed.
constexpr named_stream path_lists[] = {
    {&log_set::ssame, u"zubssame.log"}, {&log_set::dsame, u"zubdsame.log"}, {&log_set::sdif, u"zubsdif.log"},
    {&log_set::ddif, u"zubddif.log"},   {&log_set::sfnf, u"zubsfnf.log"},   {&log_set::dfnf, u"zubdfnf.log"},
    {&log_set::sdnf, u"zubsdnf.log"},   {&log_set::ddnf, u"zubddnf.log"},   {&log_set::srm, u"zubsrm.log"},
    {&log_set::drm, u"zubdrm.log"},     {&log_set::serr, u"zubserr.log"},   {&log_set::derr, u"zubderr.log"},
};

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
    if (!script.open(u"zubmove.sh", mode)) return;
    script.set_encoding(text_encoding::utf8);
    if (script.length() == 0) print_to(script, u"#!/bin/sh\nset -e\n");
}

bool bom_requested() {
    std::u16string value = read_setting(u"options", u"BOM");
    return !value.empty() && value[0] == u'1';
}

}  // namespace

void open_run_log(run_state& run) { run.logs.aer.open(u"zubaer.log", write_mode::append); }

void open_logs(run_state& run) {
    const run_options& o = run.options;
    log_set& logs = run.logs;
    const write_mode mode = o.append_logs ? write_mode::append : write_mode::truncate;

    if (o.full_log) logs.full.open(u"zublog.txt", mode);
    for (const named_stream& list : path_lists) (logs.*list.member).open(list.name, mode);
    if (o.partial_compare) logs.part.open(u"zubpart.log", mode);
    if (o.long_log) logs.lng.open(u"zublong.log", mode);
    if (o.file_log) logs.file.open(u"zubfile.log", mode);
    if (o.move_script) logs.move.open(u"zubmove.bat", mode);
    if (o.move_script && platform::native_path_style() == platform::path_style::posix)
        open_shell_script(logs.move_sh, mode);

    if (!bom_requested()) return;
    // The move scripts never get a mark. zubaer.log is tested last; by now it
    // holds this run's argument lines, so it gets a mark only if it could not
    // take them.
    mark_if_empty(logs.full);
    for (const named_stream& list : path_lists) mark_if_empty(logs.*list.member);
    mark_if_empty(logs.part);
    mark_if_empty(logs.lng);
    mark_if_empty(logs.file);
    mark_if_empty(logs.aer);
}

void close_logs(run_state& run) {
    log_set& logs = run.logs;
    for (const named_stream& list : path_lists) (logs.*list.member).close();
    logs.part.close();
    logs.lng.close();
    logs.file.close();
    logs.move.close();
    logs.move_sh.close();
}

std::u16string_view failed_result_file(run_state& run) {
    log_set& logs = run.logs;
    if (logs.aer.failed()) return u"zubaer.log";
    if (logs.full.failed()) return u"zublog.txt";
    for (const named_stream& list : path_lists)
        if ((logs.*list.member).failed()) return list.name;
    if (logs.part.failed()) return u"zubpart.log";
    if (logs.lng.failed()) return u"zublong.log";
    if (logs.file.failed()) return u"zubfile.log";
    if (logs.move.failed()) return u"zubmove.bat";
    return {};
}

void close_run_log(run_state& run) {
    run.logs.full.close();
    run.logs.aer.close();
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
    log_line(run.logs.move, u"move \"%s\" \"%s\"\n", batch_quote(from), batch_quote(to));
    log_line(run.logs.move_sh, u"mv -n -- %s %s\n", shell_quote(from), shell_quote(to));
}

void write_rename(run_state& run, std::u16string_view path, std::u16string_view suffix) {
    const std::u16string quoted = batch_quote(path);
    log_line(run.logs.move, u"move \"%s\" \"%s%s\"\n", quoted, quoted, batch_quote(suffix));
    log_line(run.logs.move_sh, u"mv -n -- %s %s\n", shell_quote(path),
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
