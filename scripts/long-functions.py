#!/usr/bin/env python3
"""Lists the C++ functions longer than a limit (default 80 lines, from the line of the name
to the closing brace), longest first:  scripts/long-functions.py [--limit N] [folder ...]"""

import argparse
import pathlib
import re

BLOCK_KEYWORDS = re.compile(r'^\s*(namespace|class|struct|union|enum|extern)\b|^\s*(template\s*<.*>\s*)?(class|struct)\b')
NOT_FUNCTIONS = re.compile(r'\b(if|for|while|switch|catch|do|else|return)\s*$')


def strip(text):
    """Comments, string and character literals become blanks; newlines stay."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            out.append(' ' * (j - i)); i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j])); i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j])); i = j
        elif c in '"\'' and not (c == "'" and i > 0 and text[i - 1].isdigit() and text[i + 1:i + 2].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(c + ' ' * (min(j, n) - i - 1) + c); i = j + 1
        else:
            out.append(c); i += 1
    return ''.join(out)


def functions(path):
    text = strip(path.read_text(encoding='utf-8', errors='replace'))
    line_of = lambda pos: text.count('\n', 0, pos) + 1
    stack, head_start, i = [], 0, 0   # stack of (kind, start) for open braces
    while i < len(text):
        c = text[i]
        if c == '{':
            inside_function = any(kind == 'function' for kind, _, _ in stack)
            head = text[head_start:i]
            kind = 'block'
            if not inside_function:
                flat = ' '.join(head.split())
                paren = flat.find('(')
                if paren > 0 and not BLOCK_KEYWORDS.search(flat) and not NOT_FUNCTIONS.search(flat[:paren]) \
                        and '=' not in flat[:paren].replace('operator=', '').replace('==', ''):
                    kind = 'function'
            name = ''
            if kind == 'function':
                flat = ' '.join(head.split())
                m = re.search(r'([~\w:]+(?:operator\s*\S+?)?)\s*\($', flat[:flat.find('(') + 1])
                name = m.group(1) if m else flat[:40]
                first = head_start + len(head) - len(head.lstrip())
                start = text.rfind('\n', 0, text.find('(', first)) + 1
            stack.append((kind, name, line_of(start) if kind == 'function' else 0))
            head_start = i + 1
        elif c == '}':
            if stack:
                kind, name, start_line = stack.pop()
                if kind == 'function':
                    yield name, start_line, line_of(i)
            head_start = i + 1
        elif c == ';':
            head_start = i + 1
        i += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--limit', type=int, default=80)
    parser.add_argument('folders', nargs='*', default=['src'])
    args = parser.parse_args()
    found = []
    for folder in args.folders:
        for path in sorted(pathlib.Path(folder).rglob('*')):
            if path.suffix in ('.cpp', '.h') and path.is_file():
                for name, first, last in functions(path):
                    if last - first + 1 > args.limit:
                        found.append((last - first + 1, f'{path}:{first}', name))
    for length, where, name in sorted(found, reverse=True):
        print(f'{length:5}  {where}  {name}')


if __name__ == '__main__':
    main()
