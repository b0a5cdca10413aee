// Running the tool's code again and again in one process: where the tool ends the process
// (telvar::end_process, for a refused line or the usage text), the harnesses that link
// tool_run.cpp unwind back to run_tool instead, and the destructors on the way close what the
// command had opened.
#pragma once

namespace fuzz {

// Runs `entry` (the dispatcher, or a command) on `argc` elements of `argv`; its return value,
// or the status with which it ended the process.
int run_tool(int (*entry)(int, char**), int argc, char** argv);

// Whether the tool is running under run_tool: the harnesses' other stand-ins act only then, and
// let libFuzzer's own calls through.
bool tool_running();

}  // namespace fuzz
