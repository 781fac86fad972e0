// A host that includes kvx's headers first and <windows.h> after them (Windows build;
// elsewhere the kvx headers alone) compiles, links kvx.dll and calls it.
#include "kvx_all_headers.h"

#include "win32_layout_checks.h"
#include "windows_h.h"

#include <gtest/gtest.h>

namespace {

TEST(HeadersWindowsHAfter, ExportedFunctionsLinkAndRun) {
    char blanks[] = " \t \r\n";
    EXPECT_STREQ(TrimTrailingSpace(blanks), "");
    EXPECT_EQ(TrimTrailingSpace(static_cast<wchar_t*>(nullptr)), nullptr);
}

}  // namespace
