#!/usr/bin/env python3
"""Writes CHANGELOG.md in Debian's changelog form, compressed, for the packages'
/usr/share/doc/PACKAGE/changelog.gz: each "## VERSION (YYYY-MM-DD)" heading becomes an entry,
its "- " items (with their continuation lines) the entry's items. The newest entry must be the
version being built, so that the changelog cannot lag behind CMakeLists.txt.

usage: debian_changelog.py CHANGELOG.md VERSION "NAME <EMAIL>" OUT.gz
"""
import datetime
import gzip
import re
import sys
import textwrap

HEADING = re.compile(r'^## (\S+) \((\d{4}-\d{2}-\d{2})\)$')


def main(source, version_built, maintainer, out):
    entries = []
    with open(source, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            m = HEADING.match(line)
            if m:
                entries.append((m.group(1), m.group(2), []))
            elif entries and line.startswith('- '):
                entries[-1][2].append(line[2:])
            elif entries and line.startswith('  ') and entries[-1][2]:
                entries[-1][2][-1] += ' ' + line.strip()
    if not entries:
        sys.exit(f'debian_changelog: no "## VERSION (DATE)" heading in {source}')
    if entries[0][0] != version_built:
        sys.exit(f'debian_changelog: {source} begins with {entries[0][0]}, the build is {version_built}')
    text = []
    for version, date, items in entries:
        day = datetime.datetime.strptime(date, '%Y-%m-%d').replace(tzinfo=datetime.timezone.utc)
        text.append(f'telvar ({version}) unstable; urgency=medium\n')
        text += [textwrap.fill(item, 78, initial_indent='  * ', subsequent_indent='    ') for item in items] + ['']
        text.append(f' -- {maintainer}  {day.strftime("%a, %d %b %Y %H:%M:%S +0000")}\n')
    with gzip.GzipFile(out, 'wb', 9, mtime=0) as f:
        f.write('\n'.join(text).encode('utf-8'))


if __name__ == '__main__':
    main(*sys.argv[1:5])
