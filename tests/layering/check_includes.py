#!/usr/bin/env python3
"""Fails on a project include that the include.rules of its folder do not allow.

Each top folder holds an include.rules file. A line names a path prefix below the project root
that the folder's files may include ("common/", "site/store/SiteResource.h"). A line
"[glob glob ...]" starts rules of their own for the files whose path below the folder matches
one of the globs; the last section that matches a file holds for it. "#" starts a comment.
A quoted include of a file beside the including one ("LocalNginx.h") is always allowed, and
generated files (moc output) are not looked at.
"""

import fnmatch
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = ('.h', '.cpp')


class Rules:
    def __init__(self, path):
        self.folder = path.parent
        self.name = path
        self.sections = [([], [])]  # (globs, allowed prefixes); the first holds for every file
        for line in path.read_text(encoding='utf-8').splitlines():
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            if line.startswith('[') and line.endswith(']'):
                self.sections.append((line[1:-1].split(), []))
            else:
                self.sections[-1][1].append(line)

    def allowed(self, relative):
        chosen = self.sections[0][1]
        for globs, prefixes in self.sections[1:]:
            if any(fnmatch.fnmatchcase(relative, glob) for glob in globs):
                chosen = prefixes
        return chosen


def problems(root):
    found = []
    for rules_path in sorted(root.glob('*/include.rules')):
        rules = Rules(rules_path)
        for source in sorted(rules.folder.rglob('*')):
            if source.suffix not in SOURCES or not source.is_file():
                continue
            allowed = rules.allowed(source.relative_to(rules.folder).as_posix())
            text = source.read_text(encoding='utf-8')
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                if (source.parent / included).is_file() or not (root / included).is_file():
                    continue
                if not any(included.startswith(prefix) for prefix in allowed):
                    found.append(f'{source.relative_to(root)}:{number}: includes "{included}", '
                                 f'which {rules_path.relative_to(root)} does not allow')
    return found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else '.').resolve()
    unruled = sorted(folder.name for folder in root.iterdir()
                     if (folder / "CMakeLists.txt").is_file()
                     and not (folder / 'include.rules').is_file()
                     and any(f.suffix in SOURCES for f in folder.rglob('*')))
    found = problems(root) + [f'{name}/: holds sources but no include.rules' for name in unruled]
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
