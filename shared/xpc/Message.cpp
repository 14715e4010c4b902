#include "shared/xpc/Message.h"

#include <array>
#include <utility>

#include "shared/xpc/Frame.h"
#include "shared/xpc/Protocol.h"

namespace xpc {
namespace {

struct Entry {
  Message message;
  std::string_view name;
  bool reply;
  Receiver receiver;
};

constexpr std::array<Entry, 6> kMessages{{
    {Message::IsResponding, kIsResponding, true, Receiver::Helper},
    {Message::UnInstallHelper, kUnInstallHelper, false, Receiver::Helper},
    {Message::GetVersion, kGetVersion, true, Receiver::Helper},
    {Message::RequestPowermetrics, kRequestPowermetrics, false, Receiver::Helper},
    {Message::CloseHelper, kCloseHelper, false, Receiver::Helper},
    {Message::PowermetricsResult, kPowermetricsResult, false, Receiver::Application},
}};

const Entry& entry(Message m) {
  return kMessages[static_cast<size_t>(m)];
}

std::string encodeDict(plist::Dict dict) {
  return frame(plist::write(plist::Value(std::move(dict)), plist::Format::Binary));
}

std::optional<Frame> decodeCall(const plist::Value& v, Receiver receiver) {
  const auto* name = v[kKeyCall].string();
  if (!name) return std::nullopt;
  const auto message = messageNamed(*name);
  if (!message || entry(*message).receiver != receiver) return std::nullopt;
  Call call;
  call.message = *message;
  if (hasReply(*message)) {
    const auto id = v[kKeyId].integer();
    if (!id) return std::nullopt;
    call.id = *id;
  }
  if (*message == Message::RequestPowermetrics) {
    const auto ms = v[kKeyMsSampling].number();
    const auto gpu = v[kKeyIncludeGPU].boolean();
    if (!ms || !gpu) return std::nullopt;
    call.msSampling = *ms;
    call.includeGPU = *gpu;
  }
  if (*message == Message::PowermetricsResult) {
    const auto& data = v[kKeyData];
    if (!data.isNone()) {
      if (!data.data()) return std::nullopt;
      call.data = *data.data();
    }
  }
  return call;
}

}  // namespace

std::string_view messageName(Message m) {
  return entry(m).name;
}

std::optional<Message> messageNamed(std::string_view name) {
  for (const auto& e : kMessages)
    if (e.name == name) return e.message;
  return std::nullopt;
}

bool hasReply(Message m) {
  return entry(m).reply;
}

namespace {
constexpr std::string_view kBinaryMagic = "bplist00";
}  // namespace

std::optional<Frame> decode(std::string_view body, Receiver receiver) {
  // Both programs write binary documents only. Anything else is refused before a parser sees
  // it, so the helper's root process never runs the text readers on a peer's bytes.
  if (!body.starts_with(kBinaryMagic)) return std::nullopt;
  auto parsed = plist::parse(body);
  if (!parsed.ok() || !parsed.value->isDict()) return std::nullopt;
  const plist::Value& v = *parsed.value;
  if (!v[kKeyCall].isNone()) return decodeCall(v, receiver);
  if (receiver != Receiver::Application) return std::nullopt;
  if (const auto version = v[kKeyHello].integer()) return Hello{*version};
  if (const auto id = v[kKeyReply].integer()) {
    const auto& value = v[kKeyValue];
    if (!value.boolean() && !value.isString()) return std::nullopt;
    return Reply{*id, value};
  }
  return std::nullopt;
}

std::string encode(const Hello& hello) {
  return encodeDict({{std::string(kKeyHello), plist::Value(hello.version)}});
}

std::string encode(const Call& call) {
  plist::Dict d{{std::string(kKeyCall), plist::Value(messageName(call.message))}};
  if (hasReply(call.message)) d.emplace(kKeyId, plist::Value(call.id));
  if (call.message == Message::RequestPowermetrics) {
    d.emplace(kKeyMsSampling, plist::Value(call.msSampling));
    d.emplace(kKeyIncludeGPU, plist::Value(call.includeGPU));
  }
  if (call.message == Message::PowermetricsResult && call.data)
    d.emplace(kKeyData, plist::Value(*call.data));
  return encodeDict(std::move(d));
}

std::string encode(const Reply& reply) {
  return encodeDict(
      {{std::string(kKeyReply), plist::Value(reply.id)}, {std::string(kKeyValue), reply.value}});
}

}  // namespace xpc
