// Loopback addresses of the tests. Every test executable has addresses of its own so that
// `ctest -j` can run them side by side; 127.0.0.1-127.0.0.9 belong to the demo's default fabric.
#pragma once

namespace tvtest::addr {
inline constexpr const char* exchange_switch = "127.0.1.1";
inline constexpr const char* listen_switch = "127.0.1.2";
inline constexpr const char* context_switch = "127.0.2.1";
// Library families against a scripted switch.
inline constexpr const char* identity_switch = "127.0.3.1";
inline constexpr const char* ports_switch = "127.0.3.2";
inline constexpr const char* login_switch = "127.0.3.3";
inline constexpr const char* discovery_base = "127.0.4.1";  // 127.0.4.1 - 127.0.4.30
// A range wide enough for the parallel discovery to send on two processors.
inline constexpr const char* wide_discovery_base = "127.0.10.0";  // 127.0.10.0 - 127.0.20.255
// Command layer.
inline constexpr const char* framework_switch = "127.0.5.1";
// Fabrics of the simulator run in-process; switch k of a fabric is at base + k - 1.
inline constexpr const char* simulator_base = "127.0.6.2";
inline constexpr const char* integration_base = "127.0.7.2";
inline constexpr const char* telvar_base = "127.0.8.2";
inline constexpr const char* bench_echo = "127.0.9.1";
// Reliability: the fault schedule and the hostile switch.
inline constexpr const char* fault_schedule_base = "127.0.70.2";
inline constexpr const char* fault_schedule_duplicate_base = "127.0.74.2";
inline constexpr const char* fault_schedule_mixed_base = "127.0.75.2";
inline constexpr const char* fault_schedule_tool_base = "127.0.76.2";
inline constexpr const char* hostile_switch = "127.0.70.20";
inline constexpr const char* hostile_base = "127.0.71.2";
inline constexpr const char* hostile_tool_base = "127.0.72.2";
inline constexpr const char* allocation_base = "127.0.73.2";
// Management variables, raw messages and accounts.
inline constexpr const char* sml_switch = "127.0.60.1";
inline constexpr const char* maintenance_base = "127.0.61.2";
// Traps: a scripted switch and a socket standing for listeners; fabrics of the library's and
// of the tool's trap tests.
inline constexpr const char* traps_switch = "127.0.50.1";
inline constexpr const char* traps_listener = "127.0.50.2";
inline constexpr const char* traps_base = "127.0.51.2";
inline constexpr const char* trap_tool_base = "127.0.52.2";
// Strict listening (127.0.53.0 - 127.0.53.255): a scripted switch, and a sender at another
// address that forges traps and raw answers.
inline constexpr const char* strict_listen_switch = "127.0.53.1";
inline constexpr const char* strict_listen_forger = "127.0.53.2";
// The watcher's events (127.0.43.0 - 127.0.43.255): its trap receiver, a fabric (127.0.43.2-4),
// a forger of traps, an address only named in a URL of a scheme refused, an Alertmanager over
// HTTPS with the test's address for its requests to it, and an address where a server takes
// connections and never answers.
// The benchmark of the events takes 127.0.43.230 - 127.0.43.234 (bench/bench_main.h).
inline constexpr const char* watcher_events_receiver = "127.0.43.1";
inline constexpr const char* watcher_events_base = "127.0.43.2";
inline constexpr const char* watcher_events_forger = "127.0.43.9";
inline constexpr const char* watcher_alertmanager = "127.0.43.10";
inline constexpr const char* watcher_alertmanager_tls = "127.0.43.11";
inline constexpr const char* watcher_alertmanager_client = "127.0.43.12";
inline constexpr const char* watcher_silent_http = "127.0.43.13";
// Zoning: the library against a scripted switch, the tool against a fabric (127.0.41.2-4).
inline constexpr const char* zoning_switch = "127.0.40.1";
inline constexpr const char* zoning_cli_base = "127.0.41.2";
// Chassis, network and transfer configuration (127.0.30.0 - 127.0.39.255).
inline constexpr const char* config_switch = "127.0.30.1";
inline constexpr const char* config_base = "127.0.31.2";
// The fabric view: scripted switches, then fabrics of the simulator.
inline constexpr const char* topology_switch = "127.0.21.1";
inline constexpr const char* name_server_switch = "127.0.21.2";
inline constexpr const char* fabric_base = "127.0.22.2";
inline constexpr const char* ring_base = "127.0.23.2";
inline constexpr const char* two_path_base = "127.0.24.2";
// The fabric as data: the tool's data commands, then the Ansible modules (127.0.110.0 -
// 127.0.119.255).
inline constexpr const char* data_base = "127.0.110.2";
// The Ansible playbook's fabrics (tests/ansible_playbook_test.sh writes them out): an open one,
// and one that requires a login.
inline constexpr const char* ansible_base = "127.0.111.2";
inline constexpr const char* ansible_login_base = "127.0.112.2";
// The fabric as data: the ports' status and counters in its documents (127.0.150.0 -
// 127.0.159.255; the benchmarks take a /24 of it with TELVAR_BENCH_NET).
inline constexpr const char* data_ports_base = "127.0.150.2";
// The tool's command lines, its questions on a terminal (127.0.90.0 - 127.0.99.255).
inline constexpr const char* command_line_base = "127.0.90.2";
// Port diagnostics and port status (127.0.100.0 - 127.0.109.255): the library against a
// scripted switch, the tool against fabrics (127.0.101.2-4, and 127.0.102.2 of its own).
inline constexpr const char* diag_switch = "127.0.100.1";
inline constexpr const char* diag_cli_base = "127.0.101.2";
inline constexpr const char* diag_own_base = "127.0.102.2";
// The dissector: a fabric whose run is captured (127.0.80.0 - 127.0.89.255).
inline constexpr const char* dissector_base = "127.0.80.2";
// The exporter (127.0.130.0 - 127.0.139.255): its /metrics over a fabric (127.0.130.2-4) beside
// a switch that never answers; then a fabric (127.0.131.2-4) scraped by a Prometheus server.
inline constexpr const char* exporter_listen = "127.0.130.1";
inline constexpr const char* exporter_base = "127.0.130.2";
inline constexpr const char* exporter_silent = "127.0.130.9";
inline constexpr const char* prometheus_exporter = "127.0.131.1";
inline constexpr const char* prometheus_base = "127.0.131.2";
inline constexpr const char* prometheus_server = "127.0.131.10";
// The diagnostic entry points: a fabric at 127.0.120.1-3 (127.0.120.0 - 127.0.129.255).
inline constexpr const char* sanwrapper_base = "127.0.120.1";
// Pictures of the fabric (127.0.140.0 - 127.0.149.255): the default fabric, a generated ring,
// and the simulator the README's pictures are drawn from.
inline constexpr const char* pictures_base = "127.0.140.2";
inline constexpr const char* pictures_ring_base = "127.0.141.2";
inline constexpr const char* pictures_readme_base = "127.0.142.2";
// The generated ring the README's map of 12 switches is drawn from (127.0.250.0 - 127.0.254.255).
inline constexpr const char* pictures_readme_ring = "127.0.250.2";
// Exit statuses of every command (127.0.160.0 - 127.0.160.255): an address where nothing
// answers, and a fabric (127.0.160.2-4) that refuses every request.
inline constexpr const char* exit_status_silent = "127.0.160.1";
inline constexpr const char* exit_status_base = "127.0.160.2";
// The demo's fabric, moved off the default addresses (tests/demo_test.sh: TELVAR_DEMO_NET).
inline constexpr const char* demo_base = "127.0.170.2";
// The credentials file: a fabric that requires a login (127.0.171.2-4; 127.0.171.200 is named
// in files but never used).
inline constexpr const char* credentials_base = "127.0.171.2";
// The tool's defaults: discovery over a fabric spread through 127.0.172.0/24, the local port.
inline constexpr const char* tool_defaults_base = "127.0.172.2";
// Walks of whole fabrics by the tool (127.0.176.0 - 127.0.177.255): the default fabric
// requiring a login (127.0.176.2-4), and a generated fabric of 20 switches (127.0.177.2).
inline constexpr const char* fabric_login_base = "127.0.176.2";
inline constexpr const char* large_fabric_base = "127.0.177.2";
// Serving HTTP (127.0.200.0 - 127.0.209.255): our HTTP server alone, with clients at addresses
// of their own (per-address limits); the exporter under slow, concurrent and TLS clients, over
// a fabric of its own (127.0.201.2-4).
inline constexpr const char* http_server_listen = "127.0.200.1";
inline constexpr const char* http_client = "127.0.200.11";
inline constexpr const char* http_other_client = "127.0.200.12";
inline constexpr const char* exporter_http_listen = "127.0.201.1";
inline constexpr const char* exporter_http_base = "127.0.201.2";
inline constexpr const char* exporter_http_client = "127.0.201.11";
// Changes under loss (127.0.220.0 - 127.0.229.255): zone_apply against a fabric that loses
// answers (127.0.220.2-4), the outcome of a change that failed (127.0.221.2-4), and defaults
// under loss (127.0.222.2-4).
inline constexpr const char* changes_loss_base = "127.0.220.2";
inline constexpr const char* changes_outcome_base = "127.0.221.2";
inline constexpr const char* defaults_loss_base = "127.0.222.2";
// Hostile input files and their limits (127.0.210.0 - 127.0.219.255): a fabric at 127.0.210.2-4,
// the simulator as a child refusing fabric files at 127.0.211.2, the exporter refusing password
// files before it listens at 127.0.212.1.
inline constexpr const char* hostile_files_base = "127.0.210.2";
inline constexpr const char* hostile_fabric_base = "127.0.211.2";
inline constexpr const char* hostile_exporter_listen = "127.0.212.1:0";
// Reads side by side (127.0.190.0 - 127.0.199.255): generated fabrics read both ways, with and
// without faults (127.0.190.2, 127.0.191.2), name-server ranges (127.0.192.2, 127.0.193.2),
// the latency model (127.0.194.2, 127.0.196.2), an exporter's scrape (127.0.195.2), a loop
// over twelve addresses (127.0.197.1-12), the tool's commands (127.0.198.2; 127.0.198.250 is
// only named in a file).
inline constexpr const char* parallel_base = "127.0.190.2";
inline constexpr const char* parallel_faults_base = "127.0.191.2";
inline constexpr const char* parallel_ns_base = "127.0.192.2";
inline constexpr const char* parallel_fail_base = "127.0.193.2";
inline constexpr const char* parallel_latency_base = "127.0.194.2";
inline constexpr const char* latency_model_base = "127.0.196.2";
inline constexpr const char* parallel_scrape_base = "127.0.195.2";
inline constexpr const char* parallel_tool_base = "127.0.198.2";
inline constexpr const char* many_addresses_base = "127.0.197.1";
// The switches of the fuzz harnesses (127.0.230.0 - 127.0.234.255), to which nothing is ever
// sent: their answers come from the input. 127.0.230.3 is the switch of the command-line corpus.
inline constexpr const char* fuzz_operations_switch = "127.0.230.1";
inline constexpr const char* fuzz_locate_switch = "127.0.230.2";
// telvar_cli_test: a range of 300 loopback addresses where nothing listens, for the tool's
// choice of probes in flight (127.0.185.0 - 127.0.186.43).
inline constexpr const char* discover_window_base = "127.0.185.0";
// The fabric history (127.0.45.0 - 127.0.47.255): changes between readings, the watcher end
// to end against the simulator, and with PostgreSQL.
inline constexpr const char* history_changes_base = "127.0.45.2";
inline constexpr const char* watcher_base = "127.0.46.2";
inline constexpr const char* watcher_end_alertmanager = "127.0.46.20";
inline constexpr const char* watcher_postgres_base = "127.0.47.2";
// The history read back by the tool (127.0.44.0 - 127.0.44.255): the default fabric at
// 127.0.44.2-4, its snapshots recorded through the store as the watcher records them.
inline constexpr const char* history_tool_base = "127.0.44.2";
// The watcher's web console (127.0.54.0 - 127.0.54.255): its server, the default fabric at
// 127.0.54.2-4 (switch descriptions made hostile), the clients of its API (each test its own
// address, since failed logins are counted per client address), and its benchmark's fabric.
inline constexpr const char* console_listen = "127.0.54.1";
inline constexpr const char* console_base = "127.0.54.2";
inline constexpr const char* console_client = "127.0.54.10";
inline constexpr const char* console_login_client = "127.0.54.11";
inline constexpr const char* console_bench_listen = "127.0.54.100";
inline constexpr const char* console_bench_base = "127.0.54.101";
inline constexpr const char* console_bench_client = "127.0.54.200";
// The web console in a browser (127.0.55.0 - 127.0.55.255), used by the Python test
// tests/console_browser_test.py, which names them itself: telvard's console at 127.0.55.1, the
// default fabric at 127.0.55.2-4.
inline constexpr const char* console_browser_listen = "127.0.55.1";
inline constexpr const char* console_browser_base = "127.0.55.2";
}  // namespace tvtest::addr
