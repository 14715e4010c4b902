// The safety copy of a running recording: while logging is on, every row is also appended to a
// file in the user's state folder, so a crash or a kill loses at most the rows since the last
// flush. A normal stop deletes it once the log file is written; a copy left behind by a process
// that died is turned into "<name> (recovered).csv" at the next start.
//
// The file holds the log file's own text (header, then whole lines) under the recording's file
// name, and stays locked (flock) while its recorder lives, so a second running instance never
// takes another's live recording for a leftover; the kernel drops the lock when the process dies.
//
// Threads: one instance is used on one thread; recoverLeftovers may run on any.
#pragma once

#include <string>
#include <vector>

#include "app/log/LogFileData.h"

class LogRecoveryFile {
 public:
  // $XDG_STATE_HOME/ferrolux/recording, or ~/.local/state/ferrolux/recording.
  static std::string defaultFolder();

  LogRecoveryFile() = default;
  ~LogRecoveryFile();  // flushes and closes, keeping the file
  LogRecoveryFile(const LogRecoveryFile&) = delete;
  LogRecoveryFile& operator=(const LogRecoveryFile&) = delete;

  // Starts `folder`/`name`.csv (creating the folder) with the header, written at once. Returns
  // false when it cannot; recording then goes on without a safety copy.
  bool open(const std::string& folder, const std::string& name);
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Buffers one line; nothing touches the disk until flush().
  void append(const LogFileData& row);
  // Writes what is buffered and syncs it. False on a write or sync error (after a failed write
  // the buffer is kept for the next try).
  bool flush();
  // Flushes, closes and keeps the file (the recording could not be saved elsewhere).
  void close();
  // Closes and deletes the file (the recording is safely written).
  void discard();

  // One leftover turned into a log file, or left in place with the reason.
  struct Recovered {
    std::string path;     // the log file written; empty on failure
    std::string failure;  // why it could not be written
  };
  // Every unlocked leftover in `folder` is written as "<name> (recovered).csv" into the first
  // of `destinations` that takes it and then deleted. A partial last line is dropped; a file
  // without a row is deleted without a log file. A leftover that cannot be written stays for a
  // later start.
  static std::vector<Recovered> recoverLeftovers(const std::string& folder,
                                                 const std::vector<std::string>& destinations);

 private:
  int fd_ = -1;
  std::string path_;
  std::string buffer_;
};
