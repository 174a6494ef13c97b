#pragma once

#include <QString>

#include <cstdio>

namespace zarq {

// `zarq --update [--update-url URL]`: one non-threaded update run in the foreground, with the
// desktop program's configuration. Every status message goes to `err` as
// "zarq: update [NNN] text (Status:S) (Error:E)".
class UpdateCommand {
public:
    QString url;
    // The control file's question, news and licence answered with yes (--yes); otherwise they
    // count as declined. Messages, news and licence are printed either way.
    bool yes = false;
    // 0 when the run ended without a failure message, 1 otherwise.
    int run(FILE* err);
    // Whether a message number reports a failure (of the run, a transfer, or its cleanup).
    static bool isFailure(int number);
};

} // namespace zarq
