// Typed frames of the helper connection and their property-list form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "shared/plist/Plist.h"

namespace xpc {

enum class Message {
  IsResponding,
  UnInstallHelper,
  GetVersion,
  RequestPowermetrics,
  CloseHelper,
  PowermetricsResult,
};

std::string_view messageName(Message m);
std::optional<Message> messageNamed(std::string_view name);
// True for the messages that carry a reply block (and so an id).
bool hasReply(Message m);

struct Hello {
  int64_t version = 0;
};

struct Call {
  Message message = Message::IsResponding;
  int64_t id = 0;                                   // meaningful only when hasReply(message)
  double msSampling = 0;                            // RequestPowermetrics
  bool includeGPU = false;                          // RequestPowermetrics
  std::optional<plist::Bytes> data = std::nullopt;  // PowermetricsResult; nullopt is a nil result
};

struct Reply {
  int64_t id = 0;
  plist::Value value;  // a boolean or a string
};

using Frame = std::variant<Hello, Call, Reply>;

// Which end reads the frame: each end accepts only what its peer may send.
enum class Receiver { Helper, Application };

// Decodes one frame body. nullopt for anything the receiver must not accept: not a binary or
// XML property-list dictionary, an unknown message, a message meant for the other end, missing
// or mistyped arguments.
std::optional<Frame> decode(std::string_view body, Receiver receiver);

// The full frame (header and body) for each kind.
std::string encode(const Hello& hello);
std::string encode(const Call& call);
std::string encode(const Reply& reply);

}  // namespace xpc
