// Read operations over one sampler document: the few entries the module models use, picked out
// of the dictionary with every missing or mistyped entry counted as absent.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "shared/plist/Plist.h"

namespace sample {

inline constexpr const char* kECluster = "E-Cluster";
inline constexpr const char* kPCluster = "P-Cluster";

// The cluster names recognised: E/P followed by "" or one digit, then "-Cluster".
const std::vector<std::string>& clusterSuffixes();

// "cpu_energy", "dram_energy", "gpu_energy" and either "combined_power" (OS 13 or later) or
// "package_energy", copied from "processor" when present; empty without a "processor" dictionary.
plist::Dict powerValues(const plist::Value& data, bool isOS13OrLater);

// {"E-Cluster": MHz, "P-Cluster": MHz}: the highest frequency among the clusters of each kind,
// 0 for a kind the sample lacks.
std::map<std::string, double> clusterFrequencies(const plist::Value& data);

// {"freq_hz": ...} copied from "gpu" when present; otherwise empty.
plist::Dict gpuFrequencyValues(const plist::Value& data);

// {"E-Cluster": [cpu...], "P-Cluster": [cpu...]} in suffix order; empty when the sample has no
// named cluster at all.
std::map<std::string, std::vector<int64_t>> clusterCPUs(const plist::Value& data);

}  // namespace sample
