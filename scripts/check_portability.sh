#!/usr/bin/env bash
# Platform choices live in platform/ and export.h/win32_types.h only.
cd "$(dirname "$0")/.."
hits=$(git grep -n -E '#\s*if.*_WIN32|defined\s*\(\s*_WIN32' -- '*.cpp' '*.h' '*.inc' \
    ':!platform/' ':!include/kvx/export.h' ':!include/kvx/win32_types.h' ':!tests/platform/' \
    ':!tests/support/' ':!fuzz/' 2>/dev/null)
if [ -n "$hits" ]; then
    echo "_WIN32 outside platform/:"; echo "$hits"; exit 1
fi
