#!/usr/bin/env python3
"""Which src/ and tools/ lines and branch outcomes each test case reaches, and which no other case does.

Runs every GoogleTest case of the coverage build (scripts/build.sh coverage) alone, with the environment
and directory ctest gives its suite, then writes build-coverage/coverage-map/cases.json (each case's
items) and map.txt: per case its source position and length, how many items it reaches, how many no
other case reaches (in all suites, and within its layer: the end-to-end api_tests or the unit suites),
and the three cases that reach most of its items. A case with few unique items and a neighbour close to
100% is a candidate to fold or drop; coverage does not see assertions, so check by breaking the code it
guards and watching another case fail.
"""
import concurrent.futures
import glob
import json
import os
import re
import subprocess
import sys
import tempfile
from collections import Counter

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), '..'))
BUILD = os.path.join(ROOT, 'build-coverage')
OUT = os.path.join(BUILD, 'coverage-map')
PROFILES = os.path.join(OUT, 'profiles')
JOBS = int(os.environ.get('JOBS', '3'))  # the cases mostly wait on real-time audio


def cases():
    """(suite binary, case, environment, directory) for every case ctest would run, each once."""
    listing = json.loads(subprocess.check_output(['ctest', '--test-dir', BUILD, '--show-only=json-v1']))
    found = {}
    for test in listing['tests']:
        command = test.get('command', [])
        if not command or '/tests/' not in command[0]:
            continue
        props = {p['name']: p['value'] for p in test.get('properties', [])}
        env = dict(os.environ, SDL_AUDIODRIVER='dummy')
        env.update(e.split('=', 1) for e in props.get('ENVIRONMENT', []))
        directory = props.get('WORKING_DIRECTORY', BUILD)
        os.makedirs(directory, exist_ok=True)
        names = subprocess.check_output(command + ['--gtest_list_tests'], env=env, cwd=directory, text=True)
        for key in ('GTEST_TOTAL_SHARDS', 'GTEST_SHARD_INDEX'):
            env.pop(key, None)
        suite = None
        for line in names.splitlines():
            if not line.strip() or line.startswith('Running'):
                continue
            if not line.startswith(' '):
                suite = line.split()[0]
            else:  # a case the disk driver runs is kept with the disk driver's environment
                name = f'{os.path.basename(command[0])}:{suite}{line.split()[0]}'
                if name not in found or 'SDL_DISKAUDIOFILE' in env:
                    found[name] = (command[0], env, directory)
    return found


def run(name, binary, env, directory):
    # %m: the suite and libbrivane.so each write their own profile
    env = dict(env, LLVM_PROFILE_FILE=os.path.join(PROFILES, name.replace('/', '_') + '.%m.profraw'))
    case = name.split(':', 1)[1]
    result = subprocess.run([binary, f'--gtest_filter={case}'], env=env, cwd=directory, capture_output=True)
    return name, result.returncode


def items(name, binary):
    """The src/ and tools/ lines the case ran and the branch outcomes it took."""
    profiles = glob.glob(os.path.join(PROFILES, glob.escape(name.replace('/', '_')) + '.*.profraw'))
    with tempfile.NamedTemporaryFile(suffix='.profdata') as merged:
        subprocess.run(['llvm-profdata', 'merge', '-sparse', '-o', merged.name] + profiles, check=True)
        lcov = subprocess.run(['llvm-cov', 'export', '-format=lcov', '-instr-profile', merged.name, binary,
                               '-object', os.path.join(BUILD, 'libbrivane.so')],
                              capture_output=True, text=True, check=True).stdout
    reached, path = set(), None
    for line in lcov.splitlines():
        if line.startswith('SF:'):
            path = os.path.relpath(os.path.realpath(line[3:]), ROOT)
            path = path if path.startswith(('src/', 'tools/')) else None
        elif path and line.startswith('DA:') and int(line[3:].split(',')[1]) > 0:
            reached.add(f'{path}:{line[3:].split(",")[0]}')
        elif path and line.startswith('BRDA:'):
            at, block, branch, taken = line[5:].split(',')
            if taken not in ('-', '0'):
                reached.add(f'{path}:{at}:b{block}.{branch}')
    return reached


def spans():
    """Where each TEST starts in tests/ and how many lines it runs to the next one."""
    found = {}
    for path in glob.glob(os.path.join(ROOT, 'tests', '**', '*.cpp'), recursive=True):
        lines = open(path).read().split('\n')
        starts = [(i, f'{m.group(1)}.{m.group(2)}') for i, text in enumerate(lines)
                  for m in [re.match(r'\s*TEST(?:_F|_P)?\((\w+),\s*(\w+)\)', text)] if m]
        for n, (i, case) in enumerate(starts):
            end = starts[n + 1][0] if n + 1 < len(starts) else len(lines)
            found[case] = f'{os.path.relpath(path, ROOT)}:{i + 1} lines={end - i}'
    return found


def report(reached):
    layer = {name: 'e2e' if name.startswith('api_tests:') else 'unit' for name in reached}
    everywhere, within = Counter(), {'e2e': Counter(), 'unit': Counter()}
    for name, got in reached.items():
        everywhere.update(got)
        within[layer[name]].update(got)
    where = spans()
    rows = []
    for name, got in reached.items():
        case = [part for part in name.split(':', 1)[1].split('/') if '.' in part][0]
        unique = sum(1 for i in got if everywhere[i] == 1)
        in_layer = sum(1 for i in got if within[layer[name]][i] == 1)
        near = sorted(((len(got & other) / max(1, len(got)), o) for o, other in reached.items() if o != name),
                      reverse=True)[:3]
        rows.append(f'{where.get(case, "?")} items={len(got)} unique={unique} unique_in_layer={in_layer} {name}\n' +
                    ''.join(f'    {share:.0%} of its items also reached by {o}\n' for share, o in near))
    with open(os.path.join(OUT, 'map.txt'), 'w') as out:
        out.writelines(sorted(rows))


def main():
    if not os.path.exists(os.path.join(BUILD, 'build.ninja')):
        sys.exit('build the coverage flavour first: scripts/build.sh coverage')
    os.makedirs(PROFILES, exist_ok=True)
    for old in glob.glob(os.path.join(PROFILES, '*.profraw')):
        os.remove(old)
    found = cases()
    # The disk driver's cases share their suite's output file, so they run one at a time.
    disk = sorted(n for n in found if 'SDL_DISKAUDIOFILE' in found[n][1])
    for names, jobs in ((sorted(set(found) - set(disk)), JOBS), (disk, 1)):
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            for name, code in pool.map(lambda n: run(n, *found[n]), names):
                if code != 0:
                    print(f'failed (its coverage is still counted): {name}', file=sys.stderr)
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        reached = dict(zip(sorted(found), pool.map(lambda n: items(n, found[n][0]), sorted(found))))
    with open(os.path.join(OUT, 'cases.json'), 'w') as out:
        json.dump({name: sorted(got) for name, got in reached.items()}, out)
    report(reached)
    print(f'{len(reached)} cases: {os.path.join(OUT, "map.txt")}')


if __name__ == '__main__':
    main()
