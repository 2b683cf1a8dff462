#!/usr/bin/env bash
# scripts/product.sh [TREE]   checks a product tree (default build-product,
# which scripts/build.sh builds with -DQEN_TEST_HOOKS=OFF): it holds no test,
# and no program, shared library or static library in it defines a symbol
# that a header declares only for test builds (inside #ifdef QEN_TEST_HOOKS).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-product}
if [ -f "$tree/CTestTestfile.cmake" ] || find "$tree" -path '*/tests/*' -name '*.o' | grep -q .; then
  echo "product tree $tree builds tests" >&2
  exit 1
fi
# The names declared under the switch: functions, function pointers and
# variables in the test-only blocks of every header.
hooks=$(python3 - <<'PY'
import pathlib, re
names = set()
for h in pathlib.Path('.').glob('**/*.h'):
    if h.parts[0].startswith('build') or h.parts[0] in ('tests', 'bench'):
        continue
    stack = []  # per open #if: whether its lines are test-only
    for line in h.read_text(errors='replace').splitlines():
        s = line.strip()
        if re.match(r'#\s*if', s):
            hook = bool(re.match(r'#\s*if(def)?\s+(defined\s*\(\s*)?QEN_TEST_HOOKS', s))
            stack.append(hook or (bool(stack) and stack[-1]))
        elif re.match(r'#\s*endif', s):
            stack.pop()
        elif re.match(r'#\s*(else|elif)', s):
            outer = len(stack) > 1 and stack[-2]
            stack[-1] = outer
        elif stack and stack[-1] and not s.startswith(('//', 'static')):
            m = (s.startswith('extern') and re.search(r'\(\s*\*\s*(\w+)\s*\)\s*\(', s)) \
                or re.search(r'(\w+)\s*\(', s) \
                or re.search(r'^extern\b.*?(\w+)\s*(\[.*\])?\s*;', s)
            if m and m.group(1) not in ('if', 'return', 'sizeof'):
                names.add(m.group(1))
print('\n'.join(sorted(names)))
PY
)
[ -n "$hooks" ] || { echo "no test hooks found in the headers" >&2; exit 1; }
status=0
while IFS= read -r f; do
  file "$f" | grep -qE 'ELF|ar archive' || continue
  defined=$(nm -C --defined-only "$f" 2>/dev/null | awk '{print $NF}' | sed 's/(.*//' | sort -u)
  found=$(comm -12 <(echo "$defined") <(echo "$hooks" | sort -u))
  if [ -n "$found" ]; then
    echo "$f defines test hooks: $(echo $found)" >&2
    status=1
  fi
done < <(find "$tree" -type f \( -perm -u+x -o -name '*.so' -o -name '*.a' \) ! -path '*/CMakeFiles/*')
[ "$status" -eq 0 ] && echo "product tree $tree: $(echo "$hooks" | wc -l) test hooks, none defined"
exit $status
