// The name-server table: one line per object, with the name of its port type and of its lowest
// registered FC-4 type. The name tables are exported so that hosts print the same words.
#include <cstring>
#include <span>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

extern "C" {

const tv_code_name Device_Port_Types[7] = {
    {0x01, "N   "}, {0x02, "NL  "}, {0x03, "F/NL"}, {0x81, "F   "},
    {0x82, "FL  "}, {0x83, "LT  "}, {0x84, "E   "},
};

const tv_code_name FC4_Types[17] = {
    {8, "SCSI_FCP"},           {9, "SCSI_GPP"},          {17, "IPI-3_Master"},
    {18, "IPI-3_Peer"},        {19, "IPI-3_Slave"},      {21, "CP_IPI-3_Master"},
    {22, "CP_IPI-3_Peer"},     {23, "CP_IPI-3_Slave"},   {25, "SBCCS_Channel"},
    {26, "SBCCS_Control Unit"}, {32, "Fibre_Channel_Svcs"}, {33, "FC-FG"},
    {34, "FC-XS"},             {35, "FC-AL"},            {36, "SNMP"},
    {64, "HIPPI-FP"},          {93, "Fabric Controller"},
};

}  // extern "C"

namespace {

using telvar::print;

// The table's name for a code, or null.
const char* name_for(std::span<const tv_code_name> table, int32_t code) {
    for (const auto& e : table)
        if (e.code == code) return e.name;
    return nullptr;
}

// The lowest FC-4 type registered in the bitmap, or -1.
int lowest_fc4_type(const uint32_t (&words)[8]) {
    for (int t = 0; t < 256; ++t)
        if (words[t >> 5] & (1u << (t & 31))) return t;
    return -1;
}

}  // namespace

namespace telvar {

nameserver_line line_of(const tv_nameserver_entry& e) {
    nameserver_line l{e.port, e.port_id, e.port_type, {}, {}, static_cast<std::int16_t>(lowest_fc4_type(e.fc4_types))};
    std::memcpy(l.port_wwn, e.port_wwn, 8);
    std::memcpy(l.node_wwn, e.node_wwn, 8);
    return l;
}

void show_nameserver_heading() {
    print("Port  Address  Type  Port and Node WWN                   FC-4 Types\n");
    print("----  -------  ----  ----------------------------------  ----------------------\n");
}

void show_nameserver_line(const nameserver_line& l) {
    const char* type = name_for(Device_Port_Types, static_cast<int32_t>(l.port_type));
    print("%2.2d    %6.6X   %4s  ", l.port, l.port_id, type ? type : "??  ");
    show_wwn(l.port_wwn, "  ");
    show_wwn(l.node_wwn, "  ");
    if (l.fc4_type >= 0)
        if (const char* name = name_for(FC4_Types, l.fc4_type)) print("%s", name);
    print("\n");
}

void show_nameserver_empty() { print("Database is empty\n"); }

}  // namespace telvar

extern "C" void show_nameserverinfo(const tv_nameserver_list* list) {
    telvar::show_nameserver_heading();
    if (list == nullptr || list->count <= 0 || list->entries == nullptr) {
        telvar::show_nameserver_empty();
        return;
    }
    for (int32_t i = 0; i < list->count; ++i)
        telvar::show_nameserver_line(telvar::line_of(list->entries[i]));
}
