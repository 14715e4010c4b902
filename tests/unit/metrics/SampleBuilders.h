// Small builders for sampler documents in tests, and fixture loading.
#pragma once

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "shared/plist/Plist.h"

namespace fxtest {

inline plist::Value cluster(const char* name, plist::Value freqHz, std::vector<int64_t> cpus = {}) {
  plist::Array list;
  for (int64_t c : cpus)
    list.push_back(plist::Dict{{"cpu", c}, {"idle_ratio", 0.5}});
  return plist::Dict{{"name", name}, {"freq_hz", std::move(freqHz)}, {"cpus", std::move(list)}};
}

inline plist::Value withProcessor(plist::Dict processor, plist::Dict extra = {}) {
  extra["processor"] = plist::Value(std::move(processor));
  return plist::Value(std::move(extra));
}

inline plist::Value withClusters(std::initializer_list<plist::Value> clusters) {
  return withProcessor(plist::Dict{{"clusters", plist::Array(clusters)}});
}

inline std::string readFixture(const std::string& name) {
  std::ifstream in(std::string(FERROLUX_FIXTURES_DIR) + "/metrics/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace fxtest
