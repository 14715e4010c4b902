#include <gtest/gtest.h>

#include <stdlib.h>

#include "shared/xpc/Connection.h"
#include "shared/xpc/Frame.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"

namespace {

using xpc::Call;
using xpc::Message;
using xpc::Receiver;

// The body of an encoded frame.
std::string body(const std::string& frame) {
  return frame.substr(xpc::kFrameHeaderSize);
}

std::string dictBody(plist::Dict d) {
  return plist::write(plist::Value(std::move(d)), plist::Format::Binary);
}

TEST(Message, NamesAreTheContract) {
  EXPECT_EQ(xpc::messageName(Message::IsResponding), "isRespondingWithCompletion:");
  EXPECT_EQ(xpc::messageName(Message::UnInstallHelper), "unInstallHelper");
  EXPECT_EQ(xpc::messageName(Message::GetVersion), "getVersionWithCompletion:");
  EXPECT_EQ(xpc::messageName(Message::RequestPowermetrics),
            "requestPowermetricsWithMsSampling:includeGPU:");
  EXPECT_EQ(xpc::messageName(Message::CloseHelper), "closeHelper");
  EXPECT_EQ(xpc::messageName(Message::PowermetricsResult), "powermetricsResult:");
}

TEST(Message, CallsRoundTripToTheirReceiver) {
  struct Case {
    Call call;
    Receiver receiver;
  };
  const Case cases[] = {
      {{.message = Message::IsResponding, .id = 7}, Receiver::Helper},
      {{.message = Message::GetVersion, .id = -3}, Receiver::Helper},
      {{.message = Message::UnInstallHelper}, Receiver::Helper},
      {{.message = Message::CloseHelper}, Receiver::Helper},
      {{.message = Message::RequestPowermetrics, .msSampling = 1000.9, .includeGPU = true},
       Receiver::Helper},
      {{.message = Message::PowermetricsResult, .data = plist::Bytes{1, 0, 2}},
       Receiver::Application},
      {{.message = Message::PowermetricsResult, .data = plist::Bytes{}}, Receiver::Application},
      {{.message = Message::PowermetricsResult, .data = std::nullopt}, Receiver::Application},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(xpc::messageName(c.call.message));
    const auto frame = xpc::decode(body(xpc::encode(c.call)), c.receiver);
    ASSERT_TRUE(frame);
    const auto* got = std::get_if<Call>(&*frame);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->message, c.call.message);
    EXPECT_EQ(got->id, xpc::hasReply(c.call.message) ? c.call.id : 0);
    EXPECT_EQ(got->msSampling, c.call.msSampling);
    EXPECT_EQ(got->includeGPU, c.call.includeGPU);
    // nil and empty data stay distinct: one means "not launched", the other "wrote nothing".
    EXPECT_EQ(got->data, c.call.data);
    // The other end refuses a message not meant for it.
    const auto other = c.receiver == Receiver::Helper ? Receiver::Application : Receiver::Helper;
    EXPECT_FALSE(xpc::decode(body(xpc::encode(c.call)), other));
  }
}

TEST(Message, HelloAndRepliesReachOnlyTheApplication) {
  const auto hello = xpc::decode(body(xpc::encode(xpc::Hello{1})), Receiver::Application);
  ASSERT_TRUE(hello && std::holds_alternative<xpc::Hello>(*hello));
  EXPECT_EQ(std::get<xpc::Hello>(*hello).version, 1);
  const auto reply =
      xpc::decode(body(xpc::encode(xpc::Reply{9, plist::Value("1.4")})), Receiver::Application);
  ASSERT_TRUE(reply && std::holds_alternative<xpc::Reply>(*reply));
  EXPECT_EQ(std::get<xpc::Reply>(*reply).id, 9);
  EXPECT_EQ(*std::get<xpc::Reply>(*reply).value.string(), "1.4");
  EXPECT_FALSE(xpc::decode(body(xpc::encode(xpc::Hello{1})), Receiver::Helper));
  EXPECT_FALSE(xpc::decode(body(xpc::encode(xpc::Reply{9, true})), Receiver::Helper));
}

TEST(Message, RefusesMalformedBodies) {
  struct Case {
    const char* what;
    std::string body;
    Receiver receiver;
  };
  const Case cases[] = {
      {"empty", "", Receiver::Helper},
      {"garbage", "not a property list at all", Receiver::Helper},
      {"text document to the helper",
       plist::write(plist::Dict{{"call", "getVersionWithCompletion:"}, {"id", 1}},
                    plist::Format::XML),
       Receiver::Helper},
      {"text document to the application",
       plist::write(plist::Dict{{"hello", 1}}, plist::Format::XML), Receiver::Application},
      {"array at the top", plist::write(plist::Array{1, 2}, plist::Format::Binary),
       Receiver::Helper},
      {"unknown message", dictBody({{"call", "rmRfSlash"}}), Receiver::Helper},
      {"name not a string", dictBody({{"call", 5}}), Receiver::Helper},
      {"reply block without id", dictBody({{"call", "isRespondingWithCompletion:"}}),
       Receiver::Helper},
      {"id not an integer", dictBody({{"call", "getVersionWithCompletion:"}, {"id", "1"}}),
       Receiver::Helper},
      {"interval missing",
       dictBody({{"call", "requestPowermetricsWithMsSampling:includeGPU:"}, {"includeGPU", true}}),
       Receiver::Helper},
      {"flag not boolean",
       dictBody({{"call", "requestPowermetricsWithMsSampling:includeGPU:"},
                 {"msSampling", 500.0},
                 {"includeGPU", 1}}),
       Receiver::Helper},
      {"data not data", dictBody({{"call", "powermetricsResult:"}, {"data", "text"}}),
       Receiver::Application},
      {"reply of another type", dictBody({{"reply", 1}, {"value", 2.5}}), Receiver::Application},
      {"neither call, reply nor hello", dictBody({{"what", 1}}), Receiver::Application},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(xpc::decode(c.body, c.receiver));
  }
}

TEST(Endpoint, EnvironmentOverridesTheSystemPath) {
  ::unsetenv("FERROLUX_HELPER_ENDPOINT");
  EXPECT_EQ(xpc::helperEndpoint(), "/run/ferrolux/com.tarquell.powermetrics.sock");
  ::setenv("FERROLUX_HELPER_ENDPOINT", "", 1);
  EXPECT_EQ(xpc::helperEndpoint(), "/run/ferrolux/com.tarquell.powermetrics.sock");
  ::setenv("FERROLUX_HELPER_ENDPOINT", "/tmp/h.sock", 1);
  EXPECT_EQ(xpc::helperEndpoint(), "/tmp/h.sock");
  ::unsetenv("FERROLUX_HELPER_ENDPOINT");
}

TEST(Message, IntegerIntervalIsAcceptedAsANumber) {
  const auto f = xpc::decode(dictBody({{"call", "requestPowermetricsWithMsSampling:includeGPU:"},
                                       {"msSampling", 500},
                                       {"includeGPU", false}}),
                             Receiver::Helper);
  ASSERT_TRUE(f);
  EXPECT_EQ(std::get<Call>(*f).msSampling, 500.0);
}

}  // namespace
