// What the tool asks a person at a terminal: a password that -u left out, a new password that
// an account command left out, and whether to go on with a change that is hard to take back. Without a terminal on standard input nothing is
// asked, so that scripts behave as before; -y answers every question with yes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "telvar/framework/outcome.h"

namespace telvar::tool {

// -y: questions are answered with yes without being asked.
void set_assume_yes(bool yes);

// Whether confirmed() would ask (a terminal on standard input and no -y).
bool would_ask();

// Asks `question` (with " [y/N] ") on standard error and reads the answer; true for y or yes.
// True without asking when would_ask() is false; false at the end of input.
bool confirmed(const std::string& question);

// The switch a question is about: its address, or its FC address (-f) through that address.
std::string switch_name(const char* address);

// A change the user did not confirm: says so on standard error; a refusal, as of the command
// line (exit status 1).
outcome declined(std::string_view word);

// Reads a line with echo off after printing `prompt` on standard error. The terminal's mode is
// restored on every way out, a signal (Ctrl-C, Ctrl-\, hang-up) included. Nothing when standard
// input is no terminal or ends first.
std::optional<std::string> read_secret(const std::string& prompt);

// A new password for the account `whom`: typed twice on a terminal, with echo off; without a
// terminal on standard input, $TELVAR_NEW_PASSWORD. Nothing, with the reason in `why`, when the
// two typed differ, nothing was typed, or there is neither a terminal nor the variable.
std::optional<std::string> new_password(const std::string& whom, std::string& why);

}  // namespace telvar::tool
