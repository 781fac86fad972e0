#!/usr/bin/env bash
# Platform choices live in platform/ and export.h/win32_types.h only.
cd "$(dirname "$0")/.."
hits=$(git grep -n -E '#\s*if.*_WIN32|defined\s*\(\s*_WIN32' -- '*.cpp' '*.h' '*.inc' \
    ':!platform/' ':!include/kvx/export.h' ':!include/kvx/win32_types.h' ':!tests/platform/' \
    ':!tests/support/' ':!fuzz/' 2>/dev/null)
if [ -n "$hits" ]; then
    echo "_WIN32 outside platform/:"; echo "$hits"; exit 1
fi
# Public headers must also compile with MSVC: no GNU-only builtins, attributes or types.
hits=$(git grep -n -E '__builtin_|__attribute__|__extension__|\b__typeof__|\btypeof\b|__int128|#\s*include\s*<(unistd|pthread|sys/)' \
    -- 'include/kvx/*.h' ':!include/kvx/export.h' 2>/dev/null)
if [ -n "$hits" ]; then
    echo "GNU-only construct in a public header (hosts also build with MSVC):"; echo "$hits"; exit 1
fi
