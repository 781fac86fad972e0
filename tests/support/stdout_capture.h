// stdout_capture.h: KvxStdoutCapture, which points the process's standard output at a file (or,
// on Linux, at a pseudo-terminal) for a test and hands back what was printed.
#pragma once

#include <string>

class KvxStdoutCapture {
public:
    enum Target { kFile, kTerminal };

    // Redirects standard output (the descriptor and the C stream) until Finish() or the
    // destructor. kTerminal is available where Supported(kTerminal) says so.
    explicit KvxStdoutCapture(Target target = kFile);
    ~KvxStdoutCapture();
    KvxStdoutCapture(const KvxStdoutCapture&) = delete;
    KvxStdoutCapture& operator=(const KvxStdoutCapture&) = delete;

    static bool Supported(Target target);

    // Restores standard output and returns everything printed meanwhile.
    std::string Finish();

private:
    Target _target;
    int _saved = -1;
    int _reader = -1;  // the terminal's master side
    std::string _path;
    bool _finished = false;
};
