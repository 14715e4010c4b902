// Whatever bytes a peer sends, the decoder and message reader must either yield frames or
// refuse, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/xpc/Frame.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the stream is cut into reads, as a socket might deliver it.
  const size_t piece = 1 + data[0] % 64;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  xpc::FrameDecoder decoder(xpc::kMaxFrameToHelper);
  std::string body;
  for (size_t at = 0; at < stream.size(); at += piece) {
    decoder.feed(stream.substr(at, piece));
    while (decoder.next(body) == xpc::FrameDecoder::Status::Frame) {
      for (auto receiver : {xpc::Receiver::Helper, xpc::Receiver::Application}) {
        if (const auto frame = xpc::decode(body, receiver)) {
          // Whatever decodes must encode again and decode to the same kind.
          std::string again;
          std::visit([&](const auto& f) { again = xpc::encode(f); }, *frame);
          const auto back = xpc::decode(std::string_view(again).substr(4), receiver);
          if (!back || back->index() != frame->index()) __builtin_trap();
        }
      }
    }
    if (decoder.failed()) break;
  }
  return 0;
}
