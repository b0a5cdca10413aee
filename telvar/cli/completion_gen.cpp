// Writes the bash completion of telvar: the template (completion.bash) with its table line
// replaced by the command words, their descriptions and the global options, read from the
// dispatcher's table.
//
//     telvar_completion_gen TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "telvar/cli/command_table.h"

namespace {

constexpr std::string_view table_marker = "# @COMMAND_TABLE@";

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string table() {
    std::ostringstream words, options, operands;
    for (const telvar::command& c : telvar::commands()) {
        words << ' ' << c.word;
        options << "\n    [" << c.word << "]=" << quoted(c.args.options);
        operands << "\n    [" << c.word << "]=" << quoted(c.args.operands);
    }
    // Some options of the dispatcher stand only before the command word; the others anywhere.
    std::ostringstream first, anywhere;
    for (const telvar::global_option& o : telvar::global_options()) {
        first << (first.tellp() > 0 ? " " : "") << o.name;
        if (!o.before_word_only) anywhere << (anywhere.tellp() > 0 ? " " : "") << o.name;
    }
    return "_telvar_commands='help" + words.str() + "'\n_telvar_first_flags='" + first.str() +
           "'\n_telvar_global_flags='" + anywhere.str() + "'\ndeclare -gA _telvar_options=(" + options.str() +
           "\n)\ndeclare -gA _telvar_operands=(" + operands.str() + "\n)\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: telvar_completion_gen TEMPLATE OUTPUT\n";
        return 2;
    }
    for (const telvar::command& c : telvar::commands()) {
        // The table is written in single quotes.
        if (c.args.options.find('\'') != std::string_view::npos || c.args.operands.find('\'') != std::string_view::npos) {
            std::cerr << "telvar_completion_gen: a quote in the description of " << c.word << '\n';
            return 1;
        }
    }
    std::ifstream in(argv[1]);
    std::ostringstream out;
    bool replaced = false;
    for (std::string line; std::getline(in, line);) {
        if (line == table_marker) {
            out << table();
            replaced = true;
        } else {
            out << line << '\n';
        }
    }
    if (!in.eof() || !replaced) {
        std::cerr << "telvar_completion_gen: cannot read the table line of " << argv[1] << '\n';
        return 1;
    }
    std::ofstream file(argv[2]);
    file << out.str();
    file.close();
    if (!file) {
        std::cerr << "telvar_completion_gen: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
