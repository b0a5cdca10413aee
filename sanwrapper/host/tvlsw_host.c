/* tvlsw-host: a diagnostic host program. Calls one tvlsw_ entry point by name with the
 * arguments of its command line, prints the integer it returned and the record it filled.
 *
 *     tvlsw-host [-f FCADDR] [-port N] [-main] ENTRY ARGS...
 *     tvlsw-host --list
 *     tvlsw-host --version
 *
 * A "-" stands for a null text. Exit status 0 when the entry point returned 0, 2 when it
 * returned anything else, 1 for a command line it cannot run. It is also the example of a host
 * linking libtelvar from C: the build links it once with the shared library (tvlsw-host) and
 * once with the static one (tvlsw-host-static). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <telvar/sanwrapper.h>

/* Our build gives the program its build; a copy built elsewhere says so. */
#ifndef TELVAR_BUILD_ID
#define TELVAR_BUILD_ID "unknown (built outside the telvar tree)"
#endif

typedef struct call_args {
    uint32_t fc;
    uint32_t udp;
    char **argv; /* the entry point's own arguments */
    int argc;
} call_args;

static const char *text(const char *arg) { return strcmp(arg, "-") == 0 ? NULL : arg; }
static int32_t number(const char *arg) { return (int32_t)strtol(arg, NULL, 0); }
static int32_t wire_port(const char *arg) {
    return strcmp(arg, "all") == 0 ? TV_ALL_PORTS : (int32_t)atoi(arg) - 1;
}

static void show_links(const tv_switch_links *l) {
    printf("Links of %06x: %u\n", l->fc_addr, l->count);
    for (unsigned i = 0; i < l->count && l->links != NULL; i++) {
        const tv_switch_link *k = &l->links[i];
        printf("  port %u -> chassis %u port %u (%06x) ", k->port + 1, k->remote_chassis,
               k->remote_port + 1, k->remote_fc_addr);
        show_wwn(k->remote_wwn, "\n");
    }
}

static void show_zone(const tv_port_zone *z) {
    printf("Zone type %u id %u %s:", z->type, z->id, z->enabled ? "enabled" : "disabled");
    for (uint32_t i = 0; i < z->count && z->ports != NULL; i++) printf(" %u", z->ports[i] + 1);
    if (z->ports == NULL && z->count > 0) printf(" %u ports", z->count); /* after a write */
    printf("\n");
}

static int32_t goodbadip(const call_args *a) { return tvlsw_goodbadip(a->argv[0]); }

static int32_t get_version(const call_args *a) {
    tv_version_info v = {0};
    int32_t r = tvlsw_get_version(a->fc, a->udp, a->argv[0], &v);
    if (r == 0) show_version(&v);
    return r;
}

static int32_t discover(const call_args *a) {
    static char slots[256 * TVLSW_DISCOVER_SLOT]; /* room for a /24 */
    int32_t r;
    memset(slots, 0, sizeof slots);
    r = tvlsw_discover(a->fc, a->udp, text(a->argv[0]), a->argv[1], a->argv[2], slots);
    for (int i = 0; i < 256 && slots[i * TVLSW_DISCOVER_SLOT] != '\0'; i++)
        printf("Switch: %s\n", &slots[i * TVLSW_DISCOVER_SLOT]);
    return r;
}

static int32_t chassis_status(const call_args *a) {
    tv_chassis_status s = {0};
    int32_t r = tvlsw_chassis_status(a->fc, a->udp, a->argv[0], &s);
    if (r == 0) {
        show_chassis_status(&s);
        show_sysconfig(&tmp_sysconfig);
    }
    return r;
}

static int32_t links(const call_args *a) {
    tv_switch_links l = {0};
    int32_t r = tvlsw_links(a->fc, a->udp, a->argv[0], &l);
    if (r == 0) show_links(&l);
    tv_free_switch_links(&l);
    if (r == 0 && Main == 1) {
        printf("Kept open: local UDP port %u\n", (unsigned)ntohs(tmp_context->local_addr.sin_port));
        close_ip_context(tmp_context);
        tmp_context = NULL;
    }
    return r;
}

static int32_t nameserver(const call_args *a) {
    tv_nameserver_list ns = {0};
    int32_t r = tvlsw_nameserver(a->fc, a->udp, a->argv[0], &ns);
    if (r == 0) show_nameserverinfo(&ns);
    tv_free_nameserverdata(&ns);
    return r;
}

static int32_t switch_initiators(const call_args *a) {
    tv_initiators in = {0};
    int32_t r = tvlsw_switch_initiators(a->fc, a->udp, a->argv[0], &in);
    if (r == 0) show_initiators(&tmp_version, &in);
    return r;
}

static int32_t reset_log(const call_args *a) { return tvlsw_reset_log(a->fc, a->udp, a->argv[0]); }

static int32_t port_counts(const call_args *a) {
    tv_port_counters c = {{0}};
    int32_t r = tvlsw_port_counts(a->fc, a->udp, a->argv[0], a->argv[1], &c);
    if (r == 0) show_port_counters(wire_port(a->argv[1]), &c);
    return r;
}

static int32_t port_status(const call_args *a) {
    tv_port_status s;
    int32_t count = 0;
    int32_t r;
    memset(&s, 0, sizeof s);
    r = tvlsw_port_status(a->fc, a->udp, number(a->argv[0]), a->argv[1], a->argv[2], &s, &count);
    if (r == 0) {
        printf("Ports: %d\n", count);
        show_port_status(&s);
        if (number(a->argv[0]) != 0) show_available_alpas();
    }
    tv_free_port_status(&s);
    return r;
}

static int32_t port_state(const call_args *a) {
    tvlsw_port_states copy = {0};
    int32_t r = tvlsw_port_state(a->fc, a->udp, text(a->argv[0]), a->argv[1], a->argv[2], &copy);
    if (r == 0) {
        tv_port_state list = {copy.count, copy.entries};
        show_port_state(&list, wire_port(a->argv[2]));
    }
    return r;
}

static int32_t stop_test(const call_args *a) {
    return tvlsw_stop_test(a->fc, a->udp, a->argv[0], a->argv[1]);
}

static int32_t start_test(const call_args *a) {
    return tvlsw_start_test(a->fc, a->udp, text(a->argv[0]), text(a->argv[1]),
                            (uint32_t)number(a->argv[2]), number(a->argv[3]), NULL, a->argv[4],
                            a->argv[5]);
}

static int32_t test_status(const call_args *a) {
    tv_test_status_info s;
    int32_t r;
    memset(&s, 0, sizeof s);
    r = tvlsw_test_status(a->fc, a->udp, a->argv[0], a->argv[1], &s);
    if (r == 0) show_test_status(&s, wire_port(a->argv[1]));
    return r;
}

static int32_t get_zone(const call_args *a) {
    tv_port_zone z = {0};
    tv_port_zone_set set = {0};
    int32_t r = tvlsw_get_zone(a->fc, a->udp, number(a->argv[0]), a->argv[1], a->argv[2],
                               a->argv[3], &z, &set);
    if (r == 0 && strcmp(a->argv[3], "all") == 0)
        for (uint32_t i = 0; i < set.count; i++) show_zone(set.zones[i]);
    else if (r == 0)
        show_zone(&z);
    tv_free_port_zone(&z, 0);
    tv_free_port_zone_set(&set, 0);
    return r;
}

static int32_t set_zone(const call_args *a) {
    int n = a->argc - 5;
    char *members = calloc((size_t)(n > 0 ? n : 1), 3);
    tv_port_zone z = {0};
    int32_t r;
    if (members == NULL) return TV_ERR_NOMEM;
    for (int i = 0; i < n; i++) snprintf(members + 3 * i, 3, "%s", a->argv[5 + i]);
    r = tvlsw_set_zone(a->fc, a->udp, number(a->argv[0]), number(a->argv[1]), a->argv[2],
                       a->argv[3], a->argv[4], members, n, &z);
    free(members);
    if (r == 0) show_zone(&z);
    return r;
}

static int32_t port_type(const call_args *a) {
    tv_port_types t = {0};
    int32_t r = tvlsw_port_type(a->fc, a->udp, text(a->argv[0]), a->argv[1], a->argv[2], &t);
    for (uint32_t i = 0; r == 0 && i < t.count; i++)
        printf("Port: %-2u\tType: %s\n", i + 1, t.types[i] < 6 ? Port_Types[t.types[i]] : "?");
    tv_free_port_types(&t);
    return r;
}

static const struct entry {
    const char *name;
    int args;     /* how many arguments it takes */
    int variadic; /* nonzero: at least that many */
    const char *usage;
    int32_t (*run)(const call_args *);
} entries[] = {
    {"goodbadip", 1, 0, "IP", goodbadip},
    {"get_version", 1, 0, "IP", get_version},
    {"discover", 3, 0, "MASK|- BASE-IP RANGE", discover},
    {"chassis_status", 1, 0, "IP", chassis_status},
    {"links", 1, 0, "IP", links},
    {"nameserver", 1, 0, "IP", nameserver},
    {"switch_initiators", 1, 0, "IP", switch_initiators},
    {"reset_log", 1, 0, "IP", reset_log},
    {"port_counts", 2, 0, "IP PORT", port_counts},
    {"port_status", 3, 0, "ALPA(0|1) IP PORT", port_status},
    {"port_state", 3, 0, "on|off|- IP PORT", port_state},
    {"stop_test", 2, 0, "IP PORT", stop_test},
    {"start_test", 6, 0, "XFER|- PASSES|- PATTERN RESET(0|1) IP PORT", start_test},
    {"test_status", 2, 0, "IP PORT", test_status},
    {"get_zone", 4, 0, "SAVED(0|1) IP TYPE ID|all", get_zone},
    {"set_zone", 5, 1, "SAVE(0|1) ENABLE(0|1) IP TYPE ID [PORT...]", set_zone},
    {"port_type", 3, 0, "f|fl|t|sl|tl|- IP PORT", port_type},
};
enum { entry_count = sizeof entries / sizeof entries[0] };

static int usage_error(void) {
    fprintf(stderr, "usage: tvlsw-host [-f FCADDR] [-port N] [-main] ENTRY ARGS...\n"
                    "       tvlsw-host --list\n"
                    "       tvlsw-host --version\n");
    for (int i = 0; i < entry_count; i++)
        fprintf(stderr, "  %-18s %s\n", entries[i].name, entries[i].usage);
    return 1;
}

/* What a result means: the entry points' own values, else the status code's message. */
static const char *meaning(int32_t r) {
    switch (r) {
        case 0: return "OK\n";
        case TVLSW_BAD_TEXT: return "bad port, state or type text\n";
        case TVLSW_ERR_OPEN: return "the context could not be opened\n";
        case TVLSW_ERR_IP: return "the IP address was refused\n";
        case TVLSW_ERR_PORT_COUNT: return "the port count could not be read\n";
        case TVLSW_ERR_PORT: return "port number out of range\n";
        default: return tv_status_text(r) != NULL ? tv_status_text(r) : "unrecognized\n";
    }
}

int main(int argc, char **argv) {
    call_args a = {0, 0, NULL, 0};
    int i = 1;
    fp = stdout; /* the library's displays print the records */
    tv_set_strict_answers(1);
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (strcmp(argv[i], "--list") == 0) {
            for (int e = 0; e < entry_count; e++) printf("%s\n", entries[e].name);
            return 0;
        } else if (strcmp(argv[i], "--version") == 0) {
            printf("libtelvar version %s\ntvlsw-host build %s\n", tv_api_version(), TELVAR_BUILD_ID);
            return 0;
        } else if (strcmp(argv[i], "-main") == 0) {
            Main = 1;
        } else if (strcmp(argv[i], "-f") == 0 && i + 1 < argc) {
            a.fc = (uint32_t)strtoul(argv[++i], NULL, 16);
        } else if (strcmp(argv[i], "-port") == 0 && i + 1 < argc) {
            a.udp = (uint32_t)strtoul(argv[++i], NULL, 10);
        } else {
            return usage_error();
        }
    }
    if (i >= argc) return usage_error();
    const char *name = argv[i];
    if (strncmp(name, "tvlsw_", 6) == 0) name += 6;
    for (int e = 0; e < entry_count; e++) {
        if (strcmp(name, entries[e].name) != 0) continue;
        a.argv = argv + i + 1;
        a.argc = argc - i - 1;
        if (a.argc < entries[e].args || (a.argc > entries[e].args && !entries[e].variadic))
            return usage_error();
        int32_t r = entries[e].run(&a);
        printf("tvlsw_%s returned %d: %s", entries[e].name, r, meaning(r));
        return r == 0 ? 0 : 2;
    }
    return usage_error();
}
