#!/usr/bin/env python3
"""Every exported operation that talks to a switch is in the list of every operation.

The hostile-switch test, the allocation-failure test and the operations fuzzer walk the list in
tests/support/every_operation.cpp; an operation missing from it escapes all three. This reads
the public headers for exported tv_ functions whose first parameter is a tv_context pointer, and
requires each to be called in that list, except the few below that send nothing or are only half
of an exchange.

usage: every_operation_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys

# Take a context but need no place in the list, each with why.
NOT_IN_THE_LIST = {
    'tv_msg_hdr': 'writes a header into the caller\'s buffer; sends nothing',
    'tv_set_dest_addr': 'changes the context\'s destination; sends nothing',
    'tv_get_dest_addr': 'reads the context\'s destination; sends nothing',
    'tv_restore_dest_addr': 'changes the context\'s destination; sends nothing',
    'tv_close': 'closes the socket; sends nothing',
    'tv_logintimedout': 'compares the time of the last exchange with the clock; sends nothing',
    'tv_send': 'half of the exchange: sends, and reads no answer',
    'tv_recv': 'half of the exchange: waits for a datagram without a limit',
}

COMMENT = re.compile(r'/\*.*?\*/|//[^\n]*', re.S)
STRING = re.compile(r'"(?:\\.|[^"\\])*"')
# An exported declaration up to the type of its first parameter.
TAKES_A_CONTEXT = re.compile(
    r'\bTV_EXPORT\b[^;{}()]*?\b(tv_\w+)\s*\(\s*(?:const\s+)?(?:struct\s+)?tv_context\s*\*')
CALL = re.compile(r'\b(tv_\w+)\s*\(')


def code_of(path):
    with open(path, encoding='utf-8') as f:
        return COMMENT.sub(' ', f.read())


def operations_taking_a_context(root):
    names = set()
    for header in sorted(glob.glob(os.path.join(root, 'include', 'telvar', '*.h'))):
        names.update(TAKES_A_CONTEXT.findall(code_of(header)))
    return names


def called_in_list(root):
    text = STRING.sub('""', code_of(os.path.join(root, 'tests', 'support', 'every_operation.cpp')))
    return set(CALL.findall(text))


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = argv[1]
    exported = operations_taking_a_context(root)
    called = called_in_list(root)
    problems = []
    # The headers declare several dozen such operations; finding few means the reading broke.
    if len(exported) < 60:
        problems.append(f'only {len(exported)} operations taking a context found in include/telvar/')
    for name in sorted(set(NOT_IN_THE_LIST) - exported):
        problems.append(f'{name} is left out of the list but is no exported operation taking a context')
    for name in sorted(exported - set(NOT_IN_THE_LIST) - called):
        problems.append(f'{name} talks to a switch but is missing from tests/support/every_operation.cpp')
    for p in problems:
        print(p)
    print(f'{len(exported)} exported operations take a context; '
          f'{len(exported & called)} are in the list, {len(exported - called)} left out')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
