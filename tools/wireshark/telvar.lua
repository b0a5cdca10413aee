-- telvar.lua: dissector for the management protocol of our Fibre Channel switches (UDP port
-- 5000), for Wireshark and tshark. See README.md beside it.
--
-- Every message is a 16-byte header, a payload and a 4-byte byte-sum checksum; the switch's
-- reset message is a bare header whose checksum stands where the sequence number would. A
-- request and its answer share a sequence number; a datagram from the switch that answers no
-- request seen in the capture is a trap message to a listener.
--
-- The names of commands, sub-commands, status bytes and trap codes, and the offsets, are not
-- kept here: they come from telvar_names.lua, which the build writes from the simulator's
-- command families and the library's tables, so that they follow the code. It is found beside
-- this file, or given as the script's first argument (-X lua_script1:PATH).

local script_args = { ... }

local function names_file()
    if script_args[1] then return script_args[1] end
    local source = debug.getinfo(1, "S").source
    return (source:match("^@(.*[/\\])") or "") .. "telvar_names.lua"
end

local N
do
    local path = names_file()
    local ok, loaded = pcall(dofile, path)
    if not ok or type(loaded) ~= "table" or type(loaded.layout) ~= "table" then
        error("telvar.lua: cannot load the generated names from " .. path .. " (" ..
              tostring(loaded) .. "); use the copy in the build tree (build/wireshark/telvar.lua) " ..
              "or pass the file with -X lua_script1:PATH")
    end
    N = loaded
end
local L = N.layout

local function hex(v) return string.format("0x%x", v) end

-- ---------------------------------------------------------------------------------------------
-- Fields

local p = Proto("telvar", "Fibre Channel switch management")

local trap_code_names = N.trap_codes
trap_code_names[L.test_alert_code] = "test alert"

local checksum_states = { [0] = "Bad", [1] = "Good" }

local f = {
    kind = ProtoField.string("telvar.kind", "Kind"),
    version = ProtoField.uint8("telvar.version", "Version", base.DEC, nil, 0xF0),
    format = ProtoField.uint16("telvar.format", "Format", base.DEC, nil, 0x0FC0),
    option = ProtoField.uint8("telvar.option", "Option", base.DEC, nil, 0x3F),
    status = ProtoField.uint8("telvar.status", "Status", base.HEX),
    status_code = ProtoField.uint16("telvar.status.code", "Status code", base.DEC),
    dest = ProtoField.uint24("telvar.dest", "Destination FC address", base.HEX),
    chassis = ProtoField.uint24("telvar.dest.chassis", "Chassis", base.DEC, nil, L.chassis_mask),
    command = ProtoField.uint16("telvar.command", "Command", base.HEX, N.commands),
    command_name = ProtoField.string("telvar.command.name", "Command name"),
    length = ProtoField.uint16("telvar.length", "Length", base.DEC),
    seq = ProtoField.uint32("telvar.seq", "Sequence number", base.DEC),
    subcmd = ProtoField.uint32("telvar.subcmd", "Sub-command", base.HEX),
    subcmd_name = ProtoField.string("telvar.subcmd.name", "Sub-command name"),
    payload = ProtoField.bytes("telvar.payload", "Payload"),
    checksum = ProtoField.uint32("telvar.checksum", "Checksum", base.HEX),
    checksum_status = ProtoField.uint8("telvar.checksum.status", "Checksum status", base.DEC,
                                       checksum_states),
    checksum_computed = ProtoField.uint32("telvar.checksum.computed", "Computed checksum", base.HEX),
    request_in = ProtoField.framenum("telvar.request_in", "Request in", base.NONE, frametype.REQUEST),
    response_in = ProtoField.framenum("telvar.response_in", "Answer in", base.NONE, frametype.RESPONSE),
    time = ProtoField.relative_time("telvar.time", "Time since request"),
    resend_of = ProtoField.framenum("telvar.resend_of", "Resend of", base.NONE, frametype.REQUEST),
    duplicate_of = ProtoField.framenum("telvar.duplicate_of", "Duplicate of the answer in",
                                       base.NONE, frametype.RESPONSE),
    trap_unit = ProtoField.uint8("telvar.trap.unit", "Unit (port or ASIC)", base.DEC),
    trap_code = ProtoField.uint8("telvar.trap.code", "Trap code", base.DEC, trap_code_names),
    trap_alert = ProtoField.uint8("telvar.trap.alert", "Alert", base.DEC, N.alert_types),
    trap_value = ProtoField.int32("telvar.trap.value", "Counter value", base.DEC),
    trap_change = ProtoField.int32("telvar.trap.change", "Counter change", base.DEC),
    trap_source = ProtoField.uint24("telvar.trap.source", "Source FC address", base.HEX),
}
local field_list = {}
for _, field in pairs(f) do field_list[#field_list + 1] = field end
p.fields = field_list

local function expert_info(abbr, text, group, severity)
    return ProtoExpert.new("telvar." .. abbr, text, expert.group[group], expert.severity[severity])
end
local e = {
    bad_checksum = expert_info("checksum.bad", "Bad checksum", "CHECKSUM", "ERROR"),
    short = expert_info("short", "Datagram too short for a message", "MALFORMED", "ERROR"),
    bad_length = expert_info("length.mismatch", "Length field does not match the datagram",
                             "MALFORMED", "WARN"),
    refused = expert_info("status.refused", "The switch refused the request", "RESPONSE_CODE", "WARN"),
    resend = expert_info("resend", "Request sent again with the same sequence number",
                         "SEQUENCE", "NOTE"),
    duplicate = expert_info("duplicate", "Another answer to an answered request", "SEQUENCE", "NOTE"),
    no_request = expert_info("no_request", "Answer to no request in the capture", "SEQUENCE", "NOTE"),
}
local expert_list = {}
for _, item in pairs(e) do expert_list[#expert_list + 1] = item end
p.experts = expert_list

-- ---------------------------------------------------------------------------------------------
-- Helpers

local function byte_sum(tvb, count)
    local raw = tvb:raw(0, count)
    local sum = 0
    for i = 1, count do sum = sum + raw:byte(i) end
    return sum % 4294967296
end

local function status_meaning(byte)
    local s = N.status[byte] or N.status_other
    if s.text then return s.text .. ", status code " .. s.code end
    return "status code " .. s.code
end

-- The name of an operation: of its sub-command for the commands that carry one.
local function op_name(command, subcmd)
    local subs = N.subcommands[command]
    if subs and subcmd then
        return subs[subcmd] or (N.commands[command] .. " sub-command " .. hex(subcmd))
    end
    return N.commands[command] or ("command " .. hex(command))
end

-- Where the checksum of a message stands: in place of the sequence number in the reset
-- message, in the last 4 bytes of every other; nil when there is no room for one.
local function checksum_at(tvb, kind)
    if kind == "reset" then return L.reset_checksum_at end
    if tvb:len() < L.header_len + L.checksum_len then return nil end
    return tvb:len() - L.checksum_len
end

local function checksum_ok(tvb, kind)
    local at = checksum_at(tvb, kind)
    return at ~= nil and byte_sum(tvb, at) == tvb(at, 4):uint()
end

local function is_test_alert(tvb)
    return tvb:len() == L.trap_len and tvb:raw(0, L.header_len) == string.rep("\0", L.header_len)
        and tvb(L.trap_code, 1):uint() == L.test_alert_code
end

-- ---------------------------------------------------------------------------------------------
-- Pairing. The first pass over a capture sees the frames in order and writes what it learns
-- into a record per frame; later passes (and the GUI) read those records.

local requests, frames

local function forget()
    requests, frames = {}, {}
end
forget()
p.init = forget  -- a new capture

local function pair_key(manager, manager_port, switch, seq)
    return manager .. ":" .. manager_port .. ">" .. switch .. "#" .. seq
end

local function first_pass(tvb, pinfo, rec)
    local seq = tvb(L.seq, 4):uint()
    if rec.kind == "request" then
        local key = pair_key(tostring(pinfo.src), pinfo.src_port, tostring(pinfo.dst), seq)
        local first = requests[key]
        if first then
            rec.resend_of = first.frame
        else
            requests[key] = { frame = pinfo.number, ts = pinfo.abs_ts, rec = rec }
        end
        return
    end
    local key = pair_key(tostring(pinfo.dst), pinfo.dst_port, tostring(pinfo.src), seq)
    local req = requests[key]
    if req == nil then
        -- Nobody asked: a trap message to a listener, or an answer whose request is not here.
        if tvb(L.command, 2):uint() == L.trap_command and tvb:len() == L.trap_len then
            rec.kind = "trap"
        else
            rec.no_request = true
        end
        return
    end
    rec.request_in = req.frame
    rec.subcmd = req.rec.subcmd
    local us = math.floor((pinfo.abs_ts - req.ts) * 1e6 + 0.5)
    rec.delay = NSTime.new(math.floor(us / 1000000), (us % 1000000) * 1000)
    -- An answer with a bad checksum does not count: the manager waits on for a good one.
    if not rec.checksum_ok then return end
    if req.rec.response_in then
        rec.duplicate_of = req.rec.response_in
    else
        req.rec.response_in = pinfo.number
    end
end

local function classify(tvb, pinfo)
    local len = tvb:len()
    if is_test_alert(tvb) then return "test alert" end
    if pinfo.dst_port == L.port or pinfo.src_port ~= L.port then
        if len == L.reset_len and tvb(L.command, 2):uint() == L.reset_command
            and tvb(L.length, 2):uint() == 0 then
            return "reset"
        end
        return "request"
    end
    return "answer"  -- or a trap: the first pass tells
end

-- ---------------------------------------------------------------------------------------------
-- Dissection

local function add_header(t, tvb, rec)
    local h = t:add(tvb(0, L.header_len), "Header")
    h:add(f.version, tvb(0, 1))
    h:add(f.format, tvb(0, 2))
    h:add(f.option, tvb(1, 1))
    local status = tvb(L.status, 1):uint()
    local st = h:add(f.status, tvb(L.status, 1))
    if rec.kind ~= "request" and rec.kind ~= "reset" then
        st:append_text(" (" .. status_meaning(status) .. ")")
        local code = (N.status[status] or N.status_other).code
        h:add(f.status_code, code):set_generated()
    end
    local dest = h:add(f.dest, tvb(L.dest, 3))
    if tvb(L.dest, 3):uint() == L.default_dest then
        dest:append_text(" (the switch that owns the IP address)")
    end
    dest:add(f.chassis, tvb(L.dest, 3))
    h:add(f.command, tvb(L.command, 2))
    h:add(f.length, tvb(L.length, 2))
    if rec.kind ~= "reset" then h:add(f.seq, tvb(L.seq, 4)) end
end

local function add_checksum(t, tvb, rec)
    local at = checksum_at(tvb, rec.kind)
    if at == nil then
        t:add_proto_expert_info(e.short, "No room for a checksum in " .. tvb:len() .. " bytes")
        return
    end
    local item = t:add(f.checksum, tvb(at, 4))
    if rec.kind == "reset" then item:append_text(" (in place of the sequence number)") end
    t:add(f.checksum_status, rec.checksum_ok and 1 or 0):set_generated()
    if not rec.checksum_ok then
        local computed = byte_sum(tvb, at)
        t:add(f.checksum_computed, computed):set_generated()
        item:add_proto_expert_info(e.bad_checksum, "Bad checksum: " .. hex(tvb(at, 4):uint()) ..
                                   ", should be " .. hex(computed))
    end
end

-- The payload of a trap message; returns its summary.
local function add_trap(t, tvb)
    local tr = t:add(tvb(L.header_len, L.trap_len - L.header_len - L.checksum_len), "Trap")
    tr:add(f.trap_unit, tvb(L.trap_unit, 1))
    tr:add(f.trap_code, tvb(L.trap_code, 1))
    tr:add(f.trap_alert, tvb(L.trap_alert, 1))
    tr:add(f.trap_value, tvb(L.trap_value, 4))
    tr:add(f.trap_change, tvb(L.trap_change, 4))
    -- The source sits in the payload when the length field reaches it, else in the header.
    if tvb(L.length, 2):uint() >= L.trap_source_len then
        tr:add(f.trap_source, tvb(L.trap_source + 1, 3))
    else
        tr:add(f.trap_source, tvb(L.dest, 3)):append_text(" (from the header)")
    end
    local code = tvb(L.trap_code, 1):uint()
    local alert = tvb(L.trap_alert, 1):uint()
    return string.format("%s (%d), %s, unit %d, value %d", trap_code_names[code] or "unknown",
                         code, N.alert_types[alert] or ("alert " .. alert),
                         tvb(L.trap_unit, 1):uint(), tvb(L.trap_value, 4):int())
end

-- The sub-command (the request's, on an answer) and the payload of a request or an answer;
-- returns its summary.
local function add_operation(t, tvb, rec, name)
    local len = tvb:len()
    local payload_at = L.header_len
    if rec.subcmd then
        local item
        if rec.kind == "request" then
            payload_at = L.subcmd + 4
            item = t:add(f.subcmd, tvb(L.subcmd, 4))
        else
            item = t:add(f.subcmd, rec.subcmd):set_generated()
        end
        item:set_text(string.format("Sub-command: %s (0x%08x)%s", name, rec.subcmd,
                                    rec.kind == "request" and "" or ", of the request"))
        t:add(f.subcmd_name, name):set_generated():set_hidden()
    end
    if len - L.checksum_len > payload_at then
        t:add(f.payload, tvb(payload_at, len - L.checksum_len - payload_at))
    end
    if rec.kind == "reset" then return "Reset: " .. name .. ", no answer expected" end
    local summary = (rec.kind == "request" and "Request: " or "Answer: ") .. name ..
                    " (seq " .. tvb(L.seq, 4):uint() .. ")"
    if rec.resend_of then
        t:add(f.resend_of, rec.resend_of):set_generated()
        t:add_proto_expert_info(e.resend)
        summary = summary .. " [resend]"
    end
    if rec.response_in then t:add(f.response_in, rec.response_in):set_generated() end
    if rec.request_in then
        t:add(f.request_in, rec.request_in):set_generated()
        t:add(f.time, rec.delay):set_generated()
        summary = summary .. string.format(" in %.3f ms", (rec.delay.secs * 1e9 + rec.delay.nsecs) / 1e6)
    end
    if rec.duplicate_of then
        t:add(f.duplicate_of, rec.duplicate_of):set_generated()
        t:add_proto_expert_info(e.duplicate)
        summary = summary .. " [duplicate]"
    end
    if rec.no_request then t:add_proto_expert_info(e.no_request) end
    local status = tvb(L.status, 1):uint()
    if rec.kind == "answer" and status ~= 0 then
        local why = string.format("status 0x%02x: %s", status, status_meaning(status))
        t:add_proto_expert_info(e.refused, "Refused, " .. why)
        summary = summary .. ", " .. why
    end
    return summary
end

-- What the first pass learnt of a frame, learning it now when this is the first pass.
local function record_of(tvb, pinfo)
    local rec = frames[pinfo.number]
    if pinfo.visited and rec then return rec end
    rec = { kind = classify(tvb, pinfo) }
    local len = tvb:len()
    if rec.kind == "request" and N.subcommands[tvb(L.command, 2):uint()]
        and len >= L.subcmd + 4 + L.checksum_len then
        rec.subcmd = tvb(L.subcmd, 4):uint()
    end
    rec.checksum_ok = checksum_ok(tvb, rec.kind)
    if (rec.kind == "request" or rec.kind == "answer") and len >= L.header_len + L.checksum_len then
        first_pass(tvb, pinfo, rec)
    end
    frames[pinfo.number] = rec
    return rec
end

function p.dissector(tvb, pinfo, tree)
    local len = tvb:len()
    pinfo.cols.protocol = "TELVAR"
    local t = tree:add(p, tvb())
    if len < L.header_len then
        t:add_proto_expert_info(e.short)
        pinfo.cols.info = "Short datagram of " .. len .. " bytes"
        return len
    end
    local rec = record_of(tvb, pinfo)
    t:add(f.kind, rec.kind):set_generated()
    add_header(t, tvb, rec)
    local command = tvb(L.command, 2):uint()
    t:add(f.command_name, N.commands[command] or hex(command)):set_generated():set_hidden()
    -- The reset message says 0; a test alert has no header at all.
    if rec.kind ~= "reset" and rec.kind ~= "test alert"
        and tvb(L.length, 2):uint() + L.header_len ~= len then
        t:add_proto_expert_info(e.bad_length, "Length field " .. tvb(L.length, 2):uint() ..
                                " in a datagram of " .. len .. " bytes")
    end

    local info
    if rec.kind == "trap" or rec.kind == "test alert" then
        info = (rec.kind == "trap" and "Trap: " or "Test alert: ") .. add_trap(t, tvb)
    else
        info = add_operation(t, tvb, rec, op_name(command, rec.subcmd))
    end
    add_checksum(t, tvb, rec)
    if not rec.checksum_ok then info = info .. " [bad checksum]" end
    pinfo.cols.info = info
    t:append_text(", " .. info)
    return len
end

-- Test alerts go from a manager to a listener's system-chosen port: recognised by their shape.
local function heuristic(tvb, pinfo, tree)
    if not is_test_alert(tvb) or not checksum_ok(tvb, "test alert") then return false end
    p.dissector(tvb, pinfo, tree)
    return true
end

DissectorTable.get("udp.port"):add(L.port, p)
p:register_heuristic("udp", heuristic)
