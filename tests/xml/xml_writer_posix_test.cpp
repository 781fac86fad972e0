// xml_writer_posix_test.cpp: SaveFile on a disk that fills up part-way through the document,
// made here with a file size limit in a child process.
#include "xml_test_util.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(XmlSaveFilePosix, FullDiskStopsAtTheFailedWriteAndKeepsWhatWasWritten) {
    KvxTempDir dir;
    const std::wstring path = dir.WFile("full.xml");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{60, 60};
        setrlimit(RLIMIT_FSIZE, &limit);
        CQVXmlFormat doc;
        XML_NODE* root = doc.AddRootNode("config");
        root->values.push_back({"port", "42"});
        root->values.push_back({"host", "example"});
        _exit(static_cast<int>(doc.SaveFile(path.c_str())));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 112);
    // The header (40), "<config>\r\n" (10), and 10 of the 17 bytes of the first value line,
    // which the system took in part; the next write failed.
    EXPECT_EQ(KvxReadFile(dir.File("full.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config>\r\n\t<port>42<");
}

}  // namespace
