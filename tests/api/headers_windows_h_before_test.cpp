// A host that includes <windows.h> before kvx's headers (Windows build; elsewhere the kvx
// headers alone) compiles, links kvx.dll and calls it.
#include "windows_h.h"

#include "kvx_all_headers.h"
#include "win32_layout_checks.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

TEST(HeadersWindowsHBefore, ExportedFunctionsLinkAndRun) {
    char narrow[] = "value \t\r\n";
    wchar_t wide[] = L"value  ";
    EXPECT_STREQ(TrimTrailingSpace(narrow), "value");
    EXPECT_EQ(std::wcscmp(TrimTrailingSpace(wide), L"value"), 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)));
}

}  // namespace
