#!/usr/bin/env python3
"""The layers of the tree, checked from the include lines and from the simulator's symbols.

Arrows point down only: programs -> command layer (telvar/) -> library (tv_api/, with the entry
points of sanwrapper/ above the command layer's context helpers) -> protocol core (proto/). The
public headers (include/telvar/) are the library's interface, open to every layer. The simulator
shares only the wire with the library, so its binary holds nothing of the library's exchange or
of the command layer. The HTTP server (http_server/) stands beside the library, below the
programs that serve. No folder of ours holds more than 25 source files.

usage: layers_test.py SOURCE_DIR SWITCHSIM_BINARY EXPORTED_NAME_LIST...
"""
import os
import re
import subprocess
import sys

SOURCE_EXT = ('.c', '.cpp', '.h')
MAX_SOURCES = 25
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# For each layer: the include prefixes it may not reach.
FORBIDDEN = {
    'proto/': ('tv_api/', 'telvar/', 'sanwrapper/', 'switchsim/', 'exporter/', 'http_server/'),
    'tv_api/': ('telvar/', 'sanwrapper/', 'switchsim/', 'exporter/', 'http_server/'),
    'sanwrapper/': ('switchsim/', 'exporter/', 'tv_api/tv_inter.h', 'telvar/cli/', 'telvar/data/', 'http_server/'),
    'telvar/': ('switchsim/', 'exporter/', 'sanwrapper/', 'tv_api/tv_inter.h', 'http_server/'),
    'switchsim/': ('tv_api/', 'telvar/', 'sanwrapper/', 'exporter/', 'http_server/'),
    'exporter/': ('switchsim/', 'tv_api/tv_inter.h'),
    # Our HTTP server knows nothing of switches: the programs that serve bring the two together.
    'http_server/': ('proto/', 'tv_api/', 'telvar/', 'sanwrapper/', 'switchsim/', 'exporter/'),
    # The history's store stands beside the library, which gains no database through it.
    'history/': ('tv_api/', 'telvar/', 'sanwrapper/', 'switchsim/', 'exporter/', 'http_server/'),
}


def sources(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith(('.', 'build'))]
        for name in files:
            if name.endswith(SOURCE_EXT):
                yield os.path.relpath(os.path.join(folder, name), root)


def include_problems(root):
    public = set(os.listdir(os.path.join(root, 'include', 'telvar')))
    problems = []
    for path in sources(root):
        if path.startswith(('include/', 'tests/', 'bench/', 'fuzz/')):
            continue
        with open(os.path.join(root, path), encoding='utf-8') as f:
            text = f.read()
        for target in INCLUDE.findall(text):
            if '/' not in target:
                problems.append(f'{path}: "{target}" does not name its folder')
                continue
            is_public = target.startswith('telvar/') and target.count('/') == 1 and \
                target.split('/')[1] in public
            if is_public:
                continue
            for layer, forbidden in FORBIDDEN.items():
                if path.startswith(layer) and target.startswith(forbidden):
                    problems.append(f'{path}: includes "{target}", above its layer')
            if not os.path.exists(os.path.join(root, target)):
                problems.append(f'{path}: "{target}" is no file of the tree')
    return problems


def crowded_folders(root):
    counts = {}
    for path in sources(root):
        if path.startswith('tests/'):
            continue
        folder = os.path.dirname(path)
        counts[folder] = counts.get(folder, 0) + 1
    return [f'{folder}/ holds {n} source files' for folder, n in sorted(counts.items())
            if n > MAX_SOURCES]


def defined_symbols(binary):
    args = ['nm', '--defined-only', '-C', binary]
    out = subprocess.run(args, capture_output=True, text=True, check=True).stdout
    return {line.split(' ', 2)[2] for line in out.splitlines() if line.count(' ') >= 2}


def interface_names(lists):
    names = set()
    for path in lists:
        with open(path, encoding='utf-8') as f:
            names.update(line.split()[0] for line in f if line.strip() and not line.startswith('#'))
    return names


def simulator_problems(switchsim, name_lists):
    sim = defined_symbols(switchsim)
    problems = []
    # The library's C interface, but for the tables and texts the protocol core defines.
    proto_names = {'tv_status_text', 'trap_types', 'trap_alert_types'}
    for name in sorted(interface_names(name_lists)):
        if name in sim and name not in proto_names:
            problems.append(f'the simulator defines {name}, a name of the library')
    for name in sorted(sim):
        if name.startswith(('telvar::', 'tv::exchange', 'tv::open_context', 'tv::send_datagram',
                            'tv::wait_and_recv', 'tv::listen_message')):
            problems.append(f'the simulator defines {name}')
    return problems


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root, switchsim, name_lists = sys.argv[1], sys.argv[2], sys.argv[3:]
    problems = (include_problems(root) + crowded_folders(root) +
                simulator_problems(switchsim, name_lists))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
