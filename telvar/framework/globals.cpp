// The process-wide state of the command layer: the output stream and the values of the global
// flags. They outlive every command; a flag's value stays until a later flag overwrites it.
#include "telvar/telvar.h"

extern "C" {
FILE* fp = stderr;
uint32_t g_remotefcaddr = 0;
const char* g_udpport = nullptr;
const char* g_userid = nullptr;
const char* g_pw = nullptr;
int32_t g_logincmd = 0;
int32_t adminlevel = 0;
int32_t Max_Ports = 0;
}
