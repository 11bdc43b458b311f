// A pseudo-terminal pair for serial tests: the test writes on the master side,
// the program opens the slave through a ./COM<n> link.
#pragma once

#include <string>

namespace testsupport {

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slave_; }
    // Writes all bytes to the master side.
    void write(const std::string& bytes);
    // Closes the master: the slave's reader sees the device go away.
    void closeMaster();
    // Links `linkPath` to the slave (replacing what is there).
    void linkAs(const std::string& linkPath) const;

  private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace testsupport
