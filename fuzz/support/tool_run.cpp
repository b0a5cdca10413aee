#include "fuzz/support/tool_run.h"

#include <cstdlib>

#include "telvar/framework/end_process.h"

namespace {

bool inside = false;

// What the stand-in of end_process throws; nothing of the tool catches it.
struct process_ended {
    int status;
};

}  // namespace

namespace telvar {

// In place of the tool's own (telvar/framework/end_process.cpp), which the link then leaves out.
void end_process(int status) {
    if (!inside) std::exit(status);
    throw process_ended{status};
}

}  // namespace telvar

namespace fuzz {

int run_tool(int (*entry)(int, char**), int argc, char** argv) {
    inside = true;
    int status = 0;
    try {
        status = entry(argc, argv);
    } catch (const process_ended& e) {
        status = e.status;
    }
    inside = false;
    return status;
}

bool tool_running() { return inside; }

}  // namespace fuzz
