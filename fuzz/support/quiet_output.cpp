// For the harnesses that run the tool's commands: their reports and complaints on standard
// output and error would swamp libFuzzer's own lines and slow every run, so unless told
// otherwise libFuzzer is asked to send both nowhere (it keeps a copy of standard error for its
// own lines and the sanitizers' reports).
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    static char quiet[] = "-close_fd_mask=3";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, quiet);  // before the caller's flags, which win
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size() - 1);
    *argv = args.data();
    return 0;
}
