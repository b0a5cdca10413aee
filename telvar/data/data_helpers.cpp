// Helpers of the data commands (see data_cmds.h).
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "proto/whole_file.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/data/snapshot_shape.h"

namespace telvar::data {

namespace {
bool json_on = false;
std::vector<char*> given_line;
}

void remember_command_line(int argc, char** argv) { given_line.assign(argv, argv + argc); }
const std::vector<char*>& command_line() { return given_line; }

bool json_wanted() { return json_on; }
void set_json_wanted(bool on) { json_on = on; }

void complain(const char* command, const std::string& why) {
    std::fprintf(stderr, "telvar: %s: %s\n", command, why.c_str());
}

void print_json(const json& doc) {
    // Texts from a switch may hold bytes that are not UTF-8: they are replaced, not refused.
    const std::string text = doc.dump(2, ' ', false, json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void print_json_list(const json& head, const std::string& list, std::size_t n,
                     const std::function<json(std::size_t)>& element) {
    // The head with an empty list, as print_json writes it; the list's elements go in its place,
    // each indented as two levels down.
    json whole = head;
    whole[list] = json::array();
    const std::string text = whole.dump(2, ' ', false, json::error_handler_t::replace);
    // A newline and two blanks begin a member of the document itself: inside a text they would
    // be written as escapes.
    const std::string empty = "\n  \"" + list + "\": []";
    const std::size_t at = text.find(empty) + empty.size() - 1;
    std::fwrite(text.data(), 1, at, stdout);
    for (std::size_t i = 0; i < n; ++i) {
        std::string e = element(i).dump(2, ' ', false, json::error_handler_t::replace);
        std::string indented = "\n    ";
        for (const char c : e) indented += c == '\n' ? std::string("\n    ") : std::string(1, c);
        if (i + 1 < n) indented += ',';
        std::fwrite(indented.data(), 1, indented.size(), stdout);
    }
    if (n > 0) std::fputs("\n  ", stdout);
    std::fwrite(text.data() + at, 1, text.size() - at, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

namespace {

// Thrown by the parser's callback to stop at once: a deeper document is refused long before its
// nesting could exhaust a stack in a reader of it.
struct nested_too_deep {};

}  // namespace

std::optional<json> load_json(const char* path, std::string& why) {
    const tv::whole_file f = tv::read_whole_file(path, max_document_bytes);
    if (!f) {
        const bool named_fault = f.fault == tv::file_fault::not_regular || f.fault == tv::file_fault::too_large;
        why = named_fault ? std::string(path) + ": " + tv::file_fault_text(f, max_document_bytes)
                          : std::string("cannot read ") + path;
        return std::nullopt;
    }
    return parse_json_text(f.text, path, why);
}

std::optional<json> parse_json_text(const std::string& text, const std::string& name, std::string& why) {
    const json::parser_callback_t depth_check = [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
            depth >= max_document_depth)
            throw nested_too_deep{};
        return true;
    };
    json doc;
    try {
        doc = json::parse(text, depth_check, false);
    } catch (const nested_too_deep&) {
        why = name + ": nested deeper than " + std::to_string(max_document_depth) + " levels";
        return std::nullopt;
    }
    if (doc.is_discarded()) {
        why = name + " is not a JSON document";
        return std::nullopt;
    }
    return doc;
}

std::string value_text(const std::string& key, const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return "none";
    if (v.is_number_unsigned() && key.ends_with("_rev")) {
        char t[24];
        std::snprintf(t, sizeof t, "0x%llx", static_cast<unsigned long long>(v.get<std::uint64_t>()));
        return t;
    }
    if (v.is_array()) {
        std::string t;
        for (const json& e : v) t += (t.empty() ? "" : " ") + value_text(key, e);
        return t.empty() ? "none" : t;
    }
    return v.dump();
}

std::string device_place(const json& d) {
    return "chassis " + std::to_string(d.value("chassis", -1)) + " port " + std::to_string(d.value("port", 0)) + " (" +
           d.value("fc_address", "") + ")";
}

const json& member(const json& j, const char* key) {
    static const json empty_array = json::array();
    return j.is_object() && j.contains(key) && j[key].is_array() ? j[key] : empty_array;
}

const json& member_object(const json& j, const char* key) {
    static const json empty = json::object();
    return j.is_object() && j.contains(key) && j[key].is_object() ? j[key] : empty;
}

// Compared as JSON values: a "format" that is not text is no snapshot, not a type error.
bool is_snapshot(const json& doc) {
    return doc.is_object() && doc.contains("format") && doc["format"] == "telvar-snapshot";
}

bool well_shaped(const char* command, const char* file, const json& doc) {
    const std::string why = snapshot_shape_problem(doc);
    if (!why.empty()) complain(command, std::string(file) + ": " + why);
    return why.empty();
}

std::optional<json> load_snapshot(const char* command, const char* file, int& status) {
    std::string why;
    auto doc = load_json(file, why);
    if (!doc || !is_snapshot(*doc)) {
        complain(command, doc ? std::string(file) + " is not a snapshot" : why);
        status = exit_status::failure;
        return std::nullopt;
    }
    return doc;
}

int write_whole(const char* command, const char* file, const std::function<int(std::FILE*)>& write) {
    // The file appears only whole: the document is written beside it and renamed at the end.
    const std::string partial = file ? std::string(file) + ".partial" : "";
    std::FILE* out = file ? std::fopen(partial.c_str(), "w") : stdout;
    if (out == nullptr) {
        complain(command, "cannot write " + partial + ": " + std::strerror(errno));
        return -1;
    }
    const int written = write(out);
    if (file != nullptr && (std::fclose(out) != 0 || written < 0 || std::rename(partial.c_str(), file) != 0)) {
        complain(command, "cannot write " + std::string(file));
        std::remove(partial.c_str());
        return -1;
    }
    return written;
}

context_ptr open_switch(const char* command, int32_t argc, char** argv, int32_t min) {
    context_ptr ctx{open_ip_context(argc, argv, min, nullptr)};
    if (!ctx) {
        const json st = telvar::json::status(tv_api_errno);
        complain(command, std::string(argv[0]) + ": " + st["message"].get<std::string>());
    }
    return ctx;
}

std::optional<json> fabric_document(const char* command, const char* snapshot_file, int32_t argc,
                                    char** argv, unsigned sections, int& status) {
    if (snapshot_file != nullptr) {
        auto doc = load_snapshot(command, snapshot_file, status);
        if (!doc || well_shaped(command, snapshot_file, *doc)) return doc;
        status = exit_status::failure;
        return std::nullopt;
    }
    const context_ptr ctx = open_switch(command, argc, argv, 1);
    if (!ctx) {
        status = exit_status::no_context;
        return std::nullopt;
    }
    json doc = snapshot::take(ctx.get(), argv[0], sections);
    if (const json& ns = doc["name_server"]["status"]; ns.is_object() && ns["code"] != TV_OK) {
        complain(command, "name server: " + ns["message"].get<std::string>());
        status = exit_status::failure;
        return std::nullopt;
    }
    for (const json& sw : doc["switches"])
        if (sw["status"]["code"] != TV_OK) {
            complain(command, "switch " + sw.value("fc_address", std::string(argv[0])) + ": " +
                                  sw["status"]["message"].get<std::string>());
            status = exit_status::failure;
            return std::nullopt;
        }
    return doc;
}

}  // namespace telvar::data
