// Tests of _wsplitpath_s and _wmakepath_s (the C runtime's on Windows, the layer's elsewhere).
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct Split {
    std::wstring drive, dir, fname, ext;
};

Split SplitPath(const wchar_t* path) {
    wchar_t drive[260], dir[260], fname[260], ext[260];
    EXPECT_EQ(_wsplitpath_s(path, drive, 260, dir, 260, fname, 260, ext, 260), 0);
    return {drive, dir, fname, ext};
}

TEST(Path, SplitsAndJoinsAsTheRuntimeDoes) {
    const struct {
        const wchar_t* path;
        Split want;
    } cases[] = {
        {L"C:\\logs\\app", {L"C:", L"\\logs\\", L"app", L""}},
        {L"C:\\logs\\app.txt", {L"C:", L"\\logs\\", L"app", L".txt"}},
        {L"C:\\lo.gs\\app", {L"C:", L"\\lo.gs\\", L"app", L""}},
        {L"/var/log/app.x.y", {L"", L"/var/log/", L"app.x", L".y"}},
        {L"app", {L"", L"", L"app", L""}},
        {L".hidden", {L"", L"", L"", L".hidden"}},
        {L"C:app", {L"C:", L"", L"app", L""}},
        {L"\\\\server\\share\\dir\\file.ext", {L"", L"\\\\server\\share\\dir\\", L"file", L".ext"}},
        {L"C:\\logs\\", {L"C:", L"\\logs\\", L"", L""}},
        {L"/", {L"", L"/", L"", L""}},
        {L"C:\\logs\\a?b:c", {L"C:", L"\\logs\\", L"a?b:c", L""}},
        {L"ab:\\x.txt", {L"", L"ab:\\", L"x", L".txt"}},
        {L"..", {L"", L"", L".", L"."}},
        {L"", {L"", L"", L"", L""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
        const Split got = SplitPath(c.path);
        EXPECT_EQ(got.drive, c.want.drive);
        EXPECT_EQ(got.dir, c.want.dir);
        EXPECT_EQ(got.fname, c.want.fname);
        EXPECT_EQ(got.ext, c.want.ext);
        wchar_t joined[260];
        ASSERT_EQ(_wmakepath_s(joined, 260, got.drive.c_str(), got.dir.c_str(), got.fname.c_str(),
                               got.ext.c_str()),
                  0);
        EXPECT_EQ(std::wstring(joined), std::wstring(c.path));
    }
}

TEST(Path, JoinAddsTheSeparatorsThatAreMissing) {
    wchar_t joined[64];
    ASSERT_EQ(_wmakepath_s(joined, 64, L"D", L"\\logs", L"app", L"log"), 0);
    EXPECT_EQ(std::wstring(joined), L"D:\\logs\\app.log");
    ASSERT_EQ(_wmakepath_s(joined, 64, nullptr, L"logs/", nullptr, L".log"), 0);
    EXPECT_EQ(std::wstring(joined), L"logs/.log");
    ASSERT_EQ(_wmakepath_s(joined, 64, L"", L"", L"app", nullptr), 0);
    EXPECT_EQ(std::wstring(joined), L"app");
}

// The Windows runtime ends the process for these (invalid-parameter handler); the layer
// returns the codes and writes nothing past a buffer.
#if !defined(_WIN32)
TEST(Path, BadArgumentsGiveTheRuntimesCodesAndClearTheOutputs) {
    wchar_t drive[3] = L"x", dir[5] = L"x", fname[8] = L"x", ext[8] = L"x";
    EXPECT_EQ(_wsplitpath_s(L"C:\\abcd\\f.e", drive, 3, dir, 4, fname, 8, ext, 8), ERANGE);
    EXPECT_EQ(std::wstring(drive) + dir + fname + ext, L"");
    EXPECT_EQ(_wsplitpath_s(L"C:\\ab\\f.e", drive, 3, dir, 5, fname, 8, ext, 8), 0);
    EXPECT_EQ(std::wstring(dir), L"\\ab\\");
    EXPECT_EQ(_wsplitpath_s(nullptr, drive, 3, dir, 4, fname, 8, ext, 8), EINVAL);
    EXPECT_EQ(_wsplitpath_s(L"a", drive, 0, dir, 4, fname, 8, ext, 8), EINVAL);
    EXPECT_EQ(_wsplitpath_s(L"C:\\d\\f.e", nullptr, 0, nullptr, 0, fname, 8, nullptr, 0), 0);
    EXPECT_EQ(std::wstring(fname), L"f");

    wchar_t joined[8] = L"x";
    EXPECT_EQ(_wmakepath_s(joined, 8, L"C", L"\\dir", L"name", nullptr), ERANGE);
    EXPECT_EQ(joined[0], L'\0');
    EXPECT_EQ(_wmakepath_s(joined, 8, L"C", L"\\d", L"na", nullptr), 0);  // 7 + NUL fits
    EXPECT_EQ(std::wstring(joined), L"C:\\d\\na");
    EXPECT_EQ(_wmakepath_s(nullptr, 8, L"C", nullptr, nullptr, nullptr), EINVAL);
    EXPECT_EQ(_wmakepath_s(joined, 0, L"C", nullptr, nullptr, nullptr), EINVAL);
}
#endif

}  // namespace
