// The bash completion of telvar, run by bash as the shell runs it: COMP_WORDS and COMP_CWORD
// set, the completion function called, COMPREPLY read back. Its command words are compared
// with the dispatcher's table, so that a command added there and missing here fails; and what
// `telvar help` names, the completion and the man page (kept by hand) must all know.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "telvar/cli/command_table.h"

namespace {

using words = std::set<std::string>;

// What completing the last of `line` offers.
words complete(const std::vector<std::string>& line) {
    std::vector<std::string> a{"-c",
                               "source \"$1\" && shift && COMP_WORDS=(\"$@\") && COMP_CWORD=$(($# - 1)) && _telvar && "
                               "printf '%s\\n' \"${COMPREPLY[@]}\"",
                               "bash", TELVAR_COMPLETION};
    a.insert(a.end(), line.begin(), line.end());
    const auto r = tvtest::run_tool("/bin/bash", a);
    EXPECT_EQ(0, r.status) << r.err;
    words out;
    std::istringstream lines(r.out);
    for (std::string w; std::getline(lines, w);)
        if (!w.empty()) out.insert(w);
    return out;
}

TEST(completion, offers_the_command_words_of_the_dispatchers_table) {
    words all{"help"};
    for (const auto& c : telvar::commands()) all.insert(std::string(c.word));
    EXPECT_EQ(all, complete({"telvar", ""}));
    EXPECT_EQ(all, complete({"telvar", "-port", "0", "--lenient", "-y", ""}));
    EXPECT_EQ((words{"set_trap_config", "set_trapping", "set_wwn_zone", "set_zone"}), complete({"telvar", "set_"}));
    EXPECT_EQ((words{"port_counts", "port_mfs_mode", "port_state", "port_status", "port_steering", "port_type"}),
              complete({"telvar", "help", "port_"}));
}

TEST(completion, offers_flags_the_words_of_values_and_arguments_and_file_names) {
    const std::string file = ::testing::TempDir() + "telvar_completion_probe.txt";
    std::ofstream(file) << "x\n";
    struct expectation {
        std::vector<std::string> line;
        words offered;
    };
    const std::vector<expectation> cases{
        {{"telvar", "-"}, {"--json", "--lenient", "--version", "--help", "--timeout", "--wait", "-port", "-f", "-u", "-p", "-y", "--yes", "-q", "-v", "-h"}},
        // Options anywhere until "--" (right after each word: the last test).
        {{"telvar", "port_state", "10.0.0.1", "3", "-"}, {"-s", "-port", "-f", "-u", "-p", "-y", "--yes", "-q", "-v", "-h", "--json", "--timeout", "--wait"}},
        {{"telvar", "port_state", "10.0.0.1", "-s", ""}, {"on", "off"}},
        {{"telvar", "smlget", "--", "10.0.0.1", "-"}, {}},
        {{"telvar", "locate", file.substr(0, file.size() - 5)}, {file}},
        {{"telvar", "chassis_mode", "-u", "admin", "-s", "o"}, {"on", "off"}},
        {{"telvar", "port_state", "-s", "on", "10.0.0.1", "a"}, {"all"}},
        {{"telvar", "get_zone", "-s", "10.0.0.1", ""}, {"hd", "ns", "bcst", "sl"}},
        {{"telvar", "get_zone", "10.0.0.1", "hd", ""}, {"all"}},
        {{"telvar", "set_zone", "10.0.0.1", "hd", "3", "1", "5-8", "n"}, {"none"}},  // a list
        // An option of a word may follow the address; --snapshot takes the address's place.
        {{"telvar", "zone_apply", "10.0.0.1", "--d"}, {"--dry-run"}},
        {{"telvar", "locate", "--snapshot", file.substr(0, file.size() - 5)}, {file}},
        {{"telvar", "zone_lint", "--snapshot", "f.json", ""}, {}},
        {{"telvar", "map", "--devices", "-o", "x.svg", file.substr(0, file.size() - 5)}, {file}},
        {{"telvar", "version", "10.0.0.1", ""}, {}},  // nothing after the address
        {{"telvar", "message", "10.0.0.1", file.substr(0, file.size() - 5)}, {file}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.offered, complete(c.line)) << c.line.back() << " after " << c.line[c.line.size() - 2];
}

// The man page's entries: the words of each entry's head line (the line after ".TP"), with
// the entry's text, both as a reader sees them (no font changes, "\-" as "-").
struct man_entry {
    std::vector<std::string> head;
    std::string text;
};

std::string as_read(std::string line) {
    line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    line = std::regex_replace(line, std::regex(R"(^\.(B|I|BI|BR|IR|RB|RI|IB)\b ?)"), "");
    return std::regex_replace(line, std::regex(R"(["\[\]|,])"), " ");
}

std::vector<man_entry> man_entries(std::string& whole) {
    std::ifstream in(TELVAR_MAN_PAGE);
    std::vector<man_entry> out;
    bool head = false;
    for (std::string line; std::getline(in, line);) {
        whole += as_read(line) + "\n";
        if (line == ".TP") {
            out.emplace_back();
            head = true;
        } else if (line.starts_with(".SH")) {
            head = false;
            out.emplace_back();  // the section's text is no entry's
        } else if (!out.empty()) {
            std::istringstream heads(as_read(line));
            for (std::string w; head && heads >> w;) out.back().head.push_back(w);
            out.back().text += as_read(line) + "\n";
            head = false;
        }
    }
    return out;
}

// The options that a help text names: -x, -port, --word, not the dashes inside words.
words options_named(const std::string& text) {
    static const std::regex option(R"((^|[\s\[(])(--?[A-Za-z][A-Za-z-]*))");
    words out;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) out.insert((*it)[2]);
    return out;
}

TEST(completion, knows_and_the_man_page_describes_every_word_and_option_that_help_names) {
    std::string man;
    const std::vector<man_entry> entries = man_entries(man);
    const auto entry_of = [&](const std::string& name) -> const man_entry* {
        for (const man_entry& e : entries)
            if (std::find(e.head.begin(), e.head.end(), name) != e.head.end()) return &e;
        return nullptr;
    };
    const auto help = tvtest::run_tool(TELVAR_BIN, {"help"});
    ASSERT_EQ(0, help.status);
    // The global options, after the usage text's command lines; help names the long ones too.
    const std::size_t from = help.out.find("\nglobal flags:"), to = help.out.find("\nmore commands:");
    ASSERT_LT(from, to);
    const std::string globals = help.out.substr(from, to - from);
    for (const char* name : {"--json", "--lenient", "--version", "-y", "--yes", "--timeout", "--wait"}) EXPECT_TRUE(options_named(globals).contains(name)) << name;
    const words first = complete({"telvar", "-"});
    for (const std::string& o : options_named(globals)) {
        EXPECT_TRUE(first.contains(o)) << o << " is not completed";
        EXPECT_NE(nullptr, entry_of(o)) << o << " has no entry in the man page";
    }
    // Every command word, each with the options of its help.
    const words offered = complete({"telvar", ""});
    const std::regex word_re(R"(telvar ([a-z_]+) )");
    words commands;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), word_re), end; it != end; ++it) commands.insert((*it)[1]);
    EXPECT_EQ(telvar::commands().size(), commands.size());
    for (const std::string& w : commands) {
        EXPECT_TRUE(offered.contains(w)) << w;
        std::string text;  // of every entry of the word (discover has two)
        for (const man_entry& e : entries)
            if (!e.head.empty() && e.head.front() == w) text += e.text;
        if (text.empty()) {
            ADD_FAILURE() << w << " has no entry in the man page";
            continue;
        }
        const words after_word = complete({"telvar", w, "-"});
        for (const std::string& o : options_named(tvtest::run_tool(TELVAR_BIN, {"help", w}).out)) {
            EXPECT_TRUE(after_word.contains(o)) << w << " " << o << " is not completed";
            if (!first.contains(o)) {
                EXPECT_TRUE(options_named(text).contains(o)) << w << " " << o << " is not in its man entry";
            }
        }
    }
}

}  // namespace
