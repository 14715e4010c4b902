// The contract between the application and its privileged helper, for both sides.
//
// Transport: one Unix stream socket per connection. The helper listens (on the descriptor that
// systemd hands over, or on a path given for development and tests); the application connects.
//
// Frames: a 4-byte big-endian length, then that many bytes holding one binary property list
// whose top level is a dictionary. A length above the receiver's bound, a connection that ends
// inside a frame, a body that is not a dictionary, or a frame naming an unknown message closes
// that one connection and nothing else.
//
// Order of a connection's life:
//   1. The application connects and may start sending calls at once.
//   2. The helper checks the peer (kernel credentials). A refused peer is closed without any
//      frame; the application reports that as invalidation. An admitted peer first receives
//      the hello frame:      { "hello": <integer protocol version> }
//   3. Calls, in either direction:
//                            { "call": <message name>, ["id": <integer>], arguments... }
//      Calls whose message has a reply block carry an "id"; the reply echoes it:
//                            { "reply": <integer id>, "value": <boolean or string> }
//      A connection lost after the hello is an interruption; pending replies never arrive.
//
// Messages the helper serves (application -> helper):
//   isRespondingWithCompletion:                    id; reply: boolean (always true)
//   unInstallHelper                                no arguments, no reply
//   getVersionWithCompletion:                      id; reply: string (the helper's version)
//   requestPowermetricsWithMsSampling:includeGPU:  "msSampling" real (ms), "includeGPU" boolean
//   closeHelper                                    no arguments, no reply
// Message the application serves (helper -> application):
//   powermetricsResult:                            "data": data; absent when the sampler could
//                                                  not be launched (a nil result)
//
// Calls are handled in the order they arrive on a connection. Results carry no request
// identifier: they come back in the order in which the sampler runs end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xpc {

inline constexpr int64_t kProtocolVersion = 1;

// The service's name: bundle identifier, unit name and installed file name of the helper.
inline constexpr std::string_view kServiceName = "com.tarquell.powermetrics";

// Where the installed helper listens; the socket unit creates it. Development and tests point
// both sides elsewhere through this environment variable.
inline constexpr std::string_view kSystemEndpoint = "/run/ferrolux/com.tarquell.powermetrics.sock";
inline constexpr std::string_view kEndpointEnvironment = "FERROLUX_HELPER_ENDPOINT";

// Installed locations of the helper: its two units (the job list), its executable and the
// sampler. The helper's own uninstall removes exactly these.
inline constexpr std::string_view kUnitDirectory = "/etc/systemd/system";
inline constexpr std::string_view kSocketUnitName = "com.tarquell.powermetrics.socket";
inline constexpr std::string_view kServiceUnitName = "com.tarquell.powermetrics.service";
inline constexpr std::string_view kInstalledExecutable =
    "/usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics";
// The sampler the installed helper runs as root sits beside it, in the same root-owned
// directory, never in the application's own install (which its user may be able to change).
inline constexpr std::string_view kInstalledToolsDirectory = "/usr/local/libexec/ferrolux-helpers";
inline constexpr std::string_view kInstalledSampler =
    "/usr/local/libexec/ferrolux-helpers/powermetrics";

// Frame bounds. Results carry one sampler run's output (capped by the helper at
// kMaxSamplerOutput), so frames towards the application may be large; the helper accepts only
// small frames, as no call it serves carries bulk data.
inline constexpr size_t kFrameHeaderSize = 4;
inline constexpr size_t kMaxSamplerOutput = 4u << 20;
inline constexpr size_t kMaxFrameToClient = 8u << 20;
inline constexpr size_t kMaxFrameToHelper = 64u << 10;

// Message names.
inline constexpr std::string_view kIsResponding = "isRespondingWithCompletion:";
inline constexpr std::string_view kUnInstallHelper = "unInstallHelper";
inline constexpr std::string_view kGetVersion = "getVersionWithCompletion:";
inline constexpr std::string_view kRequestPowermetrics =
    "requestPowermetricsWithMsSampling:includeGPU:";
inline constexpr std::string_view kCloseHelper = "closeHelper";
inline constexpr std::string_view kPowermetricsResult = "powermetricsResult:";

// Dictionary keys of the frames.
inline constexpr std::string_view kKeyHello = "hello";
inline constexpr std::string_view kKeyCall = "call";
inline constexpr std::string_view kKeyId = "id";
inline constexpr std::string_view kKeyReply = "reply";
inline constexpr std::string_view kKeyValue = "value";
inline constexpr std::string_view kKeyMsSampling = "msSampling";
inline constexpr std::string_view kKeyIncludeGPU = "includeGPU";
inline constexpr std::string_view kKeyData = "data";

// The helper's information list and job list live inside its executable file, in these ELF
// sections, each an XML property list (see EmbeddedInfo.h).
inline constexpr std::string_view kInfoSection = ".ferrolux.info";
inline constexpr std::string_view kJobsSection = ".ferrolux.jobs";

}  // namespace xpc
