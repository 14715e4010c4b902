#include "tools/powermetrics/DocumentWriter.h"

#include <chrono>
#include <cmath>

#include "tools/powermetrics/XmlPlistStream.h"

namespace sampler {

namespace {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
constexpr double kUnixToPlistEpoch = 978307200.0;

void putReal(plist::Dict& d, const char* key, const std::optional<double>& v) {
  if (v && std::isfinite(*v)) d.emplace(key, *v);
}

// Energies and powers are whole millijoules and milliwatts, as the application expects them.
void putWhole(plist::Dict& d, const char* key, const std::optional<double>& v) {
  if (v && std::isfinite(*v) && std::fabs(*v) < 9.0e18) {
    d.emplace(key, static_cast<int64_t>(std::llround(*v)));
  }
}

plist::Value clusterValue(const ClusterSample& c) {
  plist::Dict d;
  d.emplace("name", c.name);
  putReal(d, "freq_hz", c.freqHz);
  putReal(d, "idle_ratio", c.idleRatio);
  plist::Array cpus;
  for (const auto& cpu : c.cpus) {
    plist::Dict cd;
    cd.emplace("cpu", cpu.cpu);
    putReal(cd, "freq_hz", cpu.freqHz);
    putReal(cd, "idle_ratio", cpu.idleRatio);
    cpus.emplace_back(std::move(cd));
  }
  d.emplace("cpus", std::move(cpus));
  return plist::Value(std::move(d));
}

}  // namespace

plist::Value sampleDocument(const Sample& sample, plist::Date timestamp) {
  plist::Dict processor;
  putWhole(processor, "cpu_energy", sample.cpuEnergyMj);
  putWhole(processor, "gpu_energy", sample.gpuEnergyMj);
  putWhole(processor, "ane_energy", sample.aneEnergyMj);
  putWhole(processor, "dram_energy", sample.dramEnergyMj);
  putWhole(processor, "package_energy", sample.packageEnergyMj);
  putWhole(processor, "combined_power", sample.combinedPowerMw);
  plist::Array clusters;
  for (const auto& c : sample.clusters)
    clusters.push_back(clusterValue(c));
  processor.emplace("clusters", std::move(clusters));
  // Not read by the application: it tells whoever reads the document how the frequencies were
  // measured.
  if (!sample.cpuFreqSource.empty()) processor.emplace("cpu_freq_source", sample.cpuFreqSource);
  // Not read by a Mac's sampler either: which energies are missing, and why, so the window can
  // say "not measured here" rather than show a zero.
  if (!sample.unreadEnergy.empty()) {
    plist::Dict unread;
    for (const auto& [entry, why] : sample.unreadEnergy)
      unread.emplace(entry, why);
    processor.emplace("unread_energy", std::move(unread));
  }

  plist::Dict doc;
  doc.emplace("elapsed_ns", sample.elapsedNs);
  doc.emplace("hw_model", sample.hwModel);
  doc.emplace("timestamp", timestamp);
  doc.emplace("processor", std::move(processor));
  if (sample.gpu) {
    plist::Dict gpu;
    putReal(gpu, "freq_hz", sample.gpu->freqMHz);
    putReal(gpu, "idle_ratio", sample.gpu->idleRatio);
    putWhole(gpu, "gpu_energy", sample.gpu->energyMj);
    doc.emplace("gpu", std::move(gpu));
  }
  return plist::Value(std::move(doc));
}

namespace {

void writeReal(XmlPlistStream& w, const char* key, const std::optional<double>& v) {
  if (v && std::isfinite(*v)) {
    w.key(key);
    w.real(*v);
  }
}

void writeWhole(XmlPlistStream& w, const char* key, const std::optional<double>& v) {
  if (v && std::isfinite(*v) && std::fabs(*v) < 9.0e18) {
    w.key(key);
    w.integer(static_cast<int64_t>(std::llround(*v)));
  }
}

}  // namespace

// The same document as sampleDocument(), written as it is walked: keys in sorted order, the
// entries and their conditions mirrored one for one.
std::string writeDocument(const Sample& sample, plist::Date timestamp) {
  XmlPlistStream w;
  w.beginDict();
  w.key("elapsed_ns");
  w.integer(sample.elapsedNs);
  if (sample.gpu) {
    w.key("gpu");
    w.beginDict();
    writeReal(w, "freq_hz", sample.gpu->freqMHz);
    writeWhole(w, "gpu_energy", sample.gpu->energyMj);
    writeReal(w, "idle_ratio", sample.gpu->idleRatio);
    w.endDict();
  }
  w.key("hw_model");
  w.string(sample.hwModel);
  w.key("processor");
  w.beginDict();
  writeWhole(w, "ane_energy", sample.aneEnergyMj);
  w.key("clusters");
  w.beginArray();
  for (const auto& c : sample.clusters) {
    w.beginDict();
    w.key("cpus");
    w.beginArray();
    for (const auto& cpu : c.cpus) {
      w.beginDict();
      w.key("cpu");
      w.integer(cpu.cpu);
      writeReal(w, "freq_hz", cpu.freqHz);
      writeReal(w, "idle_ratio", cpu.idleRatio);
      w.endDict();
    }
    w.endArray();
    writeReal(w, "freq_hz", c.freqHz);
    writeReal(w, "idle_ratio", c.idleRatio);
    w.key("name");
    w.string(c.name);
    w.endDict();
  }
  w.endArray();
  writeWhole(w, "combined_power", sample.combinedPowerMw);
  writeWhole(w, "cpu_energy", sample.cpuEnergyMj);
  if (!sample.cpuFreqSource.empty()) {
    w.key("cpu_freq_source");
    w.string(sample.cpuFreqSource);
  }
  writeWhole(w, "dram_energy", sample.dramEnergyMj);
  writeWhole(w, "gpu_energy", sample.gpuEnergyMj);
  writeWhole(w, "package_energy", sample.packageEnergyMj);
  if (!sample.unreadEnergy.empty()) {
    w.key("unread_energy");
    w.beginDict();
    for (const auto& [entry, why] : sample.unreadEnergy) {
      w.key(entry);
      w.string(why);
    }
    w.endDict();
  }
  w.endDict();
  w.key("timestamp");
  w.date(timestamp);
  w.endDict();
  std::string xml = w.finish();
  xml.push_back('\0');
  return xml;
}

plist::Date currentDate() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  double unix = std::chrono::duration<double>(now).count();
  return plist::Date{unix - kUnixToPlistEpoch};
}

}  // namespace sampler
