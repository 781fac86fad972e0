// A host that uses the installed kvx package; exits 0 when the library answers as documented.
#include <kvx/foundation.h>

#include <cstdio>
#include <cstring>

int main() {
    char text[] = "installed package \r\n";
    TrimTrailingSpace(text);
    const bool ok = std::strcmp(text, "installed package") == 0;
    std::printf("consumer: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
