// FakeDialogs: a stand-in for the file dialog program, put alone on PATH, that
// logs how it was called and gives the answers the test set up.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/scoped_env.h"
#include "tests/support/support.h"

namespace testsupport {

// Logs its arguments and answers the n-th file dialog with the line in answer<n> (exit 1, a
// cancel, when there is none) and every question with the code in "question".
inline const char* const kFakeDialog = R"(#!/bin/sh
for a in "$@"; do printf '%s\n' "$a" >> "$FAKE_DIALOG_DIR/args"; done
printf '%s\n' '----' >> "$FAKE_DIALOG_DIR/args"
case "$1" in
  --question|--warningyesno) read code < "$FAKE_DIALOG_DIR/question"; exit "$code" ;;
esac
n=0
[ -f "$FAKE_DIALOG_DIR/count" ] && read n < "$FAKE_DIALOG_DIR/count"
n=$((n + 1))
printf '%s\n' "$n" > "$FAKE_DIALOG_DIR/count"
if [ -f "$FAKE_DIALOG_DIR/answer$n" ]; then
  read answer < "$FAKE_DIALOG_DIR/answer$n"
  printf '%s\n' "$answer"
  exit 0
fi
exit 1
)";

// Puts a folder holding the stand-in under the given names alone on PATH.
class FakeDialogs {
  public:
    explicit FakeDialogs(const std::vector<std::string>& programNames) {
        std::filesystem::create_directory(bin_);
        for (const auto& name : programNames) {
            writeFile(bin_ + "/" + name, kFakeDialog);
            ::chmod((bin_ + "/" + name).c_str(), 0755);
        }
    }

    // The answer of the n-th file dialog (counting from 1).
    void answer(int n, const std::string& path) {
        writeFile(dir_.file("answer" + std::to_string(n)), path + "\n");
    }
    void answerQuestionsWith(int code) { writeFile(dir_.file("question"), std::to_string(code)); }

    // The argument lists of the calls so far.
    std::vector<std::vector<std::string>> calls() const {
        std::vector<std::vector<std::string>> result(1);
        std::string text = readFile(dir_.file("args"));
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            if (line == "----") {
                result.emplace_back();
            } else {
                result.back().push_back(line);
            }
        }
        result.pop_back();
        return result;
    }

    std::string folder(const std::string& name) const { return dir_.file(name); }

  private:
    TempDir dir_;
    std::string bin_ = dir_.file("bin");
    ScopedEnv path_{"PATH", bin_};
    ScopedEnv dialogDir_{"FAKE_DIALOG_DIR", dir_.path()};
};

}  // namespace testsupport
