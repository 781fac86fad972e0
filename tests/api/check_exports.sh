#!/usr/bin/env bash
# Checks what the shared library exports against the rules for kvx's public surface.
#   check_exports.sh LIBRARY NAMES_FILE INCLUDE_DIR [REFERENCE_LIBRARY SOURCE_DIR]
#
# LIBRARY is libkvx.so (read with nm -D) or kvx.dll (read with objdump -p; $OBJDUMP names the
# mingw objdump). Rules, on the demangled names:
#  1. Every exported symbol belongs to a name in NAMES_FILE: a free function of that name, a
#     member of that class or record, its vtable or type information, or an operator taking
#     it. Nothing else leaks: no platform-layer internals, no Win32 names on Linux. On Linux,
#     weak instances of standard-library templates are tolerated (libstdc++ declares namespace
#     std with default visibility, so instances the library makes are exported) and listed.
#  2. Every function declared KVX_API in INCLUDE_DIR/kvx/*.h is exported, and so is every
#     KVX_API class on Windows (dllexport exports its inline members too; on Linux a class with
#     only inline members exports nothing, which is noted).
#  3. With REFERENCE_LIBRARY (the other system's build, if present and newer than every library
#     source in SOURCE_DIR): both export the same names, and every Linux member function is exported
#     on Windows with the same signature (integer types compared by size: long is 64-bit on
#     Linux, 32-bit on Windows).
# Prints what it found and each violation; exits 1 on any violation.
set -euo pipefail
[ $# -eq 3 ] || [ $# -eq 5 ] || {
    echo "usage: $0 LIBRARY NAMES_FILE INCLUDE_DIR [REFERENCE_LIBRARY SOURCE_DIR]" >&2
    exit 2
}
library=$1 names_file=$2 include_dir=$3 reference=${4:-} source_dir=${5:-}
# libkvx.so is a chain of links; its age is the real file's.
[ -n "$reference" ] && [ -e "$reference" ] && reference=$(readlink -f "$reference")
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
cxxfilt=${CXXFILT:-c++filt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
violations=0
fail() {
    echo "FAIL: $*"
    violations=$((violations + 1))
}

# Prints "KIND<TAB>demangled" per exported symbol; KIND is "weak" or "strong" (PE exports have
# no weak ones).
exports_of() {
    case "$1" in
    *.dll)
        "$objdump" -p "$1" | awk '
            /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
            on && /^$/ { on = 0 }
            on { sub(/^[ \t]*\[ *[0-9]+\] /, ""); print }' |
            "$cxxfilt" | sed 's/^/strong\t/'
        ;;
    *)
        nm -D --defined-only "$1" | awk '
            $2 ~ /^[ABDGRST]$/ { print "strong\t" $3 }
            $2 ~ /^[VWuvw]$/ { print "weak\t" $3 }' >"$work/raw"
        paste <(cut -f1 "$work/raw") <(cut -f2 "$work/raw" | "$cxxfilt")
        ;;
    esac
}

# Prints "owner<TAB>demangled" per line of demangled names: the leading name a symbol belongs
# to after dropping "vtable for" and the like; for a free operator, the first type it takes.
owners_of() {
    sed -E 's/^(vtable|typeinfo|typeinfo name|VTT|construction vtable|guard variable) for //;
            s/^(non-virtual|virtual|covariant return) thunk to //' |
        awk '{
            line = $0
            if (match(line, /^operator[^(]*\(/)) {
                rest = substr(line, RLENGTH + 1)
                sub(/^const /, "", rest)
                match(rest, /^[A-Za-z_][A-Za-z0-9_]*/)
                owner = substr(rest, 1, RLENGTH)
            } else if (match(line, /^[A-Za-z_][A-Za-z0-9_]*/)) {
                owner = substr(line, 1, RLENGTH)
            } else {
                owner = "?"
            }
            print owner "\t" line
        }'
}

# Rewrites integer types by size, for the system the names come from (linux or windows), and
# va_list as va_list: __va_list_tag* on Linux, char* on Windows, where it is the last argument
# of the ...V( functions (AppendFormatV, FormatV).
normalise_ints() {
    local long=i64 ulong=u64
    [ "$1" = windows ] && long=i32 ulong=u32
    local va='s/__va_list_tag\*/va_list/g'
    [ "$1" = windows ] && va='s/(V\([^()]*), char\*\)/\1, va_list)/'
    sed -E "$va; s/\bunsigned long long\b/u64/g; s/\blong long\b/i64/g;
            s/\bunsigned long\b/$ulong/g; s/\blong\b/$long/g;
            s/\bunsigned int\b/u32/g; s/\bint\b/i32/g;
            s/\bunsigned short\b/u16/g; s/\bshort\b/i16/g"
}

system_of() { case "$1" in *.dll) echo windows ;; *) echo linux ;; esac; }

grep -v -E '^\s*(#|$)' "$names_file" | sed 's/\s*$//' | sort -u >"$work/allowed"
system=$(system_of "$library")
exports_of "$library" >"$work/exports"
[ -s "$work/exports" ] || fail "$library exports nothing (or could not be read)"
cut -f2 "$work/exports" | owners_of >"$work/owned"
paste <(cut -f1 "$work/exports") "$work/owned" >"$work/table"  # kind, owner, name

echo "$library ($system): $(wc -l <"$work/exports") exported symbols"

# Rule 1: every symbol belongs to a public name.
tolerated=0
while IFS=$'\t' read -r kind owner name; do
    if grep -qxF "$owner" "$work/allowed"; then
        continue
    fi
    if [ "$system" = linux ] && [ "$kind" = weak ] &&
        { [ "$owner" = std ] || [ "$owner" = __gnu_cxx ]; }; then
        tolerated=$((tolerated + 1))
        continue
    fi
    fail "exported but not public API: $name"
done <"$work/table"
[ $tolerated -gt 0 ] && echo "note: $tolerated weak standard-library template instances exported"

# Rule 2: what the headers mark KVX_API is there.
cut -f2 "$work/table" | sort -u >"$work/present"
for header in "$include_dir"/kvx/*.h; do
    grep -h -E '\bKVX_API\b' "$header" | grep -v -E '^\s*(#|//)' || true
done >"$work/declared"
# Classes and records: "class KVX_API Name", "struct KVX_API Name".
sed -n -E 's/.*\b(class|struct)\s+KVX_API\s+([A-Za-z_][A-Za-z0-9_]*).*/\2/p' "$work/declared" |
    sort -u >"$work/declared_classes"
# Functions: the name before the first "(", or for an operator the type of its first argument.
grep -v -E '\b(class|struct)\s+KVX_API\b' "$work/declared" |
    sed -n -E 's/.*\boperator\s*[^(]*\(\s*(const\s+)?([A-Za-z_][A-Za-z0-9_]*).*/\2/p;
               t; s/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\s*\(.*/\1/p' |
    sort -u >"$work/declared_functions"
while read -r name; do
    grep -qxF "$name" "$work/present" || fail "declared KVX_API but not exported: $name"
done <"$work/declared_functions"
while read -r name; do
    if ! grep -qxF "$name" "$work/present"; then
        if [ "$system" = windows ]; then
            fail "class declared KVX_API but nothing of it exported: $name"
        else
            echo "note: class $name exports nothing here (all its members are inline)"
        fi
    fi
done <"$work/declared_classes"
echo "headers declare $(wc -l <"$work/declared_functions") KVX_API function names and" \
    "$(wc -l <"$work/declared_classes") classes"

# Rule 3: the other system's build exports the same.
if [ -n "$reference" ]; then
    if [ ! -f "$reference" ]; then
        echo "note: no $reference to compare with (build it to compare the two systems)"
    elif [ -n "$(cd "$source_dir" && find include platform foundation events logging csv xml \
        \( -name '*.cpp' -o -name '*.h' -o -name '*.inc' -o -name CMakeLists.txt \) \
        -newer "$reference" -print 2>/dev/null | head -n 1)" ]; then
        echo "note: $reference is older than the sources; not compared (rebuild it)"
    else
        ref_system=$(system_of "$reference")
        exports_of "$reference" >"$work/ref_exports"
        cut -f2 "$work/ref_exports" | owners_of >"$work/ref_owned"
        paste <(cut -f1 "$work/ref_exports") "$work/ref_owned" >"$work/ref_table"
        public_owners() { awk -F'\t' 'NR == FNR { ok[$1] = 1; next } ok[$2] { print $2 }' \
            "$work/allowed" "$1" | sort -u; }
        public_owners "$work/table" >"$work/names_here"
        public_owners "$work/ref_table" >"$work/names_there"
        while read -r name; do
            # A class of only inline members exports nothing on Linux.
            [ "$system" = windows ] && grep -qxF "$name" "$work/declared_classes" && continue
            fail "exported on $system only: $name"
        done < <(comm -23 "$work/names_here" "$work/names_there")
        while read -r name; do
            [ "$ref_system" = windows ] && grep -qxF "$name" "$work/declared_classes" && continue
            fail "exported on $ref_system only: $name"
        done < <(comm -13 "$work/names_here" "$work/names_there")
        # Member functions: every Linux one is on Windows (Windows adds the inline ones).
        functions_of() {  # TABLE SYSTEM
            awk -F'\t' 'NR == FNR { ok[$1] = 1; next }
                ok[$2] && $3 ~ /\(/ && $3 !~ /^(vtable|typeinfo|VTT|guard variable)/ { print $3 }' \
                "$work/allowed" "$1" | normalise_ints "$2" | sort -u
        }
        if [ "$system" = linux ]; then
            functions_of "$work/table" linux >"$work/linux_functions"
            functions_of "$work/ref_table" windows >"$work/windows_functions"
        else
            functions_of "$work/ref_table" linux >"$work/linux_functions"
            functions_of "$work/table" windows >"$work/windows_functions"
        fi
        while read -r name; do
            fail "exported on Linux but not on Windows: $name"
        done < <(comm -23 "$work/linux_functions" "$work/windows_functions")
        echo "compared with $reference ($ref_system):" \
            "$(wc -l <"$work/names_here") public names here, $(wc -l <"$work/names_there") there;" \
            "$(wc -l <"$work/linux_functions") Linux functions looked up on Windows"
    fi
fi

if [ $violations -gt 0 ]; then
    echo "$violations violation(s)"
    exit 1
fi
echo "export surface OK"
