// The one way the command layer and the tool's dispatcher end the process early (a refused
// command line, the usage text, a WWN of the wrong length): exit() with the status. It is a
// function of ours, in a translation unit of its own, so that a harness that runs the tool
// again and again in one process can link another in its place that unwinds back to it
// (exit() itself is declared not to throw, so nothing may unwind through a call to it).
#pragma once

namespace telvar {

[[noreturn]] void end_process(int status);

}  // namespace telvar
