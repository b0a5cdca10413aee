#!/usr/bin/env python3
"""Writes the library's section-3 manual pages from the public headers and docs/api/*.page.

Each page description names the header sections it documents ("claims: tv_api.h Switch
discovery"; "*" for what a header declares outside any section), its records and its status
codes; its prose and its example are written by hand. The synopsis, the records and the status
codes are copied from the headers, so they cannot drift from them. A section or a record of a
header that belongs to no page, or a page naming something the headers do not hold, is
reported: as a warning while building (so that a new family does not stop the build), as a
failure with --check, which the tests run. For every name a page declares, NAME.3.gz is a link to the page, but for the names
a page lists as "unlinked" (the C library's manual already has a page of that name). The
examples are also written out as C files, which the tests compile.

usage: api_pages.py [--check] INCLUDE_DIR PAGES_DIR VERSION OUT_DIR
"""
import gzip
import os
import re
import sys

SECTION = re.compile(r'^/\* ---- (.+?) ---- \*/$')
RECORD = re.compile(r'(/\*(?:[^*]|\*(?!/))*\*/\n)?(typedef struct (\w+) \{.*?\n\} \3;)', re.S)
STATUS = re.compile(r'^\s*(TV_\w+) = (\d+),?\s*(?:/\* (.*?) \*/)?$', re.M)
NAME_OF = re.compile(r'(\w+)\s*(?:\(|\[|;)')


class Failure(Exception):
    pass


def declarations(header_text):
    """(section, text, names) of every exported declaration, with the comment just above it."""
    found = []
    section = '*'
    comment = []
    lines = header_text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        m = SECTION.match(line.strip())
        if m:
            section, comment = m.group(1), []
        elif line.startswith('/*'):
            comment = [line]
            while not lines[i].rstrip().endswith('*/'):
                i += 1
                comment.append(lines[i])
        elif ('TV_EXPORT' in line and not line.startswith('#')) or line.startswith('typedef void (*'):
            stmt = [line]
            while not re.sub(r'/\*.*?\*/', '', stmt[-1]).rstrip().endswith(';'):
                i += 1
                stmt.append(lines[i])
            code = re.sub(r'/\*.*?\*/', '', '\n'.join(stmt))
            # A function or global gets a name of its own; a callback type only its place.
            m = None if line.startswith('typedef') else NAME_OF.search(code)
            found.append((section, '\n'.join(comment + stmt), [m.group(1)] if m else []))
            comment = []
        elif line.strip() == '':
            comment = []
        i += 1
    return found


def roff(text):
    """Literal text for a .nf block: backslashes escaped, no line read as a request."""
    out = []
    for line in text.replace('\\', '\\e').splitlines():
        out.append('\\&' + line if line.startswith(('.', "'")) else line)
    return '\n'.join(out)


def read_page(path):
    page = {'claims': [], 'records': [], 'statuses': [], 'see': [], 'unlinked': [], 'description': '',
            'example': ''}
    field = None
    with open(path, encoding='utf-8') as f:
        for line in f:
            key, _, rest = line.partition(':')
            if field is None or (key in ('name', 'summary', 'claims', 'records', 'statuses', 'see',
                                         'unlinked', 'description', 'example') and not line[0].isspace()):
                field = key
                if key == 'claims':
                    page['claims'].append(tuple(rest.strip().split(' ', 1)))
                elif key in ('records', 'statuses', 'see', 'unlinked'):
                    page[key] += rest.split()
                elif key in ('name', 'summary'):
                    page[key] = rest.strip()
                elif key not in ('description', 'example'):
                    raise Failure(f'{path}: unknown field "{key}"')
            else:
                page[field] += line
    return page


def main(include_dir, pages_dir, version, out_dir, check):
    headers = sorted(h for h in os.listdir(include_dir) if h.endswith('.h'))
    decls, records, statuses = {}, {}, {}
    for h in headers:
        with open(os.path.join(include_dir, h), encoding='utf-8') as f:
            text = f.read()
        for section, body, names in declarations(text):
            decls.setdefault((h, section), []).append((body, names))
        for m in RECORD.finditer(text):
            records[m.group(3)] = (h, (m.group(1) or '') + m.group(2))
        for m in STATUS.finditer(text):
            statuses[m.group(1)] = (m.group(2), m.group(3) or '')
    pages = [read_page(os.path.join(pages_dir, p)) for p in sorted(os.listdir(pages_dir)) if p.endswith('.page')]

    problems = []
    claimed = {c for p in pages for c in p['claims']}
    problems += [f'{h}: section "{s}" is on no page' for (h, s) in decls if (h, s) not in claimed]
    problems += [f'{p["name"]}: {h} has no section "{s}"' for p in pages for (h, s) in p['claims'] if (h, s) not in decls]
    on_pages = [r for p in pages for r in p['records']]
    problems += [f'record {r} is on no page' for r in records if r not in on_pages]
    problems += [f'record {r} is in no header' for r in on_pages if r not in records]
    problems += [f'status {s} is in no header' for p in pages for s in p['statuses'] if s not in statuses]
    names = {p['name'] for p in pages}
    problems += [f'{p["name"]}: no page {s}' for p in pages for s in p['see'] if s not in names]
    if problems and check:
        raise Failure('\n'.join(problems))
    for problem in problems:
        print(f'api_pages: warning: {problem}', file=sys.stderr)

    man3 = os.path.join(out_dir, 'man3')
    examples = os.path.join(out_dir, 'examples')
    os.makedirs(man3, exist_ok=True)
    os.makedirs(examples, exist_ok=True)
    for old in os.listdir(man3):
        os.remove(os.path.join(man3, old))
    for p in pages:
        p['claims'] = [c for c in p['claims'] if c in decls]
        p['records'] = [r for r in p['records'] if r in records]
        p['statuses'] = [st for st in p['statuses'] if st in statuses]
        blocks = [decls[c] for c in p['claims']]
        functions = [n for block in blocks for _, ns in block for n in ns]
        includes = sorted({h for h, _ in p['claims']} | {records[r][0] for r in p['records']})
        out = [f'.TH {p["name"].upper()} 3 "" "telvar {version}" "libtelvar"',
               '.SH NAME', ', '.join([p['name']] + functions) + ' \\- ' + p['summary'],
               '.SH SYNOPSIS', '.nf']
        out += [f'.B #include <telvar/{h}>' for h in includes]
        for (h, s), block in zip(p['claims'], blocks):
            # The export macro only matters to the build of the library itself.
            out += ['', f'/* {s if s != "*" else h} */'] + [roff(body.replace('TV_EXPORT ', '')) for body, _ in block]
        out += ['.fi', '.PP', 'Compile and link with', '.BR "$(pkg-config \\-\\-cflags \\-\\-libs telvar)" .',
                '.SH DESCRIPTION', p['description'].strip()]
        if p['records']:
            out += ['.SH RECORDS', '.nf'] + ['\n' + roff(records[r][1]) for r in p['records']] + ['.fi']
        if p['statuses']:
            out += ['.SH STATUS CODES', '.TP 28']
            for s in p['statuses']:
                code, what = statuses[s]
                out += [f'.B {s} ({code})', what or '.', '.TP 28'] if what else [f'.B {s} ({code})', '.TP 28']
            out.pop()
        if p['example'].strip():
            out += ['.SH EXAMPLE', '.nf', roff(p['example'].strip('\n')), '.fi']
            with open(os.path.join(examples, p['name'] + '.c'), 'w', encoding='utf-8') as f:
                f.write(p['example'])
        see = [f'.BR {s} (3)' for s in p['see']] + ['.BR telvar (1)']
        out += ['.SH SEE ALSO', ',\n'.join(see)]
        page_file = p['name'] + '.3.gz'
        with gzip.GzipFile(os.path.join(man3, page_file), 'wb', 9, mtime=0) as f:
            f.write(('\n'.join(out) + '\n').encode('utf-8'))
        for n in functions + p['records']:
            if n == p['name'] or n in p['unlinked']:
                continue  # the page itself, or a name whose page belongs to the system
            link = os.path.join(man3, n + '.3.gz')
            if os.path.lexists(link):
                raise Failure(f'{n} is on two pages')
            os.symlink(page_file, link)


if __name__ == '__main__':
    try:
        args = sys.argv[1:]
        check = args[:1] == ['--check']
        main(*args[check:check + 4], check)
    except (Failure, OSError, KeyError, IndexError) as e:
        print(f'api_pages: {e}', file=sys.stderr)
        sys.exit(1)
