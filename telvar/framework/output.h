// Printing of the command layer. Every report goes to the exported stream `fp`; a host that
// sets it to null silences the layer, as a null log stream silences the protocol module.
#pragma once

#include <cstdint>
#include <string>

#include "telvar/tv_api.h"
#include "telvar/tv_export.h"

namespace telvar {

// Formats onto `fp` like fprintf; does nothing when `fp` is null.
void print(const char* format, ...) TV_PRINTF(1, 2);
// Makes print() on the calling thread append to `text` instead of writing to `fp` (while `fp`
// is not null), until it is called with null: a walk side by side keeps each switch's report
// until its turn.
void print_into(std::string* text);

// A status code's message as print_error prints it, without its newline ("Unrecognized error
// (N)" for a code without one); the system error number is not consulted.
std::string status_message(int32_t code);

// The version line and the usage text, as usage() prints them before it exits.
void print_usage();

// Told of every context that open_ip_context opened (after its login, if any) and of every
// context that close_ip_context is about to close, so that a host can log out of what it
// logged into. Null: nobody is told.
using context_observer = void (*)(tv_context* ctx);
void set_context_observers(context_observer opened, context_observer closing);

// Told of the port count that opening a context read, when it could be read, before the
// command goes on: the tool checks the port numbers of its command line against it there, so
// that a number the switch does not have is refused before anything else is sent. Null: nobody.
using port_count_observer = void (*)(tv_context* ctx, int32_t count);
void set_port_count_observer(port_count_observer seen);

// The port text of a command line against the switch's port count (Max_Ports): 1 to Max_Ports
// gives wire port n - 1, "all" TV_ALL_PORTS where allowed. A number out of range prints
// "bad port number: %d\n" and gives nullopt with `printed` set; any other text gives nullopt
// without printing.
struct port_text_result {
    bool ok = false;
    bool printed = false;
    int32_t port = 0;
    bool out_of_range = false;  // a number outside 1 to Max_Ports (then `port` is that number)
};
port_text_result read_port_text(const char* text, bool allow_all);
// The same reading without printing anything: the caller reports a number out of range.
port_text_result parse_port_text(const char* text, bool allow_all);

// The local UDP port of a new context: `text` (the value of -port) when not null, else the
// environment variable TELVARPORT, else telvarport, each read as a decimal number truncated to
// 16 bits (so 0 lets the system choose); 5001 when none is set.
int32_t local_udp_port(const char* text);

// What a line of the name-server table shows of an object, kept apart from the 584-byte
// record so that a walk of a large fabric can hold every line in little memory.
struct nameserver_line {
    std::int32_t port;
    std::uint32_t port_id;
    std::uint32_t port_type;
    std::uint8_t port_wwn[8];
    std::uint8_t node_wwn[8];
    std::int16_t fc4_type;  // the lowest registered, or -1
};
nameserver_line line_of(const tv_nameserver_entry& e);
// The table's two heading lines, one object's line, and what stands for an empty table.
void show_nameserver_heading();
void show_nameserver_line(const nameserver_line& l);
void show_nameserver_empty();

}  // namespace telvar
