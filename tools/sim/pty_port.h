// The simulator's end of the serial line: a pseudo-terminal whose slave is
// linked under a fixed name (./COM3), written without ever blocking.
#pragma once

#include <string>

namespace sim {

class PtyPort {
  public:
    explicit PtyPort(std::string linkPath);
    ~PtyPort();  // closes the pty and removes the link
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens a new pty, puts its slave in raw mode and points the link at it,
    // then closes the previous pty if there was one. The link is replaced
    // atomically, so a reader never finds it missing; a stale link is
    // replaced, any other file of that name is left alone and the opening
    // fails. False with `error` set on failure (the previous pty stays).
    bool open(std::string& error);

    // Closes the pty and removes the link if it still points at our device.
    void close();

    bool isOpen() const { return master_ >= 0; }

    // Whether some process has the slave open: the master reports a hang-up
    // while nobody does. Only meaningful while open.
    bool readerAttached() const;

    // Throws away whatever a reader wrote to us.
    void drainInput();

    enum class WriteResult { Complete, Partial, Dropped, Failed };
    // Writes without blocking: bytes the line has no room for are dropped,
    // like bytes nobody reads on a real serial line.
    WriteResult write(const std::string& bytes);

    const std::string& devicePath() const { return device_; }
    const std::string& linkPath() const { return link_; }
    // What the last open() did to an existing link, for the log; empty if
    // there was none.
    const std::string& replacedLinkNote() const { return replacedNote_; }

  private:
    bool linkIsOurs() const;

    std::string link_;
    std::string device_;
    std::string replacedNote_;
    int master_ = -1;
};

}  // namespace sim
