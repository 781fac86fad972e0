// foundation_section.cpp: the sample host's tour of the foundations.
#include "demo_section.h"

#include "kvx/foundation.h"

#include <cstring>

namespace {
int DemoFoundation(DemoContext&) {
    char text[] = "result line with trailing blanks \t\r\n";
    std::printf("   TrimTrailingSpace: \"%s\"\n", TrimTrailingSpace(text));
    std::printf("   kvx_error_none = %d, kvx_error_file_open = %d\n",
                static_cast<int>(kvx_error_none), static_cast<int>(kvx_error_file_open));
    return 0;
}
}  // namespace

KVX_DEMO_SECTION(10, "Foundations", DemoFoundation);
