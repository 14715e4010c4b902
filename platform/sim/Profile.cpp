#include "platform/sim/Profile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>

namespace platform::sim {
namespace {

constexpr size_t kMaxProfileSize = 8 << 20;
constexpr size_t kMaxSMCBytes = 32;
constexpr int kMaxCPUs = 1024;

// Collects the first problem found; later checks stop once one is recorded.
class Checker {
 public:
  explicit Checker(std::string path) : path_(std::move(path)) {}
  bool fail(const std::string& what) {
    if (error_.empty()) error_ = "profile " + path_ + ": " + what;
    return false;
  }
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};

std::string quoted(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

bool readSysctl(const plist::Value& doc, Profile& p, Checker& c) {
  std::set<std::string, std::less<>> wide;
  const plist::Value& list64 = doc["sysctl64"];
  if (!list64.isNone()) {
    if (!list64.isArray()) return c.fail(quoted("sysctl64") + " must be an array of strings");
    for (const auto& v : *list64.array()) {
      if (!v.isString()) return c.fail(quoted("sysctl64") + " must be an array of strings");
      wide.insert(*v.string());
    }
  }
  const plist::Value& table = doc["sysctl"];
  if (table.isNone()) return true;
  if (!table.isDict()) return c.fail(quoted("sysctl") + " must be a dictionary");
  for (const auto& [name, value] : *table.dict()) {
    if (auto i = value.integer()) {
      if (wide.count(name)) {
        p.sysctl.set(name, *i);
      } else if (*i < INT32_MIN || *i > UINT32_MAX) {
        return c.fail("sysctl " + quoted(name) + " does not fit 32 bits; list it in \"sysctl64\"");
      } else {
        p.sysctl.set(name, static_cast<int32_t>(static_cast<uint32_t>(*i)));
      }
    } else if (const std::string* s = value.string()) {
      p.sysctl.set(name, *s);
    } else {
      return c.fail("sysctl " + quoted(name) + " must be an integer or a string");
    }
  }
  return true;
}

bool readSMC(const plist::Value& doc, Profile& p, Checker& c) {
  const plist::Value& list = doc["smc"];
  if (list.isNone()) return true;
  if (!list.isArray()) return c.fail(quoted("smc") + " must be an array");
  for (size_t i = 0; i < list.size(); ++i) {
    const plist::Value& e = list[i];
    const std::string where = "smc entry " + std::to_string(i) + ": ";
    const std::string* key = e["key"].string();
    const std::string* type = e["type"].string();
    const plist::Bytes* bytes = e["bytes"].data();
    if (!key || key->size() != 4) return c.fail(where + "\"key\" must be four characters");
    if (!type || type->size() != 4) return c.fail(where + "\"type\" must be four characters");
    if (!bytes || bytes->size() > kMaxSMCBytes) {
      return c.fail(where + "\"bytes\" must be data of at most 32 bytes");
    }
    p.smc.push_back({*key, *type, *bytes});
  }
  return true;
}

bool readHID(const plist::Value& doc, Profile& p, Checker& c) {
  const plist::Value& list = doc["hid"];
  if (list.isNone()) return true;
  if (!list.isArray()) return c.fail(quoted("hid") + " must be an array");
  for (size_t i = 0; i < list.size(); ++i) {
    const plist::Value& e = list[i];
    if (!e.isDict()) return c.fail("hid entry " + std::to_string(i) + " must be a dictionary");
    HIDSensor s{e["LocationID"], std::nullopt};
    if (!e["temperature"].isNone()) {
      s.temperature = e["temperature"].number();
      if (!s.temperature) {
        return c.fail("hid entry " + std::to_string(i) + ": \"temperature\" must be a number");
      }
    }
    p.hid.push_back(std::move(s));
  }
  return true;
}

// The logical CPUs: the sysctl count, or enough for every CPU the sampler's clusters name.
bool countCPUs(Profile& p, Checker& c) {
  int count = 0;
  for (const char* name : {"hw.logicalcpu", "hw.ncpu"}) {
    int32_t v = 0;
    size_t len = sizeof v;
    if (p.sysctl.sysctlbyname(name, &v, &len) == 0 && len == sizeof v) count = std::max(count, v);
  }
  const plist::Value& clusters = p.sampler["clusters"];
  for (size_t i = 0; i < clusters.size(); ++i) {
    const plist::Value& cpus = clusters[i]["cpus"];
    for (size_t j = 0; j < cpus.size(); ++j) {
      auto n = cpus[j].integer();
      if (!n || *n < 0 || *n >= kMaxCPUs) {
        return c.fail("sampler cluster " + std::to_string(i) + " names an invalid CPU");
      }
      count = std::max(count, static_cast<int>(*n) + 1);
    }
  }
  if (count > kMaxCPUs) return c.fail("too many CPUs");
  p.cpuCount = count;
  return true;
}

}  // namespace

std::optional<OSVersion> parseOSVersion(std::string_view text) {
  int parts[3] = {0, 0, 0};
  int n = 0;
  const char* p = text.data();
  const char* end = text.data() + text.size();
  while (n < 3) {
    auto [next, ec] = std::from_chars(p, end, parts[n]);
    if (ec != std::errc() || parts[n] < 0) return std::nullopt;
    ++n;
    p = next;
    if (p == end) break;
    if (*p != '.') return std::nullopt;
    ++p;
  }
  if (p != end) return std::nullopt;
  return OSVersion{parts[0], parts[1], parts[2]};
}

ProfileResult parseProfile(const plist::Value& doc, const std::string& path) {
  Checker c(path);
  Profile p;
  p.path = path;
  if (!doc.isDict()) return {std::nullopt, "profile " + path + ": not a dictionary"};

  if (const std::string* name = doc["name"].string()) p.name = *name;
  if (!doc["osVersion"].isNone()) {
    const std::string* v = doc["osVersion"].string();
    auto version = v ? parseOSVersion(*v) : std::nullopt;
    if (!version)
      c.fail(quoted("osVersion") + " must be a version such as \"13.4.1\"");
    else
      p.osVersion = *version;
  }
  for (const char* key : {"systemProfiler", "sampler"}) {
    if (!doc[key].isNone() && !doc[key].isDict()) c.fail(quoted(key) + " must be a dictionary");
  }
  p.systemProfiler = doc["systemProfiler"];
  p.sampler = doc["sampler"];
  const plist::Value& accel = doc["ioAccelerators"];
  if (!accel.isNone() && !accel.isArray()) c.fail(quoted("ioAccelerators") + " must be an array");
  for (size_t i = 0; i < accel.size(); ++i) {
    if (accel[i].isDict())
      p.ioAccelerators.emplace_back(accel[i]);
    else
      p.ioAccelerators.emplace_back(std::nullopt);
  }
  if (c.ok()) readSysctl(doc, p, c);
  if (c.ok()) readSMC(doc, p, c);
  if (c.ok()) readHID(doc, p, c);
  if (c.ok()) countCPUs(p, c);
  if (!c.ok()) return {std::nullopt, c.error()};
  return {std::move(p), {}};
}

ProfileResult loadProfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "profile " + path + ": cannot be read"};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::string bytes = buffer.str();
  if (bytes.size() > kMaxProfileSize) return {std::nullopt, "profile " + path + ": too large"};
  plist::ParseResult parsed = plist::parse(bytes);
  if (!parsed.ok()) {
    return {std::nullopt, "profile " + path + ": not a property list (" + parsed.error + ")"};
  }
  return parseProfile(*parsed.value, path);
}

}  // namespace platform::sim
