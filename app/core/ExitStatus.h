#pragma once

// How the commands without a window end, in the BSD sysexits convention where one fits, so that
// scripts can tell a bad command line from a missing helper from a full disk. The README's table
// of exit statuses lists them for users; keep the two together.
namespace exitstatus {

inline constexpr int kNoPlatform = 2;     // an unknown platform, a sim profile that does not load
inline constexpr int kUsage = 64;         // the command line is wrong
inline constexpr int kDataError = 65;     // an input file is not what it should be
inline constexpr int kNoInput = 66;       // an input cannot be read; nothing was recorded
inline constexpr int kUnavailable = 69;   // the helper is not there or not answering
inline constexpr int kCannotListen = 71;  // the address cannot be listened on
inline constexpr int kCannotWrite = 73;   // a file could not be written where it was asked
inline constexpr int kOutputError = 74;   // standard output could not take what was printed
inline constexpr int kIncomplete = 75;    // the samples do not cover the whole recording
inline constexpr int kNotPermitted = 77;  // the helper refuses this program or user
inline constexpr int kConfig = 78;        // the helper is another version

// A command run by `record` that could not be started, as a shell reports it.
inline constexpr int kNotExecutable = 126;
inline constexpr int kNotFound = 127;

}  // namespace exitstatus
