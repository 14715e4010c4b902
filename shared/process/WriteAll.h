// Writing a whole buffer to a file or pipe descriptor, across short writes and interrupted calls.
// Sockets use the transport's own writer, which also keeps a vanished peer from raising SIGPIPE.
#pragma once

#include <string_view>

namespace proc {

// false when the descriptor refuses more bytes; how much was written is then unknown.
bool writeAll(int fd, std::string_view bytes);

}  // namespace proc
