// The listening socket systemd hands the helper when the application first connects. The
// protocol is small and stable: the service manager passes descriptors from 3 upwards and names
// their count in LISTEN_FDS for the process LISTEN_PID. Reading it here keeps the root helper
// free of the service manager's client library and everything that library loads. Called once,
// from the main thread, before any other thread exists (it changes the environment).
#pragma once

#include <optional>
#include <string_view>

#include <sys/types.h>

namespace helper {

// The first descriptor the service manager passes.
inline constexpr int kFirstPassedFd = 3;

// How many descriptors were passed to the process `self`, given the values of LISTEN_PID and
// LISTEN_FDS (null when unset). Zero when the variables are missing, malformed or meant for
// another process (a child that inherited them).
int passedFdCount(const char* listenPid, const char* listenFds, pid_t self);

// True when `fd` is a listening Unix stream socket.
bool isListeningUnixStream(int fd);

// The descriptor systemd passed this process, when it passed exactly one listening Unix stream
// socket. The LISTEN_* variables are removed either way, so nothing the helper starts can
// mistake them for its own, and every passed descriptor is closed on exec.
std::optional<int> takeActivatedSocket();

}  // namespace helper
