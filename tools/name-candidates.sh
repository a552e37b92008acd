#!/usr/bin/env bash
# Lists names that may break the naming rule of CONTRIBUTING.md ("Style"), one per line as
# FILE:LINE KIND NAME. They are candidates for a person to judge, not verdicts: an accessor
# may read as Qt's do, a Qt or standard-library override keeps its name, and so do the names
# kept from the design (docs/architecture.md) and functions a C library or a D-Bus caller
# finds by name.
#
#   tools/name-candidates.sh [PATH...]     # default: the whole tree
#
# Installs NAME_PACKAGES of tools/packages.sh when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/packages.sh
source "$root/tools/packages.sh"
"$root/tools/install-deps.sh" "${NAME_PACKAGES[@]}"

cd "$root"
[ $# -gt 0 ] || set -- .
{
git ls-files -- "$@" | grep -E '\.(h|cpp)$' |
    ctags-universal -f - --language-force=C++ --kinds-C++=+p --fields=+KZsan --extras=-q -L - |
    python3 -c '
import re, sys

# Overrides of Qt and the standard library, and GoogleTest hooks: they keep their names.
kept = set("""main paintEvent keyPressEvent keyReleaseEvent showEvent hideEvent closeEvent
changeEvent enterEvent leaveEvent focusInEvent focusOutEvent inputMethodEvent resizeEvent
moveEvent timerEvent wheelEvent mousePressEvent mouseReleaseEvent mouseMoveEvent
mouseDoubleClickEvent contextMenuEvent event eventFilter notify sizeHint minimumSizeHint
paint stepBy stepEnabled nextCheckState validate fixup reject accept done exec what get
release reset begin end size data SetUp TearDown""".split())
# Handlers of the design: a control name and what happened to it.
handler = re.compile(r"^(btn|edt|lbl|sed|dx)[A-Z0-9]")

for line in sys.stdin:
    name, path, pattern, *fields = line.rstrip("\n").split("\t")
    kind = fields[0] if fields else ""
    info = dict(f.split(":", 1) for f in fields[1:] if ":" in f)
    where = "%s:%s" % (path, info.get("line", "?"))
    scope, access = info.get("scope", ""), info.get("access", "")
    text = pattern[2:-4] if pattern.startswith("/^") else pattern
    if name.startswith("__anon") or name.startswith("operator"):
        continue
    if kind in ("function", "prototype"):
        if re.match(r"[a-z_]", name) and not re.match(r"set[A-Z]", name) \
                and name not in kept and not handler.match(name):
            print(where, "function", name)
    elif kind == "member":
        if re.search(r"\bstatic\b.*\b(constexpr|const)\b", text):
            if not re.match(r"k[A-Z]", name):
                print(where, "constant", name)
        elif scope.startswith("class:") and access in ("private", "protected") \
                and not name.endswith("_"):
            print(where, "member", name)
    elif kind == "variable" and re.search(r"^\s*(static\s+)?(inline\s+)?(constexpr|const)\b", text):
        if not re.match(r"k[A-Z]", name) and not re.search(r"[*&]\s*" + re.escape(name), text):
            print(where, "constant", name)
    elif kind in ("signal", "slot"):
        print(where, kind, name)
'
# ctags misses signals declared under the Q_SIGNALS macro.
git ls-files -- "$@" | grep -E '\.h$' | while read -r header; do
    awk -v file="$header" '
        /^[ \t]*(Q_SIGNALS|signals):/ { inside = 1; next }
        /^[ \t]*(public|protected|private)( Q_SLOTS| slots)?:|^};/ { inside = 0 }
        inside && match($0, /void[ \t]+[A-Za-z0-9_]+\(/) {
            name = substr($0, RSTART + 5, RLENGTH - 6); sub(/^[ \t]+/, "", name)
            print file ":" NR " signal " name
        }' "$header"
done
} | sort -u | sort -t: -k1,1 -k2,2n |
    # A signal is listed once, as a signal.
    awk '{ key = $1 " " $3; line[NR] = $0; kind[NR] = $2; id[NR] = key }
         $2 == "signal" { signal[key] = 1 }
         END { for (i = 1; i <= NR; i++) if (!(kind[i] == "function" && signal[id[i]])) print line[i] }'
