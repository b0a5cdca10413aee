// The bash completion of telvar, run by bash as the shell runs it: COMP_WORDS and COMP_CWORD
// set, the completion function called, COMPREPLY read back. Its command words are compared
// with the dispatcher's table, so that a command added there and missing here fails.
#include <gtest/gtest.h>

#include <fstream>
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
        {{"telvar", "-"}, {"--lenient", "--version", "--help", "-port", "-f", "-u", "-p", "-y", "-h"}},
        {{"telvar", "port_state", "-"}, {"-s", "-port", "-f", "-u", "-p", "-y", "-h"}},
        {{"telvar", "port_state", "-s", ""}, {"on", "off"}},
        {{"telvar", "chassis_mode", "-u", "admin", "-s", "o"}, {"on", "off"}},
        {{"telvar", "port_state", "-s", "on", "10.0.0.1", "a"}, {"all"}},
        {{"telvar", "get_zone", "-s", "10.0.0.1", ""}, {"hd", "ns", "bcst", "sl"}},
        {{"telvar", "get_zone", "10.0.0.1", "hd", ""}, {"all"}},
        {{"telvar", "set_zone", "10.0.0.1", "hd", "3", "1", "5-8", "n"}, {"none"}},  // a list
        {{"telvar", "discover", "--all", "-j", "4", "-"}, {"-m", "-j", "--all", "-port", "-f", "-u", "-p", "-y", "-h"}},
        {{"telvar", "version", "10.0.0.1", ""}, {}},  // nothing after the address
        {{"telvar", "message", "10.0.0.1", file.substr(0, file.size() - 5)}, {file}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.offered, complete(c.line)) << c.line.back() << " after " << c.line[c.line.size() - 2];
}

}  // namespace
