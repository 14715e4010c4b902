#include "tools/system_profiler/DisplaysReport.h"

namespace system_profiler {
namespace {

plist::Value report(std::string_view dataType, plist::Array items) {
  plist::Dict section;
  section["_dataType"] = plist::Value(dataType);
  section["_detailLevel"] = plist::Value(1);
  section["_items"] = plist::Value(std::move(items));
  return plist::Value(plist::Array{plist::Value(std::move(section))});
}

}  // namespace

plist::Value linuxReport(std::string_view dataType,
                         const std::optional<platform::GPUReading>& gpu) {
  plist::Array items;
  if (dataType == "SPDisplaysDataType" && gpu && gpu->name) {
    plist::Dict item;
    item["_name"] = plist::Value(*gpu->name);
    item["sppci_model"] = plist::Value(*gpu->name);
    item["sppci_device_type"] = plist::Value("spdisplays_gpu");
    if (gpu->cores) item["sppci_cores"] = plist::Value(std::to_string(*gpu->cores));
    items.emplace_back(std::move(item));
  }
  return report(dataType, std::move(items));
}

plist::Value simReport(const plist::Value& systemProfiler, std::string_view dataType) {
  const plist::Value& document = systemProfiler[dataType];
  if (!document.isNone()) return document;
  return report(dataType, {});
}

}  // namespace system_profiler
